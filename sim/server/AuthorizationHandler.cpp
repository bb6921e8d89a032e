#include "AuthorizationHandler.h"

#include "Connection.h"
#include "ContactDirectory.h"
#include "ContactPackets.h"
#include "ContactRouting.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"

namespace ServerSim {

namespace {

const int ERROR_AUTH_REQUEST_FAILED = 67;
const int AUTHORIZE = 1;

}  // namespace

std::vector<int> CAuthorizationHandler::Chunks() const
{
    return {VexlaLib::CHUNK_SENDAUTHREQUEST, VexlaLib::CHUNK_AUTHORIZECONTACT};
}

void CAuthorizationHandler::Handle(CConnection& connection, const VexlaLib::CPacket& packet)
{
    std::string account;
    int chunk = 0;
    CContactDirectory* directory = CContactRouting::Directory(connection, packet, &account, &chunk);
    std::wstring name;
    if (directory == nullptr || !packet.GetAttrString(VexlaLib::KEY_VEXLANAME, &name))
        return;
    const std::string other = CContactPackets::Narrow(name);
    if (chunk == VexlaLib::CHUNK_SENDAUTHREQUEST) {
        std::wstring message;
        packet.GetAttrString(VexlaLib::KEY_AUTHMSG, &message);
        const SAuthRequest request{account, CContactPackets::Narrow(message)};
        if (!directory->RequestAuthorization(account, other, request.message)) {
            connection.Send(*CContactPackets::Error(ERROR_AUTH_REQUEST_FAILED, "No such user"));
            return;
        }
        SSimUser from;
        directory->FindUser(account, from);
        CContactRouting::ToAccount(connection.Context(), other, *CContactPackets::AuthRequest(request, from));
        return;
    }
    int type = 0;
    packet.GetAttrInt32(VexlaLib::KEY_AUTHORIZATIONTYPE, &type);
    directory->Answer(account, other, type);
    if (type == AUTHORIZE) {
        CContactRouting::PushEntry(connection.Context(), other, account);
        CContactRouting::PushEntry(connection.Context(), account, other);
    }
}

}  // namespace ServerSim
