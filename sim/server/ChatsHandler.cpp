#include "ChatsHandler.h"

#include <string>

#include "ChatStore.h"
#include "Connection.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Utils/Utils.h"

namespace ServerSim {

using namespace VexlaLib;

namespace {

std::string Text(const CPacket& packet, int key)
{
    std::wstring value;
    packet.GetAttrString(key, &value);
    return CUtils::ConvertWideToChar(value);
}

int Number(const CPacket& packet, int key, int fallback)
{
    int value = fallback;
    packet.GetAttrInt32(key, &value);
    return value;
}

}  // namespace

std::vector<int> CChatsHandler::Chunks() const
{
    return {CHUNK_GETRECENTCHATS, CHUNK_GETUNREADCHATS, CHUNK_GETCHATINFO,  CHUNK_GETCHATMESSAGES,
            CHUNK_CREATECHATWITHUSER, CHUNK_SENDCHATMESSAGE, CHUNK_ADDCHATMEMBERS, CHUNK_SETCHATTOPIC,
            CHUNK_MARKCHATSREAD, CHUNK_LEAVECHAT};
}

void CChatsHandler::Handle(CConnection& connection, const CPacket& packet)
{
    CChatStore* store = connection.Context().chats;
    if (store == nullptr || connection.State().account.empty()) {
        return;
    }
    const int chatId = Number(packet, KEY_CHAT, -1);
    switch (Number(packet, KEY_CHUNKTYPE, -1)) {
    case CHUNK_GETRECENTCHATS:
        store->SendList(connection, false);
        break;
    case CHUNK_GETUNREADCHATS:
        store->SendList(connection, true);
        break;
    case CHUNK_GETCHATINFO:
        store->SendInfo(connection, chatId);
        break;
    case CHUNK_GETCHATMESSAGES:
        store->FetchMessages(connection, chatId, Number(packet, KEY_BOOKMARK, 0), Number(packet, KEY_AUTOSYNC, 0) != 0,
                             Number(packet, KEY_MAXENTRIES, -1));
        break;
    case CHUNK_CREATECHATWITHUSER:
        store->CreateDialog(connection, Text(packet, KEY_VEXLANAME), Number(packet, KEY_CLIENTCHATID, 0),
                            Number(packet, KEY_AUTOSYNC, 0) != 0);
        break;
    case CHUNK_SENDCHATMESSAGE:
        store->SendMessage(connection, chatId, Text(packet, KEY_CHATMSG_BODY), Number(packet, KEY_REQUEST_ID, 0));
        break;
    case CHUNK_ADDCHATMEMBERS: {
        std::vector<std::wstring> wide;
        CUtils::SplitString(CUtils::ConvertCharToWide(Text(packet, KEY_MEMBERS)), &wide);
        std::vector<std::string> names;
        for (const std::wstring& name : wide) {
            names.push_back(CUtils::ConvertWideToChar(name));
        }
        store->AddMembers(connection, chatId, names);
        break;
    }
    case CHUNK_SETCHATTOPIC:
        store->SetTopic(connection, chatId, Text(packet, KEY_TOPIC));
        break;
    case CHUNK_MARKCHATSREAD: {
        int* ids = nullptr;
        int count = 0;
        packet.GetAttrIntArray(KEY_CHATS, &ids, &count);
        store->MarkRead(connection, std::vector<int>(ids, ids + count));
        break;
    }
    case CHUNK_LEAVECHAT:
        store->Leave(connection, chatId);
        break;
    default:
        break;
    }
}

}  // namespace ServerSim
