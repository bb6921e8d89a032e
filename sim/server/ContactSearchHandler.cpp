#include "ContactSearchHandler.h"

#include "Connection.h"
#include "ContactPackets.h"
#include "ContactRouting.h"
#include "Network/OutgoingPacket.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Packet.h"

using VexlaLib::COutgoingPacket;

namespace ServerSim {

namespace {

const int STATUS_MORE = 3;
const int STATUS_FINISHED = 4;
const int STATUS_FAILED = 5;

}  // namespace

std::vector<int> CContactSearchHandler::Chunks() const
{
    return {VexlaLib::CHUNK_CONTACTSEARCH, VexlaLib::CHUNK_EXTENDCONTACTSEARCH, VexlaLib::CHUNK_ENDCONTACTSEARCH};
}

void CContactSearchHandler::Handle(CConnection& connection, const VexlaLib::CPacket& packet)
{
    std::string account;
    int chunk = 0;
    CContactDirectory* directory = CContactRouting::Directory(connection, packet, &account, &chunk);
    if (directory == nullptr)
        return;
    int id = 0;
    if (chunk == VexlaLib::CHUNK_CONTACTSEARCH) {
        std::wstring text;
        packet.GetAttrString(VexlaLib::KEY_SEARCHSTRING, &text);
        SSearch search;
        if (!text.empty())
            search.results = directory->Search(CContactPackets::Narrow(text), account);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            id = m_nextId++;
            if (!text.empty())
                m_searches[id] = search;
        }
        if (text.empty()) {
            VexlaLib::TPacketSPtr failed = COutgoingPacket::Create(VexlaLib::CHUNK_CONTACTSEARCHRESULTS);
            COutgoingPacket::AddInt32(failed, VexlaLib::KEY_SEARCH_ID, id);
            COutgoingPacket::AddInt32(failed, VexlaLib::KEY_SEARCHSTATUS, STATUS_FAILED);
            connection.Send(*failed);
            return;
        }
        SendPage(connection, id, static_cast<size_t>(directory->SearchPageSize()));
    } else if (packet.GetAttrInt32(VexlaLib::KEY_SEARCH_ID, &id)) {
        if (chunk == VexlaLib::CHUNK_EXTENDCONTACTSEARCH) {
            SendPage(connection, id, static_cast<size_t>(directory->SearchPageSize()));
        } else {
            std::lock_guard<std::mutex> guard(m_lock);
            m_searches.erase(id);
        }
    }
}

void CContactSearchHandler::SendPage(CConnection& connection, int id, size_t pageSize)
{
    std::vector<SSimUser> page;
    bool more = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto found = m_searches.find(id);
        if (found == m_searches.end())
            return;
        SSearch& search = found->second;
        const size_t end = std::min(search.results.size(), search.sent + pageSize);
        page.assign(search.results.begin() + static_cast<long>(search.sent), search.results.begin() + static_cast<long>(end));
        search.sent = end;
        more = end < search.results.size();
        if (!more)
            m_searches.erase(found);
    }
    VexlaLib::TPacketSPtr answer = COutgoingPacket::Create(VexlaLib::CHUNK_CONTACTSEARCHRESULTS);
    COutgoingPacket::AddInt32(answer, VexlaLib::KEY_SEARCH_ID, id);
    COutgoingPacket::AddInt32(answer, VexlaLib::KEY_SEARCHSTATUS, more ? STATUS_MORE : STATUS_FINISHED);
    VexlaLib::TPacketSPtr records = COutgoingPacket::CreateContainer();
    for (const SSimUser& user : page) {
        VexlaLib::TPacketSPtr record = COutgoingPacket::CreateContainer();
        COutgoingPacket::AddString(record, VexlaLib::KEY_VEXLANAME, CContactPackets::Wide(user.name));
        COutgoingPacket::AddString(record, VexlaLib::KEY_FULLNAME, CContactPackets::Wide(user.fullName));
        COutgoingPacket::AddString(record, VexlaLib::KEY_COUNTRY, CContactPackets::Wide(user.country));
        COutgoingPacket::AddContainer(records, VexlaLib::KEY_SEARCHRESULTRECORDS, record);
    }
    COutgoingPacket::AddContainer(answer, VexlaLib::KEY_SEARCHRESULTRECORDS, records);
    connection.Send(*answer);
}

}  // namespace ServerSim
