#include "ChatPackets.h"

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/OutgoingPacket.h"

namespace ServerSim {

using namespace VexlaLib;

TPacketSPtr CChatPackets::Record(const SSimChat& chat, const std::string& viewer)
{
    TPacketSPtr record = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddInt32(record, KEY_CHAT, chat.id);
    COutgoingPacket::AddString(record, KEY_CHAT_FRIENDLYNAME, chat.FriendlyNameFor(viewer));
    COutgoingPacket::AddInt32(record, KEY_ACTIVITY_TIMESTAMP, chat.ActivityTime());
    COutgoingPacket::AddInt32(record, KEY_UNREAD_MSGS, chat.UnreadFor(viewer));
    return record;
}

TPacketSPtr CChatPackets::List(int chunk, const std::vector<const SSimChat*>& chats, const std::string& viewer)
{
    TPacketSPtr packet = COutgoingPacket::Create(chunk);
    TPacketSPtr records = COutgoingPacket::CreateContainer();
    for (const SSimChat* chat : chats) {
        COutgoingPacket::AddContainer(records, KEY_CHATRECORD, Record(*chat, viewer));
    }
    COutgoingPacket::AddContainer(packet, KEY_CHATRECORDS, records);
    return packet;
}

TPacketSPtr CChatPackets::Info(const SSimChat& chat, const std::string& viewer)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CHATINFO);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat.id);
    COutgoingPacket::AddInt32(packet, KEY_TYPE, chat.type);
    COutgoingPacket::AddString(packet, KEY_CHAT_NAME, chat.uniqueName);
    COutgoingPacket::AddString(packet, KEY_CHAT_FRIENDLYNAME, chat.FriendlyNameFor(viewer));
    COutgoingPacket::AddInt32(packet, KEY_TIMESTAMP, chat.created);
    COutgoingPacket::AddInt32(packet, KEY_ACTIVITY_TIMESTAMP, chat.ActivityTime());
    COutgoingPacket::AddInt32(packet, KEY_UNREAD_MSGS, chat.UnreadFor(viewer));
    COutgoingPacket::AddString(packet, KEY_TOPIC, chat.topic);
    COutgoingPacket::AddString(packet, KEY_MEMBERS, chat.JoinedMembers());
    return packet;
}

TPacketSPtr CChatPackets::MessageRecord(const SSimChatMsg& msg, int connectionId)
{
    TPacketSPtr record = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddInt32(record, KEY_TIMESTAMP, msg.timestamp);
    COutgoingPacket::AddString(record, KEY_VEXLANAME, msg.author);
    COutgoingPacket::AddInt32(record, KEY_CHATMSG_TYPE, msg.type);
    COutgoingPacket::AddInt32(record, KEY_CHATMSG_STATUS, msg.status);
    COutgoingPacket::AddString(record, msg.type == eMsgMembers ? KEY_MEMBERS : KEY_CHATMSG_BODY, msg.body);
    if (msg.requestId != 0 && msg.senderConn == connectionId) {
        COutgoingPacket::AddInt32(record, KEY_REQUEST_ID, msg.requestId);
    }
    return record;
}

TPacketSPtr CChatPackets::Messages(const SSimChat& chat, int afterSeq, int connectionId)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CHATMESSAGES);
    COutgoingPacket::AddInt32(packet, KEY_CHAT, chat.id);
    COutgoingPacket::AddInt32(packet, KEY_BOOKMARK, chat.LastSeq());
    TPacketSPtr records = COutgoingPacket::CreateContainer();
    for (const SSimChatMsg& msg : chat.msgs) {
        if (msg.seq > afterSeq) {
            COutgoingPacket::AddContainer(records, KEY_CHATRECORD, MessageRecord(msg, connectionId));
        }
    }
    COutgoingPacket::AddContainer(packet, KEY_CHATMSG_RECORDS, records);
    return packet;
}

TPacketSPtr CChatPackets::Created(int clientChatId, const SSimChat& chat, const std::string& viewer)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CREATEDCHAT);
    COutgoingPacket::AddInt32(packet, KEY_CLIENTCHATID, clientChatId);
    COutgoingPacket::AddContainer(packet, KEY_CHATRECORD, Record(chat, viewer));
    return packet;
}

}  // namespace ServerSim
