#pragma once

#include <string>

class CJSONObject;

// The error answers of com.vexla.ui: string codes with their texts. An empty text means the answer
// carries no "errorText".
class CUIErrors {
public:
    struct TError {
        const char* code;
        const char* text;
    };

    static const TError SESSION_NOT_VALID;
    static const TError SEARCH_STRING_MISSING;
    static const TError SEARCH_WITHOUT_SUBSCRIPTION;
    static const TError AUTH_REQUEST_DATA_MISSING;
    static const TError ADD_CONTACT_DATA_MISSING;
    static const TError VOICEMAIL_IN_PROGRESS;
    static const TError VOICEMAIL_TARGET_MISSING;
    static const TError VOICEMAIL_NOT_REQUESTED;
    static const TError LOGIN_MULTIPLE_ACCOUNTS;
    static const TError REG_MULTIPLE_ACCOUNTS;
    static const TError REG_NOT_LOGGED_OUT;
    static const TError UPDATE_WHILE_SIGNED_IN;
    static const TError UNSUPPORTED_CAPABILITY;
    // A credential check or registration while another credential or registration request is served.
    static const TError CREDENTIALS_IN_PROGRESS;
    // A credential check or registration while a login of another requester is under way.
    static const TError LOGIN_IN_PROGRESS;

    // The text sent with a dial-out error value as the code.
    static const char DIALOUT_ERROR_TEXT[];

    // The answer to a failed login of "checkCredentials", by the library's login error; a value
    // outside the table answers as an unknown error.
    static TError CheckLoginError(int error);
    // The same for "updateCredentials", in the codes of the accounts framework.
    static TError UpdateLoginError(int error);
    // The answer to a failed registration, by the library's registration error.
    static TError RegisterError(int error);
    // {"returnValue": false, "errorCode", "errorText"} ("errorText" only when the error has one).
    static CJSONObject Reply(const TError& error);
};
