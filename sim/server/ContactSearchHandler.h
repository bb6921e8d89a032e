#pragma once

#include <map>
#include <mutex>

#include "ContactDirectory.h"
#include "SimHandler.h"

namespace ServerSim {

// Contact search: users whose name or full name holds the text, in pages. Each search gets an id with
// its first results; status 3 means more can be asked for (CHUNK_EXTENDCONTACTSEARCH), 4 that all
// were sent, 5 that the search failed (an empty text).
class CContactSearchHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;

private:
    struct SSearch {
        std::vector<SSimUser> results;
        size_t sent = 0;
    };
    // Sends the next page of the search and forgets it once everything was sent.
    void SendPage(CConnection& connection, int id, size_t pageSize);

    std::mutex m_lock;
    std::map<int, SSearch> m_searches;
    int m_nextId = 1000;
};

}  // namespace ServerSim
