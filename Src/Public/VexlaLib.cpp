#include "Public/VexlaLib.h"

#include "Handlers/AccountHandler.h"
#include "Handlers/CallHandler.h"
#include "Handlers/ChatHandler.h"
#include "Handlers/ContactHandler.h"
#include "Handlers/PresenceHandler.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/OutgoingPacket.h"
#include "Network/Packet.h"
#include "Public/IConnectionListener.h"
#include "Public/INetworkModule.h"
#include "Public/NetModuleLink.h"
#include "Utils/LogStream.h"
#include "Utils/IPersistentStorage.h"
#include "Utils/IWakeup.h"
#include "Utils/Properties.h"
#include "Utils/TimerManager.h"
#include "Utils/Utils.h"

#include <algorithm>
#include <cwctype>
#include <limits>

namespace VexlaLib {

namespace {

// Authorisation types of CHUNK_AUTHORIZECONTACT.
const int AUTHORIZATION_REJECT = 0;
const int AUTHORIZATION_AUTHORIZE = 1;
const int AUTHORIZATION_BLOCK = 2;

// "1.0.2.7" gives 1, 0, 2, 7: an integer, one separator skipped, four times. Missing parts read 0.
void DecodeVersionToArray(const std::wstring& text, int version[4])
{
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        int value = 0;
        while (at < text.size() && std::iswdigit(text[at]) && value < 100000000)
            value = value * 10 + (text[at++] - L'0');
        version[part] = value;
        ++at;
    }
}

// A poll interval from the server; values that do not fit in milliseconds are capped.
int SecondsToMs(int seconds)
{
    const int maxSeconds = std::numeric_limits<int>::max() / 1000;
    return std::min(std::max(seconds, 0), maxSeconds) * 1000;
}

}  // namespace

int CVexlaLib::m_requestCounter = 1;

CVexlaLib::CVexlaLib()
    : m_pTimerManager(new CTimerManager)
{
    BuildDispatchTable();
}

CVexlaLib::~CVexlaLib()
{
    Terminate();
}

bool CVexlaLib::Initialize(IPersistentStorage* storage)
{
    return Initialize(storage, std::unique_ptr<INetworkModule>(new CNetModuleLink));
}

bool CVexlaLib::Initialize(IPersistentStorage* storage, std::unique_ptr<INetworkModule> networkModule)
{
    if (m_pNetModule || !m_pTimerManager)
        return false;
    LogNotice() << L"Initializing vexla lib " << GetVersionString() << L"." << std::endl;
    m_pProperties.reset(new CProperties);
    m_pProperties->Initialize();
    m_pNetModule = std::move(networkModule);
    if (!m_pNetModule->Initialize(this, storage, m_pProperties.get())) {
        m_pNetModule->Terminate();
        m_pNetModule.reset();
        m_pProperties->Terminate();
        m_pProperties.reset();
        m_pStorage = nullptr;
        return false;
    }
    m_pStorage = storage;
    m_pAccountHandler.reset(new CAccountHandler(this, &m_model, m_pNetModule.get()));
    m_pContactHandler.reset(new CContactHandler(this, &m_model));
    m_pPresenceHandler.reset(new CPresenceHandler(this, &m_model));
    m_pCallHandler.reset(new CCallHandler(this, &m_model));
    m_pChatHandler.reset(new CChatHandler(this, &m_model));
    m_handlers = {m_pAccountHandler.get(), m_pContactHandler.get(), m_pPresenceHandler.get(), m_pCallHandler.get(),
                  m_pChatHandler.get()};
    return true;
}

void CVexlaLib::Terminate()
{
    if (m_pNetModule)
        LogNotice() << L"Terminating vexla lib." << std::endl;
    if (m_pStorage) {
        if (!GetUseSavedCredentials())
            EraseSavedCredentials();
        m_pStorage = nullptr;
    }
    m_handlers.clear();
    m_pAccountHandler.reset();
    m_pContactHandler.reset();
    m_pPresenceHandler.reset();
    m_pCallHandler.reset();
    m_pChatHandler.reset();
    if (m_pNetModule) {
        m_pNetModule->Terminate();
        m_pNetModule.reset();
    }
    if (m_pProperties) {
        m_pProperties->Terminate();
        m_pProperties.reset();
    }
    m_pTimerManager.reset();
    m_model.ClearSessionData();
    m_model.ReleaseDeletedObjects();
}

