// The chat commands of vexla-cli. A chat is named by its handle (printed with every chat) or by
// its friendly name, unique name or topic.
#include "CliCommands.h"

#include <cstdlib>

#include "CliEventPrinter.h"
#include "JsonLine.h"
#include "Model/Chat.h"
#include "Public/VexlaLib.h"
#include "Utils/Utils.h"

using VexlaLib::CChat;
using VexlaLib::CUtils;

namespace {

std::wstring Wide(const std::string& text)
{
    return CUtils::ConvertCharToWide(text);
}

// The words from first on, joined with single blanks: the text of a message or topic.
std::wstring Rest(const std::vector<std::string>& words, size_t first)
{
    std::string text;
    for (size_t i = first; i < words.size(); ++i)
        text += (i == first ? "" : " ") + words[i];
    return Wide(text);
}

bool IsNumber(const std::string& word)
{
    return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

void CCliCommands::AddChatCommands()
{
    Add("chats", 0, [this](const TWords&) { return ListChats(false); });
    Add("unread", 0, [this](const TWords&) { return ListChats(true); });
    Add("open", 1, [this](const TWords& w) { return WithChat(w[0], [this](int h) { return m_lib->OpenChat(h); }); });
    Add("close", 1, [this](const TWords& w) { return WithChat(w[0], [this](int h) { return m_lib->CloseChat(h); }); });
    Add("chat", 2, [this](const TWords& w) { return ChatWith(w[0], Rest(w, 1)); });
    Add("send", 2, [this](const TWords& w) {
        return WithChat(w[0], [&](int h) { return m_lib->SendChatMsg(h, Rest(w, 1)); });
    });
    Add("topic", 2, [this](const TWords& w) {
        return WithChat(w[0], [&](int h) { return m_lib->SetChatTopic(h, Rest(w, 1)); });
    });
    Add("add-members", 2, [this](const TWords& w) {
        std::vector<std::wstring> names;
        for (size_t i = 1; i < w.size(); ++i)
            names.push_back(Wide(w[i]));
        return WithChat(w[0], [&](int h) { return m_lib->AddChatMembers(h, names); });
    });
    Add("read", 1, [this](const TWords& w) { return WithChat(w[0], [this](int h) { return m_lib->MarkChatAsRead(h); }); });
    Add("read-all", 0, [this](const TWords&) { return m_lib->MarkAllChatsAsRead(); });
    Add("leave", 1, [this](const TWords& w) { return WithChat(w[0], [this](int h) { return m_lib->LeaveChat(h); }); });
    Add("leave-all", 0, [this](const TWords&) { return m_lib->LeaveAllChats(); });
}

bool CCliCommands::WithChat(const std::string& name, const std::function<bool(int)>& use)
{
    const CChat* found = nullptr;
    if (IsNumber(name)) {
        found = m_lib->GetModel().GetChat(std::atoi(name.c_str()));
    } else if (VexlaLib::CEventList* events = m_lib->GetModel().GetEventList()) {
        const std::wstring wanted = Wide(name);
        for (const auto& event : events->GetList(false)) {
            const CChat* chat = event->IsChat() ? static_cast<const CChat*>(event.get()) : nullptr;
            if (chat != nullptr && (chat->GetFriendlyName() == wanted || chat->GetUniqueName() == wanted ||
                                    chat->GetTopic() == wanted)) {
                found = chat;
                break;
            }
        }
    }
    if (found == nullptr) {
        Fail(m_current, "no chat " + name);
        return false;
    }
    m_reply->Int("chat", found->GetHandle());
    return use(found->GetHandle());
}

bool CCliCommands::ChatWith(const std::string& name, const std::wstring& text)
{
    const CChat* chat = m_lib->CreateOrOpenChat(Wide(name));
    if (chat == nullptr) {
        Fail(m_current, "cannot chat with " + name + " (signed in?)");
        return false;
    }
    m_reply->Int("chat", chat->GetHandle());
    return m_lib->SendChatMsg(chat->GetHandle(), text);
}

bool CCliCommands::ListChats(bool unreadOnly)
{
    const bool asked = unreadOnly ? m_lib->RequestUnreadChats() : m_lib->RequestRecentChats();
    json_object* list = json_object_new_array();
    if (VexlaLib::CEventList* events = m_lib->GetModel().GetEventList()) {
        for (const auto& event : events->GetList(true)) {
            if (event->IsChat() && (!unreadOnly || event->IsMissed()))
                json_object_array_add(list, CCliEventPrinter::ChatJson(*static_cast<const CChat*>(event.get())));
        }
    }
    m_reply->Value("chats", list);
    return asked;
}
