#pragma once

#include "Model/ObjectBase.h"

#include <string>

namespace VexlaLib {

// One entry of the event list: a chat, a voicemail or an incoming authorisation request.
// The list is sorted by server timestamp, newest first.
class CEventBase : public CObjectBase
{
public:
    // The local timestamp starts at the current time, the server timestamp at 0.
    CEventBase(eObjectType type, int handle);
    ~CEventBase() override = default;

    virtual const std::wstring& GetDisplayString() const = 0;
    // Whether the event still wants the user's attention (unread, unheard or unanswered).
    virtual bool IsMissed() const = 0;

    int GetEventLocalTimestamp() const { return m_localTimestamp; }
    int GetEventServerTimestamp() const { return m_serverTimestamp; }
    bool SetEventLocalTimestamp(int timestamp);
    bool SetEventServerTimestamp(int timestamp);

private:
    int m_localTimestamp;
    int m_serverTimestamp = 0;
};

}  // namespace VexlaLib
