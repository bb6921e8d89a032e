#include "SessionTable.h"

#include <sys/random.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "Json.h"

namespace ServerSim {

using VexlaLib::TByteArray;

namespace {
const size_t kSessionIdBytes = 16;
}

CSessionTable::CSessionTable(const std::string& statePath) : m_statePath(statePath) {}

bool CSessionTable::Load(std::string& error)
{
    if (m_statePath.empty()) {
        return true;
    }
    std::ifstream file(m_statePath);
    if (!file) {
        return true;  // first start: nothing remembered yet
    }
    std::stringstream text;
    text << file.rdbuf();
    TJsonPtr state = CJson::Parse(text.str());
    json_object* sessions = CJson::Get(state.get(), "sessions");
    if (!json_object_is_type(sessions, json_type_object)) {
        error = "state file " + m_statePath + " has no sessions object";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    json_object_object_foreach(sessions, id, name)
    {
        m_sessions[id] = json_object_get_string(name);
    }
    return true;
}

void CSessionTable::Add(const std::map<std::string, std::string>& sessions)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sessions.insert(sessions.begin(), sessions.end());
    SaveLocked();
}

TByteArray CSessionTable::Create(const std::string& account)
{
    TByteArray id(kSessionIdBytes);
    size_t filled = 0;
    while (filled < id.size()) {
        const ssize_t got = getrandom(id.data() + filled, id.size() - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_sessions[ToHex(id)] = account;
    SaveLocked();
    return id;
}

bool CSessionTable::Belongs(const TByteArray& id, const std::string& account) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_sessions.find(ToHex(id));
    return found != m_sessions.end() && found->second == account;
}

void CSessionTable::Remove(const TByteArray& id)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_sessions.erase(ToHex(id)) > 0) {
        SaveLocked();
    }
}

std::map<std::string, std::string> CSessionTable::List() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sessions;
}

std::string CSessionTable::ToHex(const TByteArray& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

void CSessionTable::SaveLocked() const
{
    if (m_statePath.empty()) {
        return;
    }
    TJsonPtr sessions(json_object_new_object());
    for (const auto& entry : m_sessions) {
        json_object_object_add(sessions.get(), entry.first.c_str(), json_object_new_string(entry.second.c_str()));
    }
    TJsonPtr state(json_object_new_object());
    json_object_object_add(state.get(), "sessions", sessions.release());
    const std::string temporary = m_statePath + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << CJson::ToLine(state.get()) << '\n';
        if (!file.flush()) {
            std::fprintf(stderr, "vexla-server-sim: cannot write state file %s\n", temporary.c_str());
            return;
        }
    }
    std::rename(temporary.c_str(), m_statePath.c_str());
}

}  // namespace ServerSim
