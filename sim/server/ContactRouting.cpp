#include "ContactRouting.h"

#include "Connection.h"
#include "ContactDirectory.h"
#include "ContactPackets.h"
#include "Network/AttrKey.h"
#include "ServerSim.h"

namespace ServerSim {

CContactDirectory* CContactRouting::Directory(CConnection& connection, const VexlaLib::CPacket& packet,
                                              std::string* account, int* chunk)
{
    *chunk = 0;
    packet.GetAttrInt32(VexlaLib::KEY_CHUNKTYPE, chunk);
    CContactDirectory* directory = connection.Context().contacts;
    *account = connection.State().account;
    if (directory == nullptr || account->empty())
        return nullptr;
    directory->NoteConnection(connection.Id(), *account);
    return directory;
}

int CContactRouting::ToAccount(SSimContext& context, const std::string& account, const VexlaLib::CPacket& packet)
{
    if (context.server == nullptr || context.contacts == nullptr)
        return 0;
    int count = 0;
    for (const auto& connection : context.server->Connections()) {
        if (!connection->Finished() && context.contacts->AccountOf(connection->Id()) == account) {
            connection->Send(packet);
            ++count;
        }
    }
    return count;
}

void CContactRouting::PushEntry(SSimContext& context, const std::string& account, const std::string& name)
{
    SBuddyRecord record;
    if (context.contacts != nullptr && context.contacts->Record(account, name, record))
        ToAccount(context, account, *CContactPackets::EntryUpdate(record));
}

}  // namespace ServerSim
