#pragma once

#include <map>
#include <mutex>
#include <string>

#include "Account.h"
#include "Json.h"
#include "SdfAnswer.h"
#include "ServerKeys.h"

namespace ServerSim {

// The simulated network's configuration: the account table, which root key signs the server
// identity, the extra fields of CHUNK_CONNECTED and the answers to logins and logouts. Loaded from
// the scenario file and changed at run time through the control socket, so every access is locked.
class CScenario {
public:
    CScenario();

    // Reads a scenario file (JSON, see README.md); false with a reason when it cannot be used.
    bool Load(const std::string& path, std::string& error);
    // Applies the members present in a scenario object; the others keep their values.
    bool Apply(json_object* scenario, std::string& error);

    bool FindAccount(const std::string& name, SAccount& account) const;
    bool ParseAccount(json_object* object, SAccount& account, std::string& error) const;
    void SetAccount(const SAccount& account);

    TIdentityKey IdentityKey() const;
    void SetIdentityKey(TIdentityKey key);
    static bool ParseIdentityKey(const std::string& text, TIdentityKey& key);

    // Extra CHUNK_CONNECTED attributes as packet JSON text (upgrade and subscription fields).
    std::string ConnectedFields() const;
    void SetConnectedFields(const std::string& fields);

    // The scenario's "chats" list as JSON text ("" for none); the chat store reads it.
    std::string Chats() const;

    // The discovery server's answer; members of the JSON object that are absent keep their values.
    SSdfAnswer SdfAnswer() const;
    bool SetSdfAnswer(json_object* object, std::string& error);

    // Seconds added to the clock for KEY_SERVER_UTC_TIME.
    int TimeOffset() const;
    // KEY_LOGOUTREASON of the answer to CHUNK_LOGOUT.
    int LogoutReason() const;
    // Session identifiers (hex) that the network remembers, with their account names.
    std::map<std::string, std::string> Sessions() const;

private:
    // "session_id" and "operator_id" of an object, each falling back to the given one.
    static SSdfIdentity ParseSdfIdentity(json_object* object, const SSdfIdentity& fallback);

    mutable std::mutex m_lock;
    std::map<std::string, SAccount> m_accounts;
    TIdentityKey m_identityKey;
    std::string m_connectedFields;
    std::string m_chats;
    int m_timeOffset;
    int m_logoutReason;
    std::map<std::string, std::string> m_sessions;
    SSdfAnswer m_sdfAnswer;
};

}  // namespace ServerSim
