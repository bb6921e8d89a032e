#include "Tesk/App/Meridex/CallErrors.h"

#include <iterator>

namespace {

const wchar_t* const kDialOutErrorTexts[] = {
    L"Unknown reason for failure",
    L"Call setup information not received from server yet",
    L"Vexla-out call is not allowed",
    L"Calling service is not available for account (disabled)",
    L"Invalid vexla-out PSTN number",
    L"Time-out occured when sending request to vexla server",
    L"The native phone call application is busy.",
};

}  // namespace

std::wstring CCallErrors::CallErrorText(int code)
{
    switch (code) {
    case CALL_SETUP_IN_PROGRESS:
        return L"Call setup in progress, can only handle one call setup at a time";
    case UNKNOWN_LOGIN_STATE:
        return L"unknown availability or state - CallUsingGateway";
    case NO_LOGIN_STATE:
        return L"unknown imloginstate - CallUsingGateway";
    case LOGIN_FAILED:
        return L"login failed - CallUsingGateway";
    case NO_CALL_SETUP:
        return L"pCallSetup error - CallUsingGateway";
    default:
        return L"";
    }
}

std::wstring CCallErrors::DialOutErrorText(int error)
{
    if (error < 0 || error >= static_cast<int>(std::size(kDialOutErrorTexts)))
        return L"";
    return kDialOutErrorTexts[error];
}
