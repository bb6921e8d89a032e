#pragma once

#include <string>

namespace ServerSim {

// The network's rules for a new account. A refused registration is answered with CHUNK_ERROR and
// the code: 9 invalid user name (3 to 32 characters: a letter, then letters, digits, ".", "_", "-"),
// 28 password too long (over 20), 29 too short (under 6), 30 a character outside printable ASCII,
// 31 a blank, 32 the same as the user name, 45 an e-mail address without "@" and a dotted domain.
class CRegistrationRules {
public:
    // 0 when the registration may go ahead, else the error code. email is null when none was given.
    static int Check(const std::string& name, const std::string& password, const std::string* email);
};

}  // namespace ServerSim
