#include "ChatControl.h"

#include "ChatStore.h"
#include "SimChat.h"

namespace ServerSim {

namespace {

std::string Answer(int chatId, const std::string& error)
{
    if (chatId < 0) {
        return CJson::ToLine(CJson::Error(error).get());
    }
    TJsonPtr answer = CJson::Ok();
    json_object_object_add(answer.get(), "chat", json_object_new_int(chatId));
    return CJson::ToLine(answer.get());
}

}  // namespace

bool CChatControl::Handles(const std::string& name)
{
    return name == "chats" || name == "chat_message" || name == "chat_topic" || name == "chat_member";
}

std::string CChatControl::Execute(CChatStore* store, const std::string& name, json_object* command)
{
    if (store == nullptr) {
        return CJson::ToLine(CJson::Error("this simulator serves no chats").get());
    }
    if (name == "chats") {
        TJsonPtr answer = CJson::Ok();
        json_object_object_add(answer.get(), "chats", store->ToJson().release());
        return CJson::ToLine(answer.get());
    }
    const std::string from = CJson::GetString(command, "from", "");
    const int chatId = static_cast<int>(CJson::GetInt(command, "chat", -1));
    if (from.empty()) {
        return Answer(-1, name + " needs \"from\"");
    }
    std::string error;
    if (name == "chat_message") {
        const int type = static_cast<int>(CJson::GetInt(command, "type", eMsgText));
        return Answer(store->Deliver(from, CJson::GetString(command, "to", ""), chatId, type,
                                     CJson::GetString(command, "text", ""), error),
                      error);
    }
    if (name == "chat_topic") {
        return Answer(store->Rename(from, chatId, CJson::GetString(command, "topic", ""), error), error);
    }
    const std::string added = CJson::GetString(command, "add", "");
    const std::string removed = CJson::GetString(command, "remove", "");
    const bool add = !added.empty();
    return Answer(store->ChangeMember(from, chatId, add ? added : removed, add, error), error);
}

}  // namespace ServerSim
