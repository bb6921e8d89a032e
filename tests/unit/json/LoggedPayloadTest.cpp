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

TEST(LoggedPayloadTest, KeysAreReadAsTheServiceReadsThem)
{
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"pass\u0077ord":"p","user":"u"})"), LR"({"password":"<redacted>","user":"u"})");
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"a":{"\u0050ASSWORD":1}})"), LR"({"a":{"PASSWORD":"<redacted>"}})");
    // Text after the value, or an escape in text that does not parse, may hide a password.
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"a":1} {"password":"p"})"), L"<redacted>");
    EXPECT_EQ(CLoggedPayload::Redact(LR"({"pass\u0077ord":"p")"), L"<redacted>");
    EXPECT_EQ(CLoggedPayload::Redact(L"42"), L"42");
}