int CVexlaLib::Process()
{
    int result = 0;
    if (m_reconnectRequested) {
        if (IsLoggedIn())
            m_pNetModule->RequestReconnect();
        m_reconnectRequested = false;
    }
    if (m_pNetModule) {
        while (!m_interrupt && m_pNetModule->Process())
            result |= 1;
    }
    if (!m_interrupt && m_pTimerManager) {
        if (m_pTimerManager->Process())
            result |= 2;
        if (IsLoggedIn()) {
            if (m_contactListChanged)
                NotifyContactListUpdated(false);
            if (m_eventListChanged)
                NotifyEventListUpdated(false);
        }
    }
    // No listener can hold a contact deleted during this step any more.
    m_model.ReleaseDeletedObjects();
    m_interrupt = false;
    return result;
}

void CVexlaLib::InterruptProcess()
{
    m_interrupt = true;
}

void CVexlaLib::SetWakeup(IWakeup* wakeup)
{
    m_pWakeup = wakeup;
    if (m_pNetModule)
        m_pNetModule->SetWakeup(wakeup);
}

void CVexlaLib::HoldReceiving(bool hold)
{
    if (hold == m_receivingHeld)
        return;
    m_receivingHeld = hold;
    LogInfo() << (hold ? L"Holding received packets back." : L"Taking received packets again.") << std::endl;
    if (!hold && m_pWakeup)
        m_pWakeup->Wakeup();
}

long long CVexlaLib::MsUntilDue() const
{
    if (m_reconnectRequested || (IsLoggedIn() && (m_contactListChanged || m_eventListChanged)))
        return 0;
    long long due = 0;
    if (!m_pTimerManager || !m_pTimerManager->NextDue(&due))
        return -1;
    return std::max(0LL, due - CUtils::CurrentTimeInMs());
}

bool CVexlaLib::AddListener(IVexlaLibListener* listener)
{
    if (listener == nullptr || m_notifying)
        return false;
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end())
        return false;
    m_listeners.push_back(listener);
    return true;
}

bool CVexlaLib::RemoveListener(IVexlaLibListener* listener)
{
    if (listener == nullptr || m_notifying)
        return false;
    auto found = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (found == m_listeners.end())
        return false;
    m_listeners.erase(found);
    return true;
}

void CVexlaLib::SetConnectionListener(IConnectionListener* listener)
{
    m_pConnectionListener = listener;
}

int CVexlaLib::OnInterfaceRequest(std::wstring* address)
{
    if (m_pConnectionListener == nullptr)
        return INTERFACE_NO_NETWORK;
    return m_pConnectionListener->OnInterfaceRequest(address);
}

CTimer* CVexlaLib::CreateTimer(ITimer* callback)
{
    return m_pTimerManager->CreateTimer(callback);
}

void CVexlaLib::SetProperty(const std::wstring& key, const std::wstring& value)
{
    if (!m_pProperties) {
        LogError() << L"CVexlaLib::SetProperty - the library is not initialised; " << key << L" not set." << std::endl;
        return;
    }
    m_pProperties->SetString(key, value);
}

bool CVexlaLib::GetProperty(const std::wstring& key, std::wstring* value) const
{
    return m_pProperties && m_pProperties->GetString(key, value);
}

std::wstring CVexlaLib::GetVersionString()
{
    return L"1.0.2.246-debug-arm";
}

int CVexlaLib::ClampSeconds(long long seconds)
{
    return static_cast<int>(std::min<long long>(std::max<long long>(seconds, std::numeric_limits<int>::min()),
                                                std::numeric_limits<int>::max()));
}

int CVexlaLib::GetUniqueRequestId()
{
    return m_requestCounter++;
}

