#pragma once

#include <memory>
#include <vector>

#include "Tesk/Core/TeskService.h"

class IDisplayServiceCallback;

// Subscribes to the display's on/off status on a connection another service registered.
class CDisplayServiceClient : public CTeskService {
public:
    CDisplayServiceClient() = default;
    ~CDisplayServiceClient() override;

    // Subscribes to the display status; every reply reaches callback's OnDisplayEvent with userData.
    // Returns whether the call could be sent.
    bool RegisterForDisplayEvents(IDisplayServiceCallback* callback, void* userData);

private:
    struct CDisplayServiceClientCallContext {
        IDisplayServiceCallback* callback;
        void* userData;
    };

    std::vector<std::unique_ptr<CDisplayServiceClientCallContext>> m_callContexts;
};
