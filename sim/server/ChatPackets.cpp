#include "ChatPackets.h"

#include <memory>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Value.h"
#include "Utils/Utils.h"

namespace ServerSim {

using namespace VexlaLib;

namespace {

void AddInt(CPacket& packet, int key, int value)
{
    packet.AddAttr(std::make_shared<CAttribute>(key, TYPE_INT32, value));
}

void AddText(CPacket& packet, int key, const std::string& value)
{
    packet.AddAttr(std::make_shared<CAttribute>(key, TYPE_STRING, CUtils::ConvertCharToWide(value)));
}

void AddContainer(CPacket& packet, int key, const TPacketSPtr& container)
{
    packet.AddAttr(std::make_shared<CAttribute>(key, TYPE_CONTAINER, container));
}

}  // namespace

CPacket CChatPackets::Bare(int chunk)
{
    CPacket packet(CPacket::OUTGOING);
    AddInt(packet, KEY_CHUNKTYPE, chunk);
    return packet;
}

TPacketSPtr CChatPackets::Record(const SSimChat& chat, const std::string& viewer)
{
    TPacketSPtr record = std::make_shared<CPacket>(CPacket::OUTGOING);
    AddInt(*record, KEY_CHAT, chat.id);
    AddText(*record, KEY_CHAT_FRIENDLYNAME, chat.FriendlyNameFor(viewer));
    AddInt(*record, KEY_ACTIVITY_TIMESTAMP, chat.ActivityTime());
    AddInt(*record, KEY_UNREAD_MSGS, chat.UnreadFor(viewer));
    return record;
}

CPacket CChatPackets::List(int chunk, const std::vector<const SSimChat*>& chats, const std::string& viewer)
{
    CPacket packet = Bare(chunk);
    TPacketSPtr records = std::make_shared<CPacket>(CPacket::OUTGOING);
    for (const SSimChat* chat : chats) {
        AddContainer(*records, KEY_CHATRECORD, Record(*chat, viewer));
    }
    AddContainer(packet, KEY_CHATRECORDS, records);
    return packet;
}

CPacket CChatPackets::Info(const SSimChat& chat, const std::string& viewer)
{
    CPacket packet = Bare(CHUNK_CHATINFO);
    AddInt(packet, KEY_CHAT, chat.id);
    AddInt(packet, KEY_TYPE, chat.type);
    AddText(packet, KEY_CHAT_NAME, chat.uniqueName);
    AddText(packet, KEY_CHAT_FRIENDLYNAME, chat.FriendlyNameFor(viewer));
    AddInt(packet, KEY_TIMESTAMP, chat.created);
    AddInt(packet, KEY_ACTIVITY_TIMESTAMP, chat.ActivityTime());
    AddInt(packet, KEY_UNREAD_MSGS, chat.UnreadFor(viewer));
    AddText(packet, KEY_TOPIC, chat.topic);
    AddText(packet, KEY_MEMBERS, chat.JoinedMembers());
    return packet;
}

TPacketSPtr CChatPackets::MessageRecord(const SSimChatMsg& msg, int connectionId)
{
    TPacketSPtr record = std::make_shared<CPacket>(CPacket::OUTGOING);
    AddInt(*record, KEY_TIMESTAMP, msg.timestamp);
    AddText(*record, KEY_VEXLANAME, msg.author);
    AddInt(*record, KEY_CHATMSG_TYPE, msg.type);
    AddInt(*record, KEY_CHATMSG_STATUS, msg.status);
    AddText(*record, msg.type == eMsgMembers ? KEY_MEMBERS : KEY_CHATMSG_BODY, msg.body);
    if (msg.requestId != 0 && msg.senderConn == connectionId) {
        AddInt(*record, KEY_REQUEST_ID, msg.requestId);
    }
    return record;
}

CPacket CChatPackets::Messages(const SSimChat& chat, int afterSeq, int connectionId)
{
    CPacket packet = Bare(CHUNK_CHATMESSAGES);
    AddInt(packet, KEY_CHAT, chat.id);
    AddInt(packet, KEY_BOOKMARK, chat.LastSeq());
    TPacketSPtr records = std::make_shared<CPacket>(CPacket::OUTGOING);
    for (const SSimChatMsg& msg : chat.msgs) {
        if (msg.seq > afterSeq) {
            AddContainer(*records, KEY_CHATRECORD, MessageRecord(msg, connectionId));
        }
    }
    AddContainer(packet, KEY_CHATMSG_RECORDS, records);
    return packet;
}

CPacket CChatPackets::Created(int clientChatId, const SSimChat& chat, const std::string& viewer)
{
    CPacket packet = Bare(CHUNK_CREATEDCHAT);
    AddInt(packet, KEY_CLIENTCHATID, clientChatId);
    AddContainer(packet, KEY_CHATRECORD, Record(chat, viewer));
    return packet;
}

}  // namespace ServerSim