void CVexlaLib::SendPacket(TPacketSPtr packet)
{
    if (m_pNetModule)
        m_pNetModule->SendPacket(packet);
}

void CVexlaLib::SendPacket(TPacketSPtr packet, int requestId)
{
    int chunk = -1;
    packet->GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    LogInfo() << L"Trying to send packet - " << CAttrChunk::Lookup(chunk) << L"." << std::endl;
    COutgoingPacket::AddInt32(packet, KEY_REQUEST_ID, requestId);
    SendPacket(packet);
}

std::wstring CVexlaLib::GetLocalConnectionAddress() const
{
    return m_pNetModule ? m_pNetModule->GetLocalConnectionAddress() : std::wstring();
}

void CVexlaLib::SignalNetworkDown()
{
    if (m_pNetModule)
        m_pNetModule->SignalNetworkDown();
}

void CVexlaLib::ForceNewSessionReconnect()
{
    if (m_pNetModule)
        m_pNetModule->ForceNewSessionReconnect();
}

void CVexlaLib::ClearSessionData()
{
    LogNotice() << L"CVexlaLib::ClearSessionData - clearing session data." << std::endl;
    // The messages still waiting go with the session's chats, and an add under way with its
    // session: their callers hear of it first.
    if (m_pChatHandler)
        m_pChatHandler->FailAwaitingMessages();
    if (m_pContactHandler)
        m_pContactHandler->FailPendingAdd();
    m_model.ClearSessionData();
    for (CBaseHandler* handler : m_handlers)
        handler->ClearSessionData();
}

CContact* CVexlaLib::FindContact(const std::wstring& name) const
{
    const CContactList* list = m_model.GetContactList();
    return list ? list->FindContact(CUtils::ToLowerCase(name)) : nullptr;
}

bool CVexlaLib::IsLoggedIn() const
{
    return m_pAccountHandler && m_pAccountHandler->IsLoggedIn();
}

// Credentials and account.

bool CVexlaLib::Login(const std::wstring& user, const std::wstring& password)
{
    if (!m_pAccountHandler)
        return false;
    std::wstring name = user;
    if (name.empty() && m_pStorage)
        m_pStorage->GetString(CProperties::KEY_VEXLANAME, &name);
    m_pAccountHandler->Login(CUtils::ToLowerCase(name), password);
    return true;
}

bool CVexlaLib::LoginAgain(const std::wstring& user)
{
    if (!m_pNetModule)
        return false;
    std::wstring password = m_pNetModule->GetHeldPassword();
    const bool started = Login(user, password);
    CUtils::WipeText(&password);
    return started;
}

bool CVexlaLib::CancelLogin()
{
    return m_pAccountHandler && m_pAccountHandler->Cancel();
}

bool CVexlaLib::Logout()
{
    CAccountHandler* handler = SessionHandler(m_pAccountHandler);
    if (handler == nullptr)
        return false;
    handler->Logout();
    return true;
}

bool CVexlaLib::RegisterUser(const std::wstring& name, const std::wstring& password, const std::wstring& fullName,
                             const std::wstring& email, bool allowSpam)
{
    if (!m_pAccountHandler)
        return false;
    m_pAccountHandler->RegisterUser(CUtils::ToLowerCase(name), password, fullName, email, allowSpam);
    return true;
}

bool CVexlaLib::RequestCreditBalance()
{
    CAccountHandler* handler = SessionHandler(m_pAccountHandler);
    return handler && handler->RequestCreditBalance();
}

bool CVexlaLib::RequestProfile()
{
    CAccountHandler* handler = SessionHandler(m_pAccountHandler);
    return handler && handler->RequestProfile();
}

bool CVexlaLib::SaveProfile(const CProfile& profile)
{
    CAccountHandler* handler = SessionHandler(m_pAccountHandler);
    return handler && handler->SaveProfile(profile);
}

bool CVexlaLib::SetUseSavedCredentials(bool use)
{
    if (!m_pStorage)
        return false;
    m_pStorage->SetBool(CProperties::USESAVEDDATA, use);
    m_pStorage->RequestSynchronize();
    return true;
}

