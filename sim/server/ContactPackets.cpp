#include "ContactPackets.h"

#include "Network/OutgoingPacket.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Packet.h"
#include "Utils/Utils.h"

using VexlaLib::COutgoingPacket;
using VexlaLib::TPacketSPtr;

namespace ServerSim {

namespace {

const int KEY_PICTURE_CHECKSUM = 152;

}  // namespace

std::wstring CContactPackets::Wide(const std::string& text)
{
    return VexlaLib::CUtils::ConvertCharToWide(text);
}

std::string CContactPackets::Narrow(const std::wstring& text)
{
    return VexlaLib::CUtils::ConvertWideToChar(text);
}

int CContactPackets::PictureChecksum(const std::vector<unsigned char>& picture)
{
    unsigned int hash = 2166136261u;
    for (unsigned char byte : picture)
        hash = (hash ^ byte) * 16777619u;
    return static_cast<int>(hash & 0x7FFFFFFF);
}

TPacketSPtr CContactPackets::BuddyRecord(const SBuddyRecord& record)
{
    TPacketSPtr packet = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_BUDDYINDEX, record.buddy.index);
    if (!record.buddy.number.empty())
        COutgoingPacket::AddString(packet, VexlaLib::KEY_CALLTARGET, Wide(record.buddy.number));
    else
        COutgoingPacket::AddString(packet, VexlaLib::KEY_VEXLANAME, Wide(record.buddy.name));
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_CONTACTAVAILABILITY, record.availability);
    const std::string& fullName = record.buddy.number.empty() ? record.user.fullName : record.buddy.fullName;
    if (!fullName.empty())
        COutgoingPacket::AddString(packet, VexlaLib::KEY_FULLNAME, Wide(fullName));
    if (!record.user.mood.empty())
        COutgoingPacket::AddString(packet, VexlaLib::KEY_MOOD_TEXT, Wide(record.user.mood));
    if (!record.user.picture.empty())
        COutgoingPacket::AddInt32(packet, KEY_PICTURE_CHECKSUM, PictureChecksum(record.user.picture));
    return packet;
}

TPacketSPtr CContactPackets::BuddyList(const SBuddyPage& page)
{
    TPacketSPtr packet = COutgoingPacket::Create(VexlaLib::CHUNK_BUDDYLIST);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_BOOKMARK, page.bookmark);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_BUDDYLIST_STATUS, page.more ? 1 : 0);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_RECORDCOUNT, static_cast<int>(page.records.size()));
    TPacketSPtr records = COutgoingPacket::CreateContainer();
    for (const SBuddyRecord& record : page.records)
        COutgoingPacket::AddContainer(records, VexlaLib::KEY_BUDDYRECORDS, BuddyRecord(record));
    COutgoingPacket::AddContainer(packet, VexlaLib::KEY_BUDDYRECORDS, records);
    return packet;
}

TPacketSPtr CContactPackets::EntryUpdate(const SBuddyRecord& record)
{
    TPacketSPtr packet = COutgoingPacket::Create(VexlaLib::CHUNK_BUDDYLIST);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_BUDDYLIST_STATUS, 0);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_RECORDCOUNT, 1);
    TPacketSPtr records = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddContainer(records, VexlaLib::KEY_BUDDYRECORDS, BuddyRecord(record));
    COutgoingPacket::AddContainer(packet, VexlaLib::KEY_BUDDYRECORDS, records);
    return packet;
}

TPacketSPtr CContactPackets::Presence(const std::vector<int>& entries, int bookmark)
{
    TPacketSPtr packet = COutgoingPacket::Create(VexlaLib::CHUNK_PRESENCEUPDATE);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_BOOKMARK, bookmark);
    if (!entries.empty())
        COutgoingPacket::AddIntArray(packet, VexlaLib::KEY_ONLINESTATUSES, entries);
    return packet;
}

TPacketSPtr CContactPackets::AuthRequest(const SAuthRequest& request, const SSimUser& from)
{
    TPacketSPtr packet = COutgoingPacket::Create(VexlaLib::CHUNK_INCOMINGAUTHREQUEST);
    COutgoingPacket::AddString(packet, VexlaLib::KEY_VEXLANAME, Wide(request.from));
    COutgoingPacket::AddString(packet, VexlaLib::KEY_AUTHMSG, Wide(request.message));
    if (!from.fullName.empty())
        COutgoingPacket::AddString(packet, VexlaLib::KEY_FULLNAME, Wide(from.fullName));
    if (!from.mood.empty())
        COutgoingPacket::AddString(packet, VexlaLib::KEY_MOOD_TEXT, Wide(from.mood));
    return packet;
}

TPacketSPtr CContactPackets::Error(int code, const std::string& message)
{
    TPacketSPtr packet = COutgoingPacket::Create(VexlaLib::CHUNK_ERROR);
    COutgoingPacket::AddInt32(packet, VexlaLib::KEY_ERROR_CODE, code);
    COutgoingPacket::AddString(packet, VexlaLib::KEY_ERROR_MESSAGE, Wide(message));
    return packet;
}

}  // namespace ServerSim
