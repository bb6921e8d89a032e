#pragma once

#include "Tesk/Core/TeskService.h"

class ICallHandler;

// The bus service com.vexla.call of the phone application: calls through a Vexla gateway number,
// incoming caller translation, the gateway subscription, call capabilities, rates and balance. The
// fixed answers are given here; everything else goes to the ICallHandler.
class CTeskCallService : public CTeskService {
public:
    CTeskCallService() = default;

    // Registers the name, then the method table of the root category.
    bool Register(const char* serviceName, bool usePublicBus) override;
    // Null detaches the handler (teardown).
    void SetCallHandler(ICallHandler* handler) { m_pCallHandler = handler; }

private:
    void CallUsingGateway(const TBusMessageSPtr& message);
    void IncomingContactTranslate(const TBusMessageSPtr& message);
    void IncomingGatewayQuery(const TBusMessageSPtr& message);
    void CallCapabilitiesQuery(const TBusMessageSPtr& message);
    void RateQuery(const TBusMessageSPtr& message);
    void BalanceQuery(const TBusMessageSPtr& message);
    // The handler; a missing one is a broken precondition of the assembly.
    ICallHandler* Handler() const;

    ICallHandler* m_pCallHandler = nullptr;
};