bool CVexlaLib::GetUseSavedCredentials() const
{
    bool use = false;
    return m_pStorage && m_pStorage->GetBool(CProperties::USESAVEDDATA, &use) && use;
}

bool CVexlaLib::EraseSavedCredentials()
{
    if (!m_pNetModule)
        return false;
    m_pNetModule->EraseSavedCredentials();
    return true;
}

bool CVexlaLib::RestoreLocallySavedCredentials()
{
    if (!m_pNetModule)
        return false;
    m_pNetModule->RestoreLocallySavedCredentials();
    return true;
}

bool CVexlaLib::SetSavedCredentials(TPacketSPtr credentials)
{
    if (!m_pNetModule)
        return false;
    m_pNetModule->SetSavedCredentials(credentials);
    return true;
}

TPacketSPtr CVexlaLib::GetSavedCredentials()
{
    return m_pNetModule ? m_pNetModule->GetSavedCredentials() : TPacketSPtr();
}

// Presence.

bool CVexlaLib::SetOnlineStatus(int availability)
{
    CPresenceHandler* handler = SessionHandler(m_pPresenceHandler);
    if (handler == nullptr)
        return false;
    handler->SetOnlineStatus(availability);
    return true;
}

bool CVexlaLib::RequestPresenceUpdate()
{
    CPresenceHandler* handler = SessionHandler(m_pPresenceHandler);
    if (handler == nullptr)
        return false;
    handler->RequestPresenceUpdate();
    return true;
}

bool CVexlaLib::SetClientState(eClientState state)
{
    if (!m_pPresenceHandler || (state != CLIENT_STATE_FOREGROUND && state != CLIENT_STATE_BACKGROUND))
        return false;
    m_clientState = state;
    m_pPresenceHandler->SetForegroundMode(state == CLIENT_STATE_FOREGROUND);
    return true;
}

// Contacts.

bool CVexlaLib::RequestContactList()
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    if (handler == nullptr)
        return false;
    handler->RequestContactList();
    return true;
}

bool CVexlaLib::AddContact(const std::wstring& name, const std::wstring& message)
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    return handler && handler->AddContact(CUtils::ToLowerCase(name), message);
}

bool CVexlaLib::AddVexlaOutContact(const std::wstring& number, const std::wstring& fullName)
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    return handler && handler->AddVexlaOutContact(number, fullName);
}

bool CVexlaLib::ForwardToContact(int id, void (CContactHandler::*operation)(CContact*))
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    CContact* contact = m_model.GetContact(id);
    if (handler == nullptr || contact == nullptr)
        return false;
    (handler->*operation)(contact);
    return true;
}

bool CVexlaLib::DeleteContact(int id)
{
    return ForwardToContact(id, &CContactHandler::DeleteContact);
}

bool CVexlaLib::RequestContactProps(int id)
{
    return ForwardToContact(id, &CContactHandler::RequestContactProps);
}

bool CVexlaLib::RequestAvatar(int id, int width, int height)
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    CContact* contact = m_model.GetContact(id);
    if (handler == nullptr || contact == nullptr)
        return false;
    handler->RequestAvatar(contact, width, height);
    return true;
}

bool CVexlaLib::SendAuthRequest(const std::wstring& name, const std::wstring& message)
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    if (handler == nullptr)
        return false;
    handler->SendAuthRequest(CUtils::ToLowerCase(name), message);
    return true;
}

bool CVexlaLib::AnswerAuthRequest(const std::wstring& name, int type)
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    if (handler == nullptr)
        return false;
    handler->AuthorizeContact(CUtils::ToLowerCase(name), type);
    return true;
}

bool CVexlaLib::AuthorizeContact(const std::wstring& name)
{
    return AnswerAuthRequest(name, AUTHORIZATION_AUTHORIZE);
}

bool CVexlaLib::UnblockContact(const std::wstring& name)
{
    return AnswerAuthRequest(name, AUTHORIZATION_AUTHORIZE);
}

bool CVexlaLib::BlockContact(const std::wstring& name)
{
    return AnswerAuthRequest(name, AUTHORIZATION_BLOCK);
}

