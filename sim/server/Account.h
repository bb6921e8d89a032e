#pragma once

#include <string>

namespace ServerSim {

// What a login with an account's name leads to.
enum class TLoginOutcome {
    eLoggedIn,   // CHUNK_LOGGEDIN (and CHUNK_SAVEDATA when wanted)
    eLoggedOut,  // CHUNK_LOGGEDOUT with the account's reason
    eError,      // CHUNK_ERROR with the account's code
    eSilent      // no answer at all
};

// One entry of the simulator's account table.
struct SAccount {
    std::string name;
    std::string password;
    TLoginOutcome outcome = TLoginOutcome::eLoggedIn;
    int code = 0;           // the logout reason or error code of the outcome
    bool saveData = true;   // answer a successful login with CHUNK_SAVEDATA
    std::string loggedIn;   // extra CHUNK_LOGGEDIN attributes, as packet JSON text ("" for none)
};

}  // namespace ServerSim
