#include "CliEventPrinter.h"

#include <algorithm>

#include "JsonLine.h"
#include "Model/Chat.h"
#include "Model/Contact.h"
#include "Model/EventBase.h"
#include "Model/Profile.h"
#include "Model/Search.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Packet.h"
#include "Public/VexlaLib.h"
#include "Utils/IPersistentStorage.h"
#include "Utils/Properties.h"
#include "Utils/Utils.h"

using VexlaLib::CContact;

namespace {

void PrintEvent(const char* name)
{
    CJsonLine("event", name).Print();
}

void PrintFlag(const char* name, const char* key, bool value)
{
    CJsonLine("event", name).Bool(key, value).Print();
}

void PrintContact(const char* name, const CContact& contact)
{
    CJsonLine("event", name).Value("contact", CCliEventPrinter::ContactJson(contact)).Print();
}

void PrintContactChange(const char* name, const CContact& contact, int changes)
{
    CJsonLine("event", name).Value("contact", CCliEventPrinter::ContactJson(contact)).Int("changes", changes).Print();
}

json_object* EventJson(const VexlaLib::CEventBase* event)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "handle", json_object_new_int(event->GetHandle()));
    json_object_object_add(object, "type", json_object_new_string(event->GetTypeStr()));
    json_object_object_add(object, "display", CJsonLine::Text(event->GetDisplayString()));
    json_object_object_add(object, "missed", json_object_new_boolean(event->IsMissed()));
    return object;
}

void PrintChunk(const char* name, const VexlaLib::TPacketSPtr& packet)
{
    int chunk = -1;
    packet->GetAttrInt32(VexlaLib::KEY_CHUNKTYPE, &chunk);
    CJsonLine("event", name).Str("chunk", std::wstring(VexlaLib::CAttrChunk::Lookup(chunk))).Print();
}

}  // namespace

CCliEventPrinter::CCliEventPrinter(VexlaLib::CVexlaLib* lib, VexlaLib::IPersistentStorage* storage)
    : m_lib(lib), m_storage(storage)
{
}

json_object* CCliEventPrinter::ContactJson(const CContact& contact)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "handle", json_object_new_int(contact.GetHandle()));
    json_object_object_add(object, "index", json_object_new_int(contact.GetIndex()));
    json_object_object_add(object, "name", CJsonLine::Text(contact.GetVexlaName()));
    json_object_object_add(object, "callTarget", CJsonLine::Text(contact.GetCallTarget()));
    json_object_object_add(object, "display", CJsonLine::Text(contact.GetDisplayString()));
    json_object_object_add(object, "availability", json_object_new_int(contact.GetAvailability()));
    json_object_object_add(object, "mood", CJsonLine::Text(contact.GetMoodText()));
    return object;
}

json_object* CCliEventPrinter::ChatJson(const VexlaLib::CChat& chat)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "handle", json_object_new_int(chat.GetHandle()));
    json_object_object_add(object, "chatId", json_object_new_int(chat.HasChatId() ? chat.GetChatId() : -1));
    json_object_object_add(object, "name", CJsonLine::Text(chat.GetFriendlyName()));
    json_object_object_add(object, "topic", CJsonLine::Text(chat.GetTopic()));
    json_object_object_add(object, "unread", json_object_new_int(chat.GetUnreadMsgCnt()));
    json_object* members = json_object_new_array();
    for (const auto& member : chat.GetMemberList()) {
        if (!member->HasLeft())
            json_object_array_add(members, CJsonLine::Text(member->GetVexlaName()));
    }
    json_object_object_add(object, "members", members);
    json_object_object_add(object, "messages", json_object_new_int(static_cast<int>(chat.GetMsgList().size())));
    return object;
}

json_object* CCliEventPrinter::SearchJson(const VexlaLib::CSearch& search)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "text", CJsonLine::Text(search.GetSearchString()));
    json_object_object_add(object, "id", json_object_new_int(search.GetSearchId()));
    json_object_object_add(object, "status", json_object_new_int(search.GetStatus()));
    json_object* results = json_object_new_array();
    for (const auto& result : search.GetResults()) {
        json_object* entry = json_object_new_object();
        json_object_object_add(entry, "name", CJsonLine::Text(result->GetVexlaName()));
        json_object_object_add(entry, "fullName", CJsonLine::Text(result->GetFullName()));
        json_object_object_add(entry, "country", CJsonLine::Text(result->GetCountry()));
        json_object_array_add(results, entry);
    }
    json_object_object_add(object, "results", results);
    return object;
}

void CCliEventPrinter::OnRegisterUserSuccess() { PrintEvent("OnRegisterUserSuccess"); }