bool CVexlaLib::RejectContact(const std::wstring& name)
{
    return AnswerAuthRequest(name, AUTHORIZATION_REJECT);
}

bool CVexlaLib::SearchContacts(const std::wstring& text)
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    if (handler == nullptr)
        return false;
    handler->SearchContacts(text);
    return true;
}

bool CVexlaLib::ExtendContactSearch()
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    if (handler == nullptr)
        return false;
    handler->ExtendContactSearch();
    return true;
}

bool CVexlaLib::EndContactSearch()
{
    CContactHandler* handler = SessionHandler(m_pContactHandler);
    if (handler == nullptr)
        return false;
    handler->EndContactSearch();
    return true;
}

// Calls and voicemail.

bool CVexlaLib::ForwardToVoicemail(int id, void (CCallHandler::*operation)(CVoicemail*))
{
    CCallHandler* handler = SessionHandler(m_pCallHandler);
    CVoicemail* voicemail = m_model.GetVoicemail(id);
    if (handler == nullptr || voicemail == nullptr)
        return false;
    (handler->*operation)(voicemail);
    return true;
}

bool CVexlaLib::RequestContactCall(int id)
{
    CCallHandler* handler = SessionHandler(m_pCallHandler);
    const CContact* contact = m_model.GetContact(id);
    if (handler == nullptr || contact == nullptr)
        return false;
    handler->RequestContactCall(contact);
    return true;
}

bool CVexlaLib::RequestVexlaCall(const std::wstring& name)
{
    CCallHandler* handler = SessionHandler(m_pCallHandler);
    if (handler == nullptr)
        return false;
    if (const CContact* contact = FindContact(name))
        handler->RequestContactCall(contact);
    else
        handler->RequestVexlaCall(name);
    return true;
}

bool CVexlaLib::RequestVexlaOutCall(const std::wstring& number)
{
    CCallHandler* handler = SessionHandler(m_pCallHandler);
    if (handler == nullptr)
        return false;
    handler->RequestVexlaOutCall(number);
    return true;
}

bool CVexlaLib::RequestListenVoicemail(int id)
{
    return ForwardToVoicemail(id, &CCallHandler::RequestListenVoicemail);
}

bool CVexlaLib::MarkVoicemailAsRead(int id)
{
    return ForwardToVoicemail(id, &CCallHandler::MarkVoicemailAsRead);
}

bool CVexlaLib::DeleteVoicemail(int id)
{
    return ForwardToVoicemail(id, &CCallHandler::DeleteVoicemail);
}

bool CVexlaLib::MarkAllVoicemailsAsRead()
{
    CCallHandler* handler = SessionHandler(m_pCallHandler);
    if (handler == nullptr)
        return false;
    handler->MarkAllVoicemailsAsRead();
    return true;
}

bool CVexlaLib::DeleteAllVoicemails()
{
    CCallHandler* handler = SessionHandler(m_pCallHandler);
    if (handler == nullptr)
        return false;
    handler->DeleteAllVoicemails();
    return true;
}

// Chats.

CChat* CVexlaLib::ChatForOperation(int id)
{
    return SessionHandler(m_pChatHandler) ? m_model.GetChat(id) : nullptr;
}

template <typename TCall>
bool CVexlaLib::ForwardToChat(int id, TCall call)
{
    CChat* chat = ChatForOperation(id);
    if (chat == nullptr)
        return false;
    call(chat);
    return true;
}

bool CVexlaLib::RequestRecentChats()
{
    CChatHandler* handler = SessionHandler(m_pChatHandler);
    if (handler == nullptr)
        return false;
    handler->RequestRecentChats();
    return true;
}

bool CVexlaLib::RequestUnreadChats()
{
    CChatHandler* handler = SessionHandler(m_pChatHandler);
    if (handler == nullptr)
        return false;
    handler->RequestUnreadChats();
    return true;
}

bool CVexlaLib::OpenChat(int id)
{
    return ForwardToChat(id, [this](CChat* chat) { m_pChatHandler->OpenChat(chat); });
}

