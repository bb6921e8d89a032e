#pragma once

#include "Model/AuthRequest.h"
#include "Model/Chat.h"
#include "Model/EventBase.h"
#include "Model/Voicemail.h"

#include <memory>
#include <string>
#include <vector>

namespace VexlaLib {

// What happened to the user: chats, voicemails and incoming authorisation requests, owned here.
// Every Create… appends; the caller registers the new event with CModel::AddObject.
class CEventList
{
public:
    typedef std::vector<std::unique_ptr<CEventBase>> TEventVector;

    CEventList() = default;
    virtual ~CEventList() = default;

    CEventList(const CEventList&) = delete;
    CEventList& operator=(const CEventList&) = delete;

    CChat* CreateChat(int handle, int chatId);
    CChat* CreateLocalChat(int handle);
    CVoicemail* CreateVoicemail(int handle, int index);
    CAuthRequest* CreateAuthRequest(int handle, const std::wstring& vexlaName);

    // The first chat the server knows under chatId.
    CChat* FindChat(int chatId) const;
    // The first chat not yet known to the server with that local id.
    CChat* FindLocalChat(int localId) const;
    // The first dialog whose two members are a and b, in either order.
    CChat* FindChatDialogWith(const std::wstring& a, const std::wstring& b) const;
    CAuthRequest* FindAuthRequest(const std::wstring& vexlaName) const;
    CVoicemail* FindVoicemail(int index) const;
    // The first event of that type in the list's current order.
    CEventBase* GetFirstEvent(CObjectBase::eObjectType type) const;

    // The events; when sorted is requested, newest server timestamp first (equal timestamps in no
    // defined order, so events without one come last).
    const TEventVector& GetList(bool sorted);
    void InvalidateSorting() { m_needsSort = true; }
    size_t GetCount() const { return m_events.size(); }

    // Removes and destroys the event; a pointer not in the list destroys nothing. The caller removes
    // it from the model's handle index first (CModel::DeleteEvent does both).
    void DeleteEvent(CEventBase* pEvent);

    // Clears every chat's unread count; true if any chat had unread messages.
    bool MarkAllChatsAsRead();
    // Marks every voicemail heard; true if any was unheard.
    bool MarkAllVoicemailsAsRead();
    // Counts the missed events by type; null pointers are skipped.
    void CountMissedEvents(int* authRequests, int* voicemails, int* chats) const;

private:
    template <typename TEvent, typename TPredicate>
    TEvent* FindFirst(CObjectBase::eObjectType type, TPredicate matches) const;
    template <typename TEvent>
    TEvent* Append(std::unique_ptr<TEvent> event);

    bool m_needsSort = false;
    TEventVector m_events;
};

}  // namespace VexlaLib
