#include "ChatState.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "Json.h"

namespace ServerSim {

namespace {

json_object* Strings(const std::vector<std::string>& values)
{
    json_object* list = json_object_new_array();
    for (const std::string& value : values) {
        json_object_array_add(list, json_object_new_string(value.c_str()));
    }
    return list;
}

json_object* MessageJson(const SSimChatMsg& msg)
{
    json_object* item = json_object_new_object();
    json_object_object_add(item, "seq", json_object_new_int(msg.seq));
    json_object_object_add(item, "timestamp", json_object_new_int(msg.timestamp));
    json_object_object_add(item, "author", json_object_new_string(msg.author.c_str()));
    json_object_object_add(item, "type", json_object_new_int(msg.type));
    json_object_object_add(item, "status", json_object_new_int(msg.status));
    json_object_object_add(item, "body", json_object_new_string(msg.body.c_str()));
    json_object_object_add(item, "request_id", json_object_new_int(msg.requestId));
    return item;
}

json_object* ChatJson(const SSimChat& chat)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "id", json_object_new_int(chat.id));
    json_object_object_add(object, "type", json_object_new_int(chat.type));
    json_object_object_add(object, "unique_name", json_object_new_string(chat.uniqueName.c_str()));
    json_object_object_add(object, "topic", json_object_new_string(chat.topic.c_str()));
    json_object_object_add(object, "created", json_object_new_int(chat.created));
    json_object_object_add(object, "members", Strings(chat.members));
    json_object* msgs = json_object_new_array();
    for (const SSimChatMsg& msg : chat.msgs) {
        json_object_array_add(msgs, MessageJson(msg));
    }
    json_object_object_add(object, "messages", msgs);
    json_object* read = json_object_new_object();
    for (const auto& entry : chat.readSeq) {
        json_object_object_add(read, entry.first.c_str(), json_object_new_int(entry.second));
    }
    json_object_object_add(object, "read", read);
    return object;
}

int Int(json_object* object, const char* key)
{
    return static_cast<int>(CJson::GetInt(object, key, 0));
}

SSimChat ChatFrom(json_object* object)
{
    SSimChat chat;
    chat.id = Int(object, "id");
    chat.type = Int(object, "type");
    chat.uniqueName = CJson::GetString(object, "unique_name", "");
    chat.topic = CJson::GetString(object, "topic", "");
    chat.created = Int(object, "created");
    json_object* members = CJson::Get(object, "members");
    for (size_t i = 0; members != nullptr && i < json_object_array_length(members); ++i) {
        chat.members.push_back(json_object_get_string(json_object_array_get_idx(members, i)));
    }
    json_object* msgs = CJson::Get(object, "messages");
    for (size_t i = 0; msgs != nullptr && i < json_object_array_length(msgs); ++i) {
        json_object* item = json_object_array_get_idx(msgs, i);
        SSimChatMsg msg;
        msg.seq = Int(item, "seq");
        msg.timestamp = Int(item, "timestamp");
        msg.author = CJson::GetString(item, "author", "");
        msg.type = Int(item, "type");
        msg.status = Int(item, "status");
        msg.body = CJson::GetString(item, "body", "");
        msg.requestId = Int(item, "request_id");
        chat.msgs.push_back(msg);
    }
    json_object* read = CJson::Get(object, "read");
    if (json_object_is_type(read, json_type_object)) {
        json_object_object_foreach(read, name, seq)
        {
            chat.readSeq[name] = json_object_get_int(seq);
        }
    }
    return chat;
}

}  // namespace

bool CChatState::Save(const std::string& path, int nextChatId, const std::map<int, SSimChat>& chats)
{
    TJsonPtr state(json_object_new_object());
    json_object_object_add(state.get(), "next_chat_id", json_object_new_int(nextChatId));
    json_object* list = json_object_new_array();
    for (const auto& entry : chats) {
        json_object_array_add(list, ChatJson(entry.second));
    }
    json_object_object_add(state.get(), "chats", list);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << CJson::ToLine(state.get()) << '\n';
        if (!file.flush()) {
            std::fprintf(stderr, "vexla-server-sim: cannot write chat state %s\n", temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool CChatState::Load(const std::string& path, int& nextChatId, std::map<int, SSimChat>& chats, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    TJsonPtr state = CJson::Parse(text.str());
    json_object* list = CJson::Get(state.get(), "chats");
    if (!json_object_is_type(list, json_type_array)) {
        error = "chat state " + path + " has no chats list";
        return false;
    }
    for (size_t i = 0; i < json_object_array_length(list); ++i) {
        SSimChat chat = ChatFrom(json_object_array_get_idx(list, i));
        chats[chat.id] = chat;
    }
    nextChatId = static_cast<int>(CJson::GetInt(state.get(), "next_chat_id", nextChatId));
    return true;
}

}  // namespace ServerSim