bool CVexlaLib::CloseChat(int id)
{
    return ForwardToChat(id, [this](CChat* chat) { m_pChatHandler->CloseChat(chat); });
}

bool CVexlaLib::MarkChatAsRead(int id)
{
    return ForwardToChat(id, [this](CChat* chat) { m_pChatHandler->MarkChatAsRead(chat); });
}

bool CVexlaLib::LeaveChat(int id)
{
    return ForwardToChat(id, [this](CChat* chat) { m_pChatHandler->LeaveChat(chat); });
}

bool CVexlaLib::SetChatTopic(int id, const std::wstring& topic)
{
    return ForwardToChat(id, [&](CChat* chat) { m_pChatHandler->SetChatTopic(chat, topic); });
}

bool CVexlaLib::AddChatMembers(int id, const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> lowerNames;
    for (const std::wstring& name : names)
        lowerNames.push_back(CUtils::ToLowerCase(name));
    return ForwardToChat(id, [&](CChat* chat) { m_pChatHandler->AddChatMembers(chat, lowerNames); });
}

bool CVexlaLib::SendChatMsg(int id, const std::wstring& text, int* sendId)
{
    return ForwardToChat(id, [&](CChat* chat) {
        const int queued = m_pChatHandler->SendChatMsg(chat, text);
        if (sendId != nullptr)
            *sendId = queued;
    });
}

CChat* CVexlaLib::CreateOrOpenChat(const std::wstring& name)
{
    CChatHandler* handler = SessionHandler(m_pChatHandler);
    return handler ? handler->CreateOrOpenChat(CUtils::ToLowerCase(name)) : nullptr;
}

bool CVexlaLib::MarkAllChatsAsRead()
{
    CChatHandler* handler = SessionHandler(m_pChatHandler);
    if (handler == nullptr)
        return false;
    handler->MarkAllChatsAsRead();
    return true;
}

bool CVexlaLib::LeaveAllChats()
{
    CChatHandler* handler = SessionHandler(m_pChatHandler);
    if (handler == nullptr)
        return false;
    handler->LeaveAllChats();
    return true;
}

// Received packets.

