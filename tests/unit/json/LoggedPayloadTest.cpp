// Passwords in bus payloads never reach the log.

#include "Tesk/Core/LoggedPayload.h"

#include <gtest/gtest.h>

TEST(LoggedPayloadTest, PasswordMembersAreRedactedAtAnyDepth)
{
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"user":"u","password":"p"})"), LR"({"user":"u","password":"<redacted>"})");
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"list":[{"newPassword":{"x":1}}],"PASSWORDHINT":7})"),
              LR"({"list":[{"newPassword":"<redacted>"}],"PASSWORDHINT":"<redacted>"})");
}

TEST(LoggedPayloadTest, PayloadsWithoutPasswordsAreLoggedAsTheyAre)
{
    EXPECT_EQ(CLoggedPayload::Redact(L"{ \"a\" : 1 }"), L"{ \"a\" : 1 }");
    EXPECT_EQ(CLoggedPayload::Redact(L"not json"), L"not json");
}

TEST(LoggedPayloadTest, UnparsablePayloadMentioningAPasswordIsReplacedWhole)
{
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"password":"secret")"), L"<redacted>");
}
