// The login and registration tables of com.vexla.ui at their edges.

#include <gtest/gtest.h>

#include <string>

#include "Tesk/App/UIErrors.h"

TEST(UIErrorsTest, UpdateCodesGroupTheLoginErrorsAsTheAccountsFrameworkKnowsThem)
{
    EXPECT_STREQ(CUIErrors::UpdateLoginError(2).code, "NO_CONNECTIVITY");
    EXPECT_STREQ(CUIErrors::UpdateLoginError(4).code, "CONNECTION_FAILED");
    EXPECT_STREQ(CUIErrors::UpdateLoginError(6).code, "401_UNAUTHORIZED");
    EXPECT_STREQ(CUIErrors::UpdateLoginError(6).text, "");
    EXPECT_STREQ(CUIErrors::UpdateLoginError(10).text, "login cancelled");
}

TEST(UIErrorsTest, LastRowsAndValuesOutsideTheTablesAnswerAsKnownErrors)
{
    EXPECT_STREQ(CUIErrors::CheckLoginError(10).code, "LOGIN_FAILED_LOGIN_CANCELED");
    EXPECT_STREQ(CUIErrors::RegisterError(17).code, "REG_FAILED_REG_CANCELED");
    EXPECT_STREQ(CUIErrors::RegisterError(14).text, "underage");
    for (int outside : {-1, 11, 1000})
        EXPECT_STREQ(CUIErrors::CheckLoginError(outside).code, "LOGIN_FAILED_UNKNOWN") << outside;
    EXPECT_STREQ(CUIErrors::RegisterError(18).code, "REG_FAILED_UNKNOWN");
    EXPECT_STREQ(CUIErrors::UpdateLoginError(-5).code, "UNKNOWN_ERROR");
}
