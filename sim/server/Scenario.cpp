#include "Scenario.h"

#include <fstream>
#include <sstream>

namespace ServerSim {

CScenario::CScenario() : m_identityKey(TIdentityKey::ePrimary), m_timeOffset(0), m_logoutReason(1) {}

bool CScenario::Load(const std::string& path, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = "cannot read scenario file " + path;
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    TJsonPtr scenario = CJson::Parse(text.str());
    if (!scenario || !json_object_is_type(scenario.get(), json_type_object)) {
        error = "scenario file " + path + " is not a JSON object";
        return false;
    }
    return Apply(scenario.get(), error);
}

bool CScenario::Apply(json_object* scenario, std::string& error)
{
    TIdentityKey key = IdentityKey();
    const std::string identity = CJson::GetString(scenario, "identity", "");
    if (!identity.empty() && !ParseIdentityKey(identity, key)) {
        error = "identity must be primary, backup, corrupt or wrong_digest";
        return false;
    }
    std::map<std::string, SAccount> accounts;
    if (json_object* list = CJson::Get(scenario, "accounts")) {
        if (!json_object_is_type(list, json_type_array)) {
            error = "accounts must be a list";
            return false;
        }
        for (size_t i = 0; i < json_object_array_length(list); ++i) {
            SAccount account;
            if (!ParseAccount(json_object_array_get_idx(list, i), account, error)) {
                return false;
            }
            accounts[account.name] = account;
        }
    }
    json_object* connected = CJson::Get(scenario, "connected");
    if (connected != nullptr && !json_object_is_type(connected, json_type_object)) {
        error = "connected must be an object of packet fields";
        return false;
    }
    json_object* chats = CJson::Get(scenario, "chats");
    if (chats != nullptr && !json_object_is_type(chats, json_type_array)) {
        error = "chats must be a list";
        return false;
    }
    std::map<std::string, std::string> sessions;
    if (json_object* known = CJson::Get(scenario, "sessions")) {
        if (!json_object_is_type(known, json_type_object)) {
            error = "sessions must map session identifiers (hex) to account names";
            return false;
        }
        json_object_object_foreach(known, id, name)
        {
            sessions[id] = json_object_get_string(name);
        }
    }

    json_object* sdf = CJson::Get(scenario, "sdf");
    if (sdf != nullptr && !SetSdfAnswer(sdf, error)) {
        return false;
    }

    std::lock_guard<std::mutex> guard(m_lock);
    m_identityKey = key;
    for (const auto& entry : accounts) {
        m_accounts[entry.first] = entry.second;
    }
    if (connected != nullptr) {
        m_connectedFields = CJson::ToLine(connected);
    }
    if (chats != nullptr) {
        m_chats = CJson::ToLine(chats);
    }
    m_timeOffset = static_cast<int>(CJson::GetInt(scenario, "time_offset", m_timeOffset));
    m_logoutReason = static_cast<int>(CJson::GetInt(scenario, "logout_reason", m_logoutReason));
    m_sessions.insert(sessions.begin(), sessions.end());
    return true;
}

bool CScenario::ParseAccount(json_object* object, SAccount& account, std::string& error) const
{
    account = SAccount();
    account.name = CJson::GetString(object, "name", "");
    if (account.name.empty()) {
        error = "an account needs a name";
        return false;
    }
    account.password = CJson::GetString(object, "password", "");
    const std::string outcome = CJson::GetString(object, "outcome", "ok");
    if (outcome == "ok") {
        account.outcome = TLoginOutcome::eLoggedIn;
    } else if (outcome == "loggedout") {
        account.outcome = TLoginOutcome::eLoggedOut;
    } else if (outcome == "error") {
        account.outcome = TLoginOutcome::eError;
    } else if (outcome == "silent") {
        account.outcome = TLoginOutcome::eSilent;
    } else {
        error = "outcome of " + account.name + " must be ok, loggedout, error or silent";
        return false;
    }
    account.code = static_cast<int>(CJson::GetInt(object, "code", 0));
    account.saveData = CJson::GetBool(object, "save_data", true);
    if (json_object* extra = CJson::Get(object, "loggedin")) {
        if (!json_object_is_type(extra, json_type_object)) {
            error = "loggedin of " + account.name + " must be an object of packet fields";
            return false;
        }
        account.loggedIn = CJson::ToLine(extra);
    }
    return true;
}

bool CScenario::FindAccount(const std::string& name, SAccount& account) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_accounts.find(name);
    if (found == m_accounts.end()) {
        return false;
    }
    account = found->second;
    return true;
}

void CScenario::SetAccount(const SAccount& account)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_accounts[account.name] = account;
}

TIdentityKey CScenario::IdentityKey() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_identityKey;
}

void CScenario::SetIdentityKey(TIdentityKey key)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_identityKey = key;
}

bool CScenario::ParseIdentityKey(const std::string& text, TIdentityKey& key)
{
    if (text == "primary") {
        key = TIdentityKey::ePrimary;
    } else if (text == "backup") {
        key = TIdentityKey::eBackup;
    } else if (text == "corrupt") {
        key = TIdentityKey::eCorrupt;
    } else if (text == "wrong_digest") {
        key = TIdentityKey::eWrongDigest;
    } else {
        return false;
    }
    return true;
}

std::string CScenario::ConnectedFields() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connectedFields;
}

void CScenario::SetConnectedFields(const std::string& fields)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_connectedFields = fields;
}

std::string CScenario::Chats() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_chats;
}

SSdfAnswer CScenario::SdfAnswer() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sdfAnswer;
}

SSdfIdentity CScenario::ParseSdfIdentity(json_object* object, const SSdfIdentity& fallback)
{
    SSdfIdentity identity;
    identity.sessionId = CJson::GetString(object, "session_id", fallback.sessionId);
    identity.operatorId = static_cast<int>(CJson::GetInt(object, "operator_id", fallback.operatorId));
    return identity;
}

bool CScenario::SetSdfAnswer(json_object* object, std::string& error)
{
    if (!json_object_is_type(object, json_type_object)) {
        error = "sdf must be an object";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    SSdfAnswer answer = m_sdfAnswer;
    answer.status = static_cast<int>(CJson::GetInt(object, "status", answer.status));
    answer.identity = ParseSdfIdentity(object, answer.identity);
    answer.location = CJson::GetString(object, "location", answer.location);
    answer.fault = CJson::GetString(object, "fault", answer.fault);
    if (answer.status < 100 || answer.status > 999) {
        error = "sdf status must be an HTTP status code";
        return false;
    }
    if (!answer.fault.empty() && answer.fault != "not_packet" && answer.fault != "no_blank" && answer.fault != "close") {
        error = "sdf fault must be not_packet, no_blank, close or empty";
        return false;
    }
    if (json_object* numbers = CJson::Get(object, "numbers")) {
        if (!json_object_is_type(numbers, json_type_object)) {
            error = "sdf numbers must map phone numbers to identifiers";
            return false;
        }
        json_object_object_foreach(numbers, number, value)
        {
            answer.numbers[number] = ParseSdfIdentity(value, SSdfIdentity{"", -1});
        }
    }
    m_sdfAnswer = answer;
    return true;
}

int CScenario::TimeOffset() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_timeOffset;
}

int CScenario::LogoutReason() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_logoutReason;
}

std::map<std::string, std::string> CScenario::Sessions() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sessions;
}

}  // namespace ServerSim
