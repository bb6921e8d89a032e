#pragma once

#include <string>

#include "SimHandler.h"
#include "Utils/ByteArray.h"

namespace ServerSim {

struct SAccount;

// Signing in, registering and signing out against the scenario's account table. A login names the account either by
// KEY_VEXLANAME and KEY_PASSWORD or by the KEY_SAVEDDATA container this handler handed out earlier
// (CHUNK_SAVEDATA); a KEY_SESSION_ID that the network remembers for the account resumes that
// session. Answers: CHUNK_LOGGEDIN with the session identifier (then CHUNK_SAVEDATA), or
// CHUNK_LOGGEDOUT with reason 7 (no such account), 8 (wrong password) or the account's own outcome.
// CHUNK_REGISTERUSER adds the account and signs it in, or answers CHUNK_LOGGEDOUT reason 5 with
// KEY_SUGGESTED_VEXLANAMES when the name is taken. Directives of the stage "login" replace the answer
// to a login or a registration.
class CLoginHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;

    // The KEY_CREDENTIALS token of an account's saved data.
    static VexlaLib::TByteArray CredentialsToken(const SAccount& account);

private:
    void OnLogin(CConnection& connection, const VexlaLib::CPacket& packet);
    void OnRegister(CConnection& connection, const VexlaLib::CPacket& packet);
    void OnLogout(CConnection& connection);
    // The account the login names and whether its credentials hold; false when the name is unknown.
    bool Identify(CConnection& connection, const VexlaLib::CPacket& packet, SAccount& account, bool& authentic);
    void LogIn(CConnection& connection, const VexlaLib::CPacket& packet, const SAccount& account);
    void SendLoggedOut(CConnection& connection, int reason);
};

}  // namespace ServerSim
