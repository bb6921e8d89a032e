#include "RegistrationRules.h"

#include <cctype>

namespace ServerSim {

namespace {

const int ERROR_INVALID_NAME = 9;
const int ERROR_PASSWORD_TOO_LONG = 28;
const int ERROR_PASSWORD_TOO_SHORT = 29;
const int ERROR_PASSWORD_INVALID_CHAR = 30;
const int ERROR_PASSWORD_BLANK = 31;
const int ERROR_PASSWORD_IS_NAME = 32;
const int ERROR_INVALID_EMAIL = 45;

bool ValidName(const std::string& name)
{
    if (name.size() < 3 || name.size() > 32 || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    for (unsigned char c : name)
        if (!std::isalnum(c) && c != '.' && c != '_' && c != '-')
            return false;
    return true;
}

bool ValidEmail(const std::string& email)
{
    const size_t at = email.find('@');
    if (at == std::string::npos || at == 0)
        return false;
    const size_t dot = email.find('.', at + 2);
    return dot != std::string::npos && dot + 1 < email.size();
}

}  // namespace

int CRegistrationRules::Check(const std::string& name, const std::string& password, const std::string* email)
{
    if (!ValidName(name))
        return ERROR_INVALID_NAME;
    for (unsigned char c : password) {
        if (c == ' ' || c == '\t')
            return ERROR_PASSWORD_BLANK;
        if (c < 0x21 || c > 0x7E)
            return ERROR_PASSWORD_INVALID_CHAR;
    }
    if (password.size() < 6)
        return ERROR_PASSWORD_TOO_SHORT;
    if (password.size() > 20)
        return ERROR_PASSWORD_TOO_LONG;
    if (password == name)
        return ERROR_PASSWORD_IS_NAME;
    if (email != nullptr && !ValidEmail(*email))
        return ERROR_INVALID_EMAIL;
    return 0;
}

}  // namespace ServerSim
