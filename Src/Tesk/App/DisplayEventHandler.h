#pragma once

#include "Tesk/App/IDisplayServiceCallback.h"

class CDisplayServiceClient;
class CVexlaSession;

// Runs the library in the foreground while the screen is on (asking for presence at once when it
// comes on) and in the background while it is off.
class CDisplayEventHandler : public IDisplayServiceCallback {
public:
    CDisplayEventHandler(CVexlaSession* session, CDisplayServiceClient* displayClient);

    CDisplayEventHandler(const CDisplayEventHandler&) = delete;
    CDisplayEventHandler& operator=(const CDisplayEventHandler&) = delete;

    // Subscribes to the display status.
    void Start();
    void Stop() {}

    void OnDisplayEvent(const std::wstring& state, const std::wstring& event, void* userData) override;

    bool IsScreenOn() const { return m_screenOn; }

private:
    CVexlaSession* m_pSession;
    CDisplayServiceClient* m_pDisplayClient;
    bool m_screenOn = true;
};
