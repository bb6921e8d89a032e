#include "Tesk/App/UIErrors.h"

#include <cstddef>

#include "Tesk/Core/JSONObject.h"

const CUIErrors::TError CUIErrors::SESSION_NOT_VALID = {"VexlaSessionNotValid", "Session is not ready for use."};
const CUIErrors::TError CUIErrors::SEARCH_STRING_MISSING = {"VexlaRequiredDataMissing",
                                                            "The function requires that searchString is set."};
const CUIErrors::TError CUIErrors::SEARCH_WITHOUT_SUBSCRIPTION = {
    "VexlaFunctionNotSupported", "Not allowed to call searchContacts without subscription."};
const CUIErrors::TError CUIErrors::AUTH_REQUEST_DATA_MISSING = {
    "VexlaRequiredDataMissing", "The function requires that vexlaName and message is set."};
const CUIErrors::TError CUIErrors::ADD_CONTACT_DATA_MISSING = {
    "VexlaRequiredDataMissing",
    "The function requires that either vexlaName and authMessage or callTarget and fullName is set."};
const CUIErrors::TError CUIErrors::VOICEMAIL_IN_PROGRESS = {
    "VexlaFunctionAlreadyInUse", "Listen to voicemail in progress, can only handle one voicemail lookup at a time"};
const CUIErrors::TError CUIErrors::VOICEMAIL_TARGET_MISSING = {
    "VexlaRequiredDataMissing", "Either the handle or the target parameter needs to be specified."};
const CUIErrors::TError CUIErrors::VOICEMAIL_NOT_REQUESTED = {"VexlaGeneric", "Could not request voicemail."};
const CUIErrors::TError CUIErrors::LOGIN_MULTIPLE_ACCOUNTS = {"LOGIN_FAILED_MULTIPLE_ACCOUNTS",
                                                              "You can only create one messaging account of this type."};
const CUIErrors::TError CUIErrors::REG_MULTIPLE_ACCOUNTS = {"REG_FAILED_MULTIPLE_ACCOUNTS",
                                                            "You can only create one messaging account of this type."};
const CUIErrors::TError CUIErrors::REG_NOT_LOGGED_OUT = {"REG_FAILED_NOT_LOGGEDOUT", "network error not logged out"};
const CUIErrors::TError CUIErrors::UPDATE_WHILE_SIGNED_IN = {"CONNECTION_FAILED", ""};
const CUIErrors::TError CUIErrors::UNSUPPORTED_CAPABILITY = {
    "UNSUPPORTED_CAPABILITY",
    "Using Vexla mobile requires changes to your wireless plan. Please contact Orvanta Wireless customer care "
    "(dial *611 from your cell phone) to update your account."};
const CUIErrors::TError CUIErrors::CREDENTIALS_IN_PROGRESS = {
    "VexlaFunctionAlreadyInUse", "Another credential or registration request is in progress."};

const CUIErrors::TError CUIErrors::LOGIN_IN_PROGRESS = {
    "VexlaFunctionAlreadyInUse", "Another sign-in is in progress, try again once it has ended."};

const char CUIErrors::DIALOUT_ERROR_TEXT[] = "Unable to resolve dialout gateway number";

namespace {

template <size_t N>
CUIErrors::TError Lookup(const CUIErrors::TError (&table)[N], int error)
{
    return error >= 0 && static_cast<size_t>(error) < N ? table[error] : table[0];
}

const CUIErrors::TError kCheckLoginErrors[] = {
    {"LOGIN_FAILED_UNKNOWN", "unknown error"},
    {"LOGIN_FAILED_NETWORK_ERROR", "network error"},
    {"LOGIN_FAILED_NETWORK_ERROR_NO_CELLULAR", "network error no cellular"},
    {"LOGIN_FAILED_NETWORK_ERROR_ROAMING", "network error roaming"},
    {"LOGIN_FAILED_NOT_LOGGEDOUT", "network error not logged out"},
    {"LOGIN_FAILED_INVALID_VEXLANAME", "invalid vexlaname"},
    {"LOGIN_FAILED_NO_SUCH_IDENTITY", "no such identity"},
    {"LOGIN_FAILED_INCORRECT_PASSWORD", "incorrect password"},
    {"LOGIN_FAILED_TOO_MANY_LOGIN_ATTEMPTS", "too many login attempts"},
    {"LOGIN_FAILED_INTERNAL_LIBRARY_ERROR", "internal library error"},
    {"LOGIN_FAILED_LOGIN_CANCELED", "login cancelled"},
};

const CUIErrors::TError kUpdateLoginErrors[] = {
    {"UNKNOWN_ERROR", "unknown error"},
    {"NO_CONNECTIVITY", ""},
    {"NO_CONNECTIVITY", ""},
    {"CONNECTION_FAILED", ""},
    {"CONNECTION_FAILED", ""},
    {"401_UNAUTHORIZED", ""},
    {"401_UNAUTHORIZED", ""},
    {"401_UNAUTHORIZED", ""},
    {"UNKNOWN_ERROR", "too many login attempts"},
    {"UNKNOWN_ERROR", "internal library error"},
    {"UNKNOWN_ERROR", "login cancelled"},
};

const CUIErrors::TError kRegisterErrors[] = {
    {"REG_FAILED_UNKNOWN", "unknown error"},
    {"REG_FAILED_NETWORK_ERROR", "network error"},
    {"REG_FAILED_NETWORK_ERROR_NO_CELLULAR", "network error no cellular"},
    {"REG_FAILED_NETWORK_ERROR_ROAMING", "network error roaming"},
    {"REG_FAILED_NOT_LOGGEDOUT", "network error not logged out"},
    {"REG_FAILED_PWD_TOO_LONG", "password too long"},
    {"REG_FAILED_PWD_TOO_SHORT", "password too short"},
    {"REG_FAILED_PWD_CONTAINS_INVALID_CHAR", "password contains invalid character"},
    {"REG_FAILED_PWD_CONTAINS_SPACE", "password contains spaces"},
    {"REG_FAILED_PWD_SAME_AS_USERNAME", "password same as username"},
    {"REG_FAILED_INVALID_VEXLANAME", "invalid vexlaname"},
    {"REG_FAILED_INVALID_EMAIL", "invalid email"},
    {"REG_FAILED_UNACCEPTABLE_PASSWORD", "unacceptable password"},
    {"REG_FAILED_VEXLANAME_TAKEN", "vexlaname taken"},
    {"REG_FAILED_REJECTED_AS_UNDERAGE", "underage"},
    {"REG_FAILED_NO_SUCH_IDENTITY", "no such identity"},
    {"REG_FAILED_INTERNAL_LIBRARY_ERROR", "internal library error"},
    {"REG_FAILED_REG_CANCELED", "registration cancelled"},
};

}  // namespace

CUIErrors::TError CUIErrors::CheckLoginError(int error)
{
    return Lookup(kCheckLoginErrors, error);
}

CUIErrors::TError CUIErrors::UpdateLoginError(int error)
{
    return Lookup(kUpdateLoginErrors, error);
}

CUIErrors::TError CUIErrors::RegisterError(int error)
{
    return Lookup(kRegisterErrors, error);
}

CJSONObject CUIErrors::Reply(const TError& error)
{
    CJSONObject reply;
    reply.SetBool("returnValue", false);
    reply.SetString("errorCode", error.code);
    if (error.text[0] != '\0')
        reply.SetString("errorText", error.text);
    return reply;
}