void CCliEventPrinter::OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions)
{
    json_object* names = json_object_new_array();
    if (suggestions != nullptr)
        for (const std::wstring& name : *suggestions)
            json_object_array_add(names, CJsonLine::Text(name));
    CJsonLine("event", "OnRegisterUserFailed").Int("reason", error).Value("suggestions", names).Print();
}

void CCliEventPrinter::OnLoginSuccess()
{
    m_storage->SetString(VexlaLib::CProperties::KEY_VEXLANAME, m_lib->GetModel().GetUserName());
    m_storage->RequestSynchronize();
    PrintEvent("OnLoginSuccess");
}

void CCliEventPrinter::OnLoginFailed(VexlaLib::eLoginError error)
{
    CJsonLine("event", "OnLoginFailed").Int("reason", error).Print();
}

void CCliEventPrinter::OnLogout(VexlaLib::eLogoutReason reason)
{
    CJsonLine("event", "OnLogout").Int("reason", reason).Print();
}

void CCliEventPrinter::OnNewSession(bool resumed) { PrintFlag("OnNewSession", "resumed", resumed); }

void CCliEventPrinter::OnAvailabilityChanged(int availability)
{
    CJsonLine("event", "OnAvailabilityChanged").Int("availability", availability).Print();
}

void CCliEventPrinter::OnGetBalanceFailed(bool timedOut) { PrintFlag("OnGetBalanceFailed", "timedOut", timedOut); }

void CCliEventPrinter::OnGetBalanceSuccess(const std::wstring& currency, int amount)
{
    CJsonLine("event", "OnGetBalanceSuccess").Str("currency", currency).Int("amount", amount).Print();
}

void CCliEventPrinter::OnSubscriptionError(const std::wstring& message, const std::wstring& url)
{
    CJsonLine("event", "OnSubscriptionError").Str("message", message).Str("url", url).Print();
}

void CCliEventPrinter::OnUpgradeAvailable(const std::wstring& message, const std::wstring& url, bool forced)
{
    CJsonLine("event", "OnUpgradeAvailable").Str("message", message).Str("url", url).Bool("forced", forced).Print();
}

void CCliEventPrinter::OnContactAdded(const CContact& contact) { PrintContact("OnContactAdded", contact); }

void CCliEventPrinter::OnContactDeleted(const CContact& contact) { PrintContact("OnContactDeleted", contact); }

void CCliEventPrinter::OnContactUpdated(const CContact& contact, int changes)
{
    PrintContactChange("OnContactUpdated", contact, changes);
}

void CCliEventPrinter::OnContactListUpdated() { PrintEvent("OnContactListUpdated"); }

void CCliEventPrinter::OnContactPropsUpdated(const CContact& contact, int changes)
{
    PrintContactChange("OnContactPropsUpdated", contact, changes);
}

void CCliEventPrinter::OnContactPropsFailed(bool timedOut) { PrintFlag("OnContactPropsFailed", "timedOut", timedOut); }

void CCliEventPrinter::OnAvatarReceived(const CContact& contact, VexlaLib::TByteArraySPtr image)
{
    CJsonLine("event", "OnAvatarReceived")
        .Value("contact", ContactJson(contact))
        .Int("size", image ? static_cast<long long>(image->size()) : 0)
        .Print();
}

void CCliEventPrinter::OnGetProfileSuccess(bool changed, const VexlaLib::CProfile& profile)
{
    json_object* fields = json_object_new_object();
    json_object_object_add(fields, "name", CJsonLine::Text(profile.GetVexlaName()));
    json_object_object_add(fields, "fullName", CJsonLine::Text(profile.GetFullName()));
    json_object_object_add(fields, "birthday", json_object_new_int(profile.GetBirthday()));
    json_object_object_add(fields, "city", CJsonLine::Text(profile.GetCity()));
    json_object_object_add(fields, "country", CJsonLine::Text(profile.GetCountry()));
    json_object_object_add(fields, "mood", CJsonLine::Text(profile.GetMoodText()));
    CJsonLine("event", "OnGetProfileSuccess").Bool("changed", changed).Value("profile", fields).Print();
}

void CCliEventPrinter::OnGetProfileFailed(bool timedOut) { PrintFlag("OnGetProfileFailed", "timedOut", timedOut); }

void CCliEventPrinter::OnSaveProfileSuccess() { PrintEvent("OnSaveProfileSuccess"); }

void CCliEventPrinter::OnSaveProfileFailed(bool timedOut) { PrintFlag("OnSaveProfileFailed", "timedOut", timedOut); }

