// The compact set of fingerprints behind the message index: what went in is found across the merges of
// its tail into the sorted array, in whatever order it came, and nothing else is.

#include <gtest/gtest.h>

#include <string>

#include "Tesk/App/Meridex/IMFingerprintSet.h"

namespace {

CIMFingerprintSet::TFingerprint Of(int n)
{
    return CIMMessageRecord::Chat(L"me", L"bob", L"bob", L"", L"m" + std::to_wstring(n), 1, 1).Fingerprint();
}

}  // namespace

TEST(IMFingerprintSetTest, EveryInsertedFingerprintIsFoundOnceAcrossMergesAndCompaction)
{
    CIMFingerprintSet set;
    const int count = 1000;  // many merges of the tail
    for (int n = 0; n < count; ++n)
        EXPECT_TRUE(set.Insert(Of(n)));
    for (int n = count - 1; n >= 0; n -= 3)
        EXPECT_FALSE(set.Insert(Of(n))) << n;
    EXPECT_EQ(set.Size(), static_cast<size_t>(count));
    set.Compact();
    for (int n = 0; n < count; ++n)
        ASSERT_TRUE(set.Contains(Of(n))) << n;
    EXPECT_FALSE(set.Contains(Of(count)));
    EXPECT_TRUE(set.Insert(Of(count)));
    EXPECT_TRUE(set.Contains(Of(count)));
    EXPECT_EQ(set.Size(), static_cast<size_t>(count) + 1);
}
