#include "AccountDataHandler.h"

#include "Connection.h"
#include "ContactDirectory.h"
#include "ContactPackets.h"
#include "ContactRouting.h"
#include "Network/OutgoingPacket.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Packet.h"

using VexlaLib::COutgoingPacket;

namespace ServerSim {

namespace {

void ReadText(const VexlaLib::CPacket& packet, int key, std::string& field)
{
    std::wstring value;
    if (packet.GetAttrString(key, &value))
        field = CContactPackets::Narrow(value);
}

}  // namespace

std::vector<int> CAccountDataHandler::Chunks() const
{
    return {VexlaLib::CHUNK_GETPROFILEDATA, VexlaLib::CHUNK_SETPROFILEDATA, VexlaLib::CHUNK_GETBALANCE};
}

void CAccountDataHandler::Handle(CConnection& connection, const VexlaLib::CPacket& packet)
{
    std::string account;
    int chunk = 0;
    CContactDirectory* directory = CContactRouting::Directory(connection, packet, &account, &chunk);
    if (directory == nullptr)
        return;
    if (chunk == VexlaLib::CHUNK_GETBALANCE) {
        std::string currency;
        int amount = 0;
        directory->Balance(account, currency, amount);
        VexlaLib::TPacketSPtr answer = COutgoingPacket::Create(VexlaLib::CHUNK_BALANCE);
        COutgoingPacket::AddString(answer, VexlaLib::KEY_BALANCE_CURRENCY, CContactPackets::Wide(currency));
        COutgoingPacket::AddInt32(answer, VexlaLib::KEY_BALANCE_AMOUNT, amount);
        connection.Send(*answer);
        return;
    }
    SSimUser user;
    directory->FindUser(account, user);
    user.name = account;
    if (chunk == VexlaLib::CHUNK_SETPROFILEDATA) {
        ReadText(packet, VexlaLib::KEY_FULLNAME, user.fullName);
        ReadText(packet, VexlaLib::KEY_COUNTRY, user.country);
        ReadText(packet, VexlaLib::KEY_CITY, user.city);
        ReadText(packet, VexlaLib::KEY_MOOD_TEXT, user.mood);
        ReadText(packet, VexlaLib::KEY_ABOUT, user.about);
        packet.GetAttrInt32(VexlaLib::KEY_BIRTHDAY, &user.birthday);
        directory->SetUser(user);
    }
    VexlaLib::TPacketSPtr answer = COutgoingPacket::Create(VexlaLib::CHUNK_PROFILEDATA);
    COutgoingPacket::AddString(answer, VexlaLib::KEY_VEXLANAME, CContactPackets::Wide(user.name));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_FULLNAME, CContactPackets::Wide(user.fullName));
    COutgoingPacket::AddInt32(answer, VexlaLib::KEY_BIRTHDAY, user.birthday);
    COutgoingPacket::AddString(answer, VexlaLib::KEY_COUNTRY, CContactPackets::Wide(user.country));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_CITY, CContactPackets::Wide(user.city));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_MOOD_TEXT, CContactPackets::Wide(user.mood));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_ABOUT, CContactPackets::Wide(user.about));
    connection.Send(*answer);
}

}  // namespace ServerSim
