#include <gtest/gtest.h>

#include "Tesk/App/PasswordFingerprint.h"

TEST(PasswordFingerprint, RecognisesOnlyThePasswordItTookUntilCleared)
{
    CPasswordFingerprint fingerprint;
    EXPECT_FALSE(fingerprint.Matches(L""));
    fingerprint.Take(L"secret");
    EXPECT_TRUE(fingerprint.Matches(L"secret"));
    EXPECT_FALSE(fingerprint.Matches(L"Secret"));
    EXPECT_FALSE(fingerprint.Matches(L"secre"));
    EXPECT_FALSE(fingerprint.Matches(std::wstring(L"secret\0", 7)));
    fingerprint.Take(L"");
    EXPECT_TRUE(fingerprint.Matches(L""));
    EXPECT_FALSE(fingerprint.Matches(L"secret"));
    fingerprint.Clear();
    EXPECT_FALSE(fingerprint.Matches(L""));
}
