#include "Model/EventList.h"

#include <algorithm>

namespace VexlaLib {

template <typename TEvent, typename TPredicate>
TEvent* CEventList::FindFirst(CObjectBase::eObjectType type, TPredicate matches) const
{
    for (const auto& event : m_events) {
        if (event->GetType() != type)
            continue;
        TEvent* typed = static_cast<TEvent*>(event.get());
        if (matches(*typed))
            return typed;
    }
    return nullptr;
}

template <typename TEvent>
TEvent* CEventList::Append(std::unique_ptr<TEvent> event)
{
    TEvent* added = event.get();
    m_events.push_back(std::move(event));
    m_needsSort = true;
    return added;
}

CChat* CEventList::CreateChat(int handle, int chatId)
{
    return Append(std::make_unique<CChat>(handle, chatId));
}

CChat* CEventList::CreateLocalChat(int handle)
{
    return Append(std::make_unique<CChat>(handle));
}

CVoicemail* CEventList::CreateVoicemail(int handle, int index)
{
    return Append(std::make_unique<CVoicemail>(handle, index));
}

CAuthRequest* CEventList::CreateAuthRequest(int handle, const std::wstring& vexlaName)
{
    return Append(std::make_unique<CAuthRequest>(handle, vexlaName));
}

CChat* CEventList::FindChat(int chatId) const
{
    return FindFirst<CChat>(CObjectBase::OBJECT_CHAT,
                            [chatId](const CChat& chat) { return chat.HasChatId() && chat.GetChatId() == chatId; });
}

CChat* CEventList::FindLocalChat(int localId) const
{
    return FindFirst<CChat>(CObjectBase::OBJECT_CHAT,
                            [localId](const CChat& chat) { return !chat.HasChatId() && chat.GetLocalId() == localId; });
}

CChat* CEventList::FindChatDialogWith(const std::wstring& a, const std::wstring& b) const
{
    return FindFirst<CChat>(CObjectBase::OBJECT_CHAT, [&a, &b](const CChat& chat) {
        if (!chat.IsDialogType() || chat.GetMemberCnt() != 2)
            return false;
        const std::wstring& first = chat.GetFirstMember()->GetVexlaName();
        const std::wstring& second = chat.GetSecondMember()->GetVexlaName();
        return (first == a && second == b) || (first == b && second == a);
    });
}

CAuthRequest* CEventList::FindAuthRequest(const std::wstring& vexlaName) const
{
    return FindFirst<CAuthRequest>(CObjectBase::OBJECT_AUTHREQUEST, [&vexlaName](const CAuthRequest& request) {
        return request.GetVexlaName() == vexlaName;
    });
}

CVoicemail* CEventList::FindVoicemail(int index) const
{
    return FindFirst<CVoicemail>(CObjectBase::OBJECT_VOICEMAIL,
                                 [index](const CVoicemail& voicemail) { return voicemail.GetIndex() == index; });
}

CEventBase* CEventList::GetFirstEvent(CObjectBase::eObjectType type) const
{
    return FindFirst<CEventBase>(type, [](const CEventBase&) { return true; });
}

const CEventList::TEventVector& CEventList::GetList(bool sorted)
{
    if (sorted && m_needsSort) {
        std::sort(m_events.begin(), m_events.end(),
                  [](const std::unique_ptr<CEventBase>& a, const std::unique_ptr<CEventBase>& b) {
                      return a->GetEventServerTimestamp() > b->GetEventServerTimestamp();
                  });
        m_needsSort = false;
    }
    return m_events;
}

void CEventList::DeleteEvent(CEventBase* pEvent)
{
    auto it = std::find_if(m_events.begin(), m_events.end(),
                           [pEvent](const std::unique_ptr<CEventBase>& event) { return event.get() == pEvent; });
    if (it != m_events.end())
        m_events.erase(it);
}

bool CEventList::MarkAllChatsAsRead()
{
    bool changed = false;
    for (const auto& event : m_events) {
        if (event->IsChat())
            changed |= static_cast<CChat*>(event.get())->SetUnreadMsgCnt(0, false);
    }
    return changed;
}

bool CEventList::MarkAllVoicemailsAsRead()
{
    bool changed = false;
    for (const auto& event : m_events) {
        if (event->IsVoicemail())
            changed |= static_cast<CVoicemail*>(event.get())->SetMissed(false);
    }
    return changed;
}

void CEventList::CountMissedEvents(int* authRequests, int* voicemails, int* chats) const
{
    int missed[4] = {};
    for (const auto& event : m_events) {
        if (event->IsMissed())
            ++missed[event->GetType()];
    }
    if (authRequests != nullptr)
        *authRequests = missed[CObjectBase::OBJECT_AUTHREQUEST];
    if (voicemails != nullptr)
        *voicemails = missed[CObjectBase::OBJECT_VOICEMAIL];
    if (chats != nullptr)
        *chats = missed[CObjectBase::OBJECT_CHAT];
}

}  // namespace VexlaLib