void CCliEventPrinter::OnSearchFinished(const VexlaLib::CSearch& search, bool extendable)
{
    CJsonLine("event", "OnSearchFinished").Value("search", SearchJson(search)).Bool("extendable", extendable).Print();
}

void CCliEventPrinter::OnSearchFailed(const VexlaLib::CSearch& search)
{
    CJsonLine("event", "OnSearchFailed").Value("search", SearchJson(search)).Print();
}

void CCliEventPrinter::OnSearchResultAdded(const VexlaLib::CSearch& search)
{
    CJsonLine("event", "OnSearchResultAdded").Value("search", SearchJson(search)).Print();
}

void CCliEventPrinter::OnCallsEnabled(bool enabled) { PrintFlag("OnCallsEnabled", "enabled", enabled); }

void CCliEventPrinter::OnGatewayNumberUpdated(const std::wstring& number, const std::wstring& name)
{
    CJsonLine("event", "OnGatewayNumberUpdated").Str("number", number).Str("name", name).Print();
}

void CCliEventPrinter::OnCallingContact(int localTime, const std::wstring& callTarget, const std::wstring& vexlaName,
                                        const std::wstring& displayName)
{
    CJsonLine("event", "OnCallingContact")
        .Int("time", localTime)
        .Str("callTarget", callTarget)
        .Str("name", vexlaName)
        .Str("display", displayName)
        .Print();
}

void CCliEventPrinter::OnUseDialOutNumber(const std::wstring& number)
{
    CJsonLine("event", "OnUseDialOutNumber").Str("number", number).Print();
}

void CCliEventPrinter::OnDialOutFailed(eDialoutError error)
{
    CJsonLine("event", "OnDialOutFailed").Int("reason", error).Print();
}

void CCliEventPrinter::OnEventAdded(const VexlaLib::CEventBase* event)
{
    CJsonLine("event", "OnEventAdded").Value("item", EventJson(event)).Print();
}

void CCliEventPrinter::OnEventDeleted(const VexlaLib::CEventBase* event)
{
    CJsonLine("event", "OnEventDeleted").Value("item", EventJson(event)).Print();
}

void CCliEventPrinter::OnEventUpdated(const VexlaLib::CEventBase* event)
{
    CJsonLine("event", "OnEventUpdated").Value("item", EventJson(event)).Print();
}

void CCliEventPrinter::OnEventListUpdated() { PrintEvent("OnEventListUpdated"); }

void CCliEventPrinter::OnGetChatFailed(bool timedOut) { PrintFlag("OnGetChatFailed", "timedOut", timedOut); }

void CCliEventPrinter::OnChatMessagesAdded(const VexlaLib::CChat& chat, int count)
{
    // The new messages are the last count of the chat.
    const VexlaLib::CChat::TMsgList& all = chat.GetMsgList();
    json_object* messages = json_object_new_array();
    for (size_t i = all.size() - std::min(all.size(), static_cast<size_t>(std::max(count, 0))); i < all.size(); ++i) {
        json_object* message = json_object_new_object();
        json_object_object_add(message, "from", CJsonLine::Text(all[i]->GetMember()->GetVexlaName()));
        json_object_object_add(message, "type", json_object_new_int(all[i]->GetMsgType()));
        json_object_object_add(message, "body", CJsonLine::Text(all[i]->GetMsgBody()));
        json_object_object_add(message, "own", json_object_new_boolean(all[i]->IsOwnMsg()));
        json_object_array_add(messages, message);
    }
    CJsonLine("event", "OnChatMessagesAdded")
        .Int("handle", chat.GetHandle())
        .Int("count", count)
        .Value("chat", ChatJson(chat))
        .Value("messages", messages)
        .Print();
}

void CCliEventPrinter::OnPacketSent(VexlaLib::TPacketSPtr packet) { PrintChunk("OnPacketSent", packet); }

void CCliEventPrinter::OnPacketReceived(VexlaLib::TPacketSPtr packet) { PrintChunk("OnPacketReceived", packet); }

void CCliEventPrinter::OnAddContactSuccess(const CContact& contact) { PrintContact("OnAddContactSuccess", contact); }

void CCliEventPrinter::OnAddContactFailed(bool timedOut, int errorCode)
{
    CJsonLine("event", "OnAddContactFailed").Bool("timedOut", timedOut).Int("code", errorCode).Print();
}

void CCliEventPrinter::OnSendAuthRequestFailed() { PrintEvent("OnSendAuthRequestFailed"); }

void CCliEventPrinter::OnCustomEvent(int id, void* /*data*/)
{
    CJsonLine("event", "OnCustomEvent").Int("id", id).Print();
}