void CVexlaLib::BuildDispatchTable()
{
    // One row per chunk kind. Rows marked true carry session data and are dropped while signed out:
    // their handlers report to listeners that only listen to a signed-in library.
    auto row = [this](int chunk, bool needsLogin, TPacketHandler handler) {
        m_dispatch[chunk] = TDispatchRow{needsLogin, handler};
    };
    row(CHUNK_PRESENCEUPDATE, true, [this](const TPacketSPtr& p) { m_pPresenceHandler->HandlePresenceUpdate(p); });
    row(CHUNK_CONTACTONLINESTATUS, false, [this](const TPacketSPtr& p) { m_pPresenceHandler->HandleContactOnlineStatus(p); });
    row(CHUNK_BALANCE, true, [this](const TPacketSPtr& p) { m_pAccountHandler->HandleBalance(p); });
    row(CHUNK_CALLINGBUDDY, true, [this](const TPacketSPtr& p) { m_pCallHandler->HandleCallingBuddy(p); });
    row(CHUNK_VOICEMAILS, true, [this](const TPacketSPtr& p) { m_pCallHandler->HandleVoicemails(p); });
    row(CHUNK_CONNECTED, false, [this](const TPacketSPtr& p) { HandleConnected(p); });
    row(CHUNK_CALLSETUP, true, [this](const TPacketSPtr& p) { m_pCallHandler->HandleCallSetup(p); });
    row(CHUNK_ERROR, false, [this](const TPacketSPtr& p) { HandleError(p); });
    row(CHUNK_PROFILEDATA, true, [this](const TPacketSPtr& p) { m_pAccountHandler->HandleProfileData(p); });
    row(CHUNK_BUDDYLIST, true, [this](const TPacketSPtr& p) { m_pContactHandler->HandleBuddyList(p); });
    row(CHUNK_INCOMINGAUTHREQUEST, true, [this](const TPacketSPtr& p) { m_pContactHandler->HandleIncomingAuthRequest(p); });
    row(CHUNK_CONTACTPROPERTIES, true, [this](const TPacketSPtr& p) { m_pContactHandler->HandleContactProperties(p); });
    row(CHUNK_AVATAR, true, [this](const TPacketSPtr& p) { m_pContactHandler->HandleAvatar(p); });
    row(CHUNK_CONTACTSEARCHRESULTS, true, [this](const TPacketSPtr& p) { m_pContactHandler->HandleContactSearchResults(p); });
    row(CHUNK_RECENTCHATS, true, [this](const TPacketSPtr& p) { m_pChatHandler->HandleChats(p); });
    row(CHUNK_UNREADCHATS, true, [this](const TPacketSPtr& p) { m_pChatHandler->HandleChats(p); });
    row(CHUNK_CHATINFO, true, [this](const TPacketSPtr& p) { m_pChatHandler->HandleChatInfo(p); });
    row(CHUNK_CHATMESSAGES, true, [this](const TPacketSPtr& p) { m_pChatHandler->HandleChatMessages(p); });
    row(CHUNK_CREATEDCHAT, true, [this](const TPacketSPtr& p) { m_pChatHandler->HandleCreatedChat(p); });
    row(CHUNK_MARKEDCHATSREAD, true, [this](const TPacketSPtr& p) { m_pChatHandler->HandleMarkedChatsRead(p); });
    row(CHUNK_LOGGEDIN, false, [this](const TPacketSPtr& p) {
        m_pAccountHandler->HandleLoggedin(p);
        HandleLoggedin(p);
    });
    row(CHUNK_LOGGEDOUT, false, [this](const TPacketSPtr& p) { m_pAccountHandler->HandleLoggedout(p); });
    row(CHUNK_USEPSTNNUMBER, true, [this](const TPacketSPtr& p) { m_pCallHandler->HandleUsePstnNumber(p); });
    row(CHUNK_SAVEDATA, false, [](const TPacketSPtr&) {});
    row(CHUNK_WARNING, false, [](const TPacketSPtr&) {});
    row(CHUNK_PRESENCESETTINGS, false, [this](const TPacketSPtr& p) { HandlePresenceSettings(p); });
    row(CHUNK_FORCED_DISCONNECT, false, [this](const TPacketSPtr& p) { m_pAccountHandler->HandleForcedDisconnect(p); });
    row(CHUNK_RECONNECTED, false, [this](const TPacketSPtr& p) {
        m_pAccountHandler->HandleReconnected(p);
        if (IsLoggedIn())
            m_pChatHandler->Resynchronize();
        HandleLoggedin(p);
    });
}

void CVexlaLib::OnPacketReceived(TPacketSPtr packet)
{
    NotifyPacketReceived(packet);
    int chunk = 0;
    if (!packet->GetAttrInt32(KEY_CHUNKTYPE, &chunk))
        return;
    auto found = m_dispatch.find(chunk);
    if (found == m_dispatch.end() || !m_pAccountHandler) {
        LogWarning() << L"Unhandled packet received from server - " << CAttrChunk::Lookup(chunk) << std::endl;
        return;
    }
    if (found->second.needsLogin && !IsLoggedIn()) {
        LogWarning() << L"Packet received while signed out, dropped - " << CAttrChunk::Lookup(chunk) << std::endl;
        return;
    }
    found->second.handler(packet);
}

void CVexlaLib::HandleConnected(const TPacketSPtr& packet)
{
    int serverTime = 0;
    if (packet->GetAttrInt32(KEY_SERVER_UTC_TIME, &serverTime)) {
        m_timeDifference = ClampSeconds(static_cast<long long>(serverTime) - CUtils::CurrentTimeInSec());
        LogInfo() << L"Difference between local and remote time is updated, diff = " << m_timeDifference << std::endl;
    }
    std::wstring message;
    if (packet->GetAttrString(KEY_SUBSCRIPTION_ERROR_MESSAGE, &message)) {
        LogInfo() << L"Subscription error message - \"" << message << L"\"" << std::endl;
        std::wstring url;
        packet->GetAttrString(KEY_SUBSCRIPTION_URL, &url);
        NotifySubscriptionError(message, url);
        return;
    }
    std::wstring url;
    std::wstring latestVersion;
    if (packet->GetAttrString(KEY_UPGRADEURL, &url) && packet->GetAttrString(KEY_LATEST_VERSION, &latestVersion))
        CheckForUpgrade(packet, url, latestVersion);
}

