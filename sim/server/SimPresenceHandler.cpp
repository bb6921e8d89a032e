#include "SimPresenceHandler.h"

#include "Connection.h"
#include "ContactDirectory.h"
#include "ContactPackets.h"
#include "ContactRouting.h"
#include "Network/OutgoingPacket.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"

namespace ServerSim {

std::vector<int> CSimPresenceHandler::Chunks() const
{
    return {VexlaLib::CHUNK_GETPRESENCEUPDATE, VexlaLib::CHUNK_CHANGEONLINESTATUS};
}

void CSimPresenceHandler::Handle(CConnection& connection, const VexlaLib::CPacket& packet)
{
    std::string account;
    int chunk = 0;
    CContactDirectory* directory = CContactRouting::Directory(connection, packet, &account, &chunk);
    if (directory == nullptr)
        return;
    if (chunk == VexlaLib::CHUNK_GETPRESENCEUPDATE) {
        int bookmark = 0;
        const std::vector<int> entries = directory->Presence(account, bookmark);
        connection.Send(*CContactPackets::Presence(entries, bookmark));
        return;
    }
    int availability = 0;
    if (!packet.GetAttrInt32(VexlaLib::KEY_CONTACTAVAILABILITY, &availability))
        return;
    VexlaLib::TPacketSPtr answer = VexlaLib::COutgoingPacket::Create(VexlaLib::CHUNK_CONTACTONLINESTATUS);
    VexlaLib::COutgoingPacket::AddInt32(answer, VexlaLib::KEY_CONTACTAVAILABILITY, availability);
    connection.Send(*answer);
    Announce(connection.Context(), account, availability);
}

void CSimPresenceHandler::Announce(SSimContext& context, const std::string& user, int availability)
{
    if (context.contacts == nullptr)
        return;
    context.contacts->SetAvailability(user, availability);
    for (const std::string& watcher : context.contacts->Watchers(user)) {
        SBuddyRecord record;
        if (!context.contacts->Record(watcher, user, record))
            continue;
        int bookmark = 0;
        context.contacts->Presence(watcher, bookmark);
        const std::vector<int> entry = {(record.buddy.index & 0xFFFF) << 8 | (record.availability & 0xFF)};
        CContactRouting::ToAccount(context, watcher, *CContactPackets::Presence(entry, bookmark));
    }
}

}  // namespace ServerSim
