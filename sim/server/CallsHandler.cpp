#include "CallsHandler.h"

#include "CallDesk.h"
#include "Connection.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"

namespace ServerSim {

using namespace VexlaLib;

std::vector<int> CCallsHandler::Chunks() const
{
    return {CHUNK_PLACECALL, CHUNK_LISTENVOICEMAIL, CHUNK_GETVOICEMAILS, CHUNK_DELETEVOICEMAIL};
}

void CCallsHandler::Handle(CConnection& connection, const CPacket& packet)
{
    CCallDesk* desk = connection.Context().calls;
    if (desk == nullptr) {
        return;
    }
    int chunk = 0;
    packet.GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    int index = 0;
    switch (chunk) {
    case CHUNK_PLACECALL:
    case CHUNK_LISTENVOICEMAIL:
        desk->AnswerNumberRequest(connection, packet);
        break;
    case CHUNK_GETVOICEMAILS:
        desk->SendVoicemails(connection);
        break;
    case CHUNK_DELETEVOICEMAIL:
        if (packet.GetAttrInt32(KEY_VMINDEX, &index)) {
            desk->DeleteVoicemail(connection, index);
        }
        break;
    default:
        break;
    }
}

}  // namespace ServerSim
