#pragma once

#include <map>
#include <mutex>
#include <string>

#include "Utils/ByteArray.h"

namespace ServerSim {

// The session identifiers the simulated network has handed out, with the account each belongs to.
// With a state file the table survives a restart of the simulator: it is read at start and
// rewritten after every change, so a test can kill the simulator and start it again on the same
// port and the client's session is resumed.
class CSessionTable {
public:
    // statePath may be empty (no persistence).
    explicit CSessionTable(const std::string& statePath);

    // Reads the state file if it exists; false with a reason when it exists but is unusable.
    bool Load(std::string& error);
    // Adds known sessions (hex identifier → account name), e.g. from the scenario.
    void Add(const std::map<std::string, std::string>& sessions);

    // A fresh random identifier for the account.
    VexlaLib::TByteArray Create(const std::string& account);
    // True when the identifier is known and belongs to the account.
    bool Belongs(const VexlaLib::TByteArray& id, const std::string& account) const;
    void Remove(const VexlaLib::TByteArray& id);
    std::map<std::string, std::string> List() const;

    static std::string ToHex(const VexlaLib::TByteArray& bytes);

private:
    void SaveLocked() const;

    const std::string m_statePath;
    mutable std::mutex m_lock;
    std::map<std::string, std::string> m_sessions;
};

}  // namespace ServerSim
