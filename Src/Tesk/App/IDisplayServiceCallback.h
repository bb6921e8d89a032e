#pragma once

#include <string>

// Hears the display's on/off status: "state" and "event" of each status reply (empty when missing).
class IDisplayServiceCallback {
public:
    virtual ~IDisplayServiceCallback() = default;
    virtual void OnDisplayEvent(const std::wstring& state, const std::wstring& event, void* userData) = 0;
};