void CVexlaLib::CheckForUpgrade(const TPacketSPtr& packet, const std::wstring& url, const std::wstring& latestVersion)
{
    LogInfo() << L"Latest version on server - \"" << latestVersion << L"\"" << std::endl;
    std::wstring serverText = latestVersion;
    const bool forced = !serverText.empty() && serverText[0] == L'F';
    if (forced)
        serverText.erase(0, 1);
    int serverVersion[4];
    DecodeVersionToArray(serverText, serverVersion);

    std::wstring platformId;
    GetProperty(CProperties::PLATFORMID, &platformId);
    std::wstring ownText;
    const size_t slash = platformId.find(L'/');
    if (slash != std::wstring::npos) {
        const size_t next = platformId.find(L'/', slash + 1);
        ownText = platformId.substr(slash + 1, next == std::wstring::npos ? std::wstring::npos : next - slash - 1);
    }
    int ownVersion[4];
    DecodeVersionToArray(ownText, ownVersion);

    for (int part = 0; part < 4; ++part) {
        if (ownVersion[part] == serverVersion[part])
            continue;
        if (ownVersion[part] < serverVersion[part]) {
            std::wstring message;
            packet->GetAttrString(KEY_UPGRADE_MESSAGE, &message);
            NotifyUpgradeAvailable(message, url, forced);
        }
        return;
    }
}

void CVexlaLib::HandleError(const TPacketSPtr& packet)
{
    int code = 0;
    std::wstring message;
    packet->GetAttrInt32(KEY_ERROR_CODE, &code);
    packet->GetAttrString(KEY_ERROR_MESSAGE, &message);
    LogError() << L"Received CHUNK_ERROR: " << code << L" " << message << L"." << std::endl;
    // Signed out only the account handler is asked: the others answer requests of a session.
    bool claimed = false;
    for (CBaseHandler* handler : m_handlers)
        if (IsLoggedIn() || handler == m_pAccountHandler.get())
            claimed = handler->HandleError(packet, code) || claimed;
    if (!claimed)
        LogError() << L"Unhandled CHUNK_ERROR: " << code << L" " << message << L"." << std::endl;
}

void CVexlaLib::HandleLoggedin(const TPacketSPtr& packet)
{
    if (!packet->GetAttrString(KEY_HELP_URL, &m_helpUrl))
        m_helpUrl = L"#";
}

void CVexlaLib::HandlePresenceSettings(const TPacketSPtr& packet)
{
    int seconds = 0;
    if (packet->GetAttrInt32(KEY_FG_POLL_INTERVAL, &seconds))
        m_foregroundPollInterval = SecondsToMs(seconds);
    if (packet->GetAttrInt32(KEY_BG_POLL_INTERVAL, &seconds))
        m_backgroundPollInterval = SecondsToMs(seconds);
    // Signed out there is no list to poll.
    if (IsLoggedIn())
        m_pContactHandler->SetPollInterval(m_clientState == CLIENT_STATE_FOREGROUND ? m_foregroundPollInterval
                                                                                    : m_backgroundPollInterval);
}

// Network events.

void CVexlaLib::OnPacketSent(TPacketSPtr packet)
{
    NotifyPacketSent(packet);
}

void CVexlaLib::OnConnecting()
{
    if (m_model.SetAvailability(14))
        NotifyAvailabilityChanged(14);
}

void CVexlaLib::OnNetworkError(TNetworkErrorReason reason)
{
    LogError() << L"CVexlaLib::OnNetworkError" << std::endl;
    if (m_pAccountHandler)
        m_pAccountHandler->HandleNetworkError(reason);
}

}  // namespace VexlaLib
