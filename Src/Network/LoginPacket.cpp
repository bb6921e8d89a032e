#include "Network/LoginPacket.h"

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/OutgoingPacket.h"

namespace VexlaLib {

TPacketSPtr CLoginPacket::ForSignIn(const TPacketSPtr& savedCredentials, const std::wstring& name,
                                    const std::wstring& password, const std::wstring& phoneNumber)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_LOGIN);
    COutgoingPacket::AddInt32(packet, KEY_SAVEPASSWORD, 1);
    AddAccount(packet, savedCredentials, name, password);
    if (!phoneNumber.empty())
        COutgoingPacket::AddString(packet, KEY_DEVICE_PSTNNUMBER, phoneNumber);
    return packet;
}

TPacketSPtr CLoginPacket::ForReconnect(const TPacketSPtr& savedCredentials, const std::wstring& name,
                                       const std::wstring& password, const std::wstring& phoneNumber)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_LOGIN);
    AddAccount(packet, savedCredentials, name, password);
    COutgoingPacket::AddString(packet, KEY_DEVICE_PSTNNUMBER, phoneNumber);
    return packet;
}

void CLoginPacket::AddAccount(const TPacketSPtr& packet, const TPacketSPtr& savedCredentials, const std::wstring& name,
                              const std::wstring& password)
{
    if (savedCredentials) {
        COutgoingPacket::AddContainer(packet, KEY_SAVEDDATA, savedCredentials);
    } else {
        COutgoingPacket::AddString(packet, KEY_VEXLANAME, name);
        COutgoingPacket::AddString(packet, KEY_PASSWORD, password);
    }
}

}  // namespace VexlaLib
