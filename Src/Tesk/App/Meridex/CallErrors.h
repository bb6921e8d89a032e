#pragma once

#include <string>

// The error answers of com.vexla.call: the codes of its own failures and the texts of the library's
// dial-out errors, which are sent with the dial-out error value as their code.
class CCallErrors {
public:
    enum TCallError {
        CALL_SETUP_IN_PROGRESS = 1000,
        UNKNOWN_LOGIN_STATE = 1001,
        NO_LOGIN_STATE = 1002,
        LOGIN_FAILED = 1003,
        NO_CALL_SETUP = 1004,
        NO_CONNECTION = 1005
    };

    // The "errorText" of one of the codes above; empty for any other code.
    static std::wstring CallErrorText(int code);
    // The "errorText" of a dial-out error value; empty for a value outside the table.
    static std::wstring DialOutErrorText(int error);
};
