#pragma once

#include "Tesk/Core/TeskService.h"

class IIMHandler;

// The bus service com.vexla.im: every method but "onDelete" is answered at once and then handed to
// the IIMHandler; "onDelete" is answered by the handler when the account's records are gone.
class CTeskIMService : public CTeskService {
public:
    CTeskIMService() = default;

    // Registers the name, then the method table of the root category.
    bool Register(const char* serviceName, bool usePublicBus) override;
    // Null detaches the handler (teardown).
    void SetMessageHandler(IIMHandler* handler) { m_pMessageHandler = handler; }

private:
    // Answers success, logs the payload when logName is given, then forwards.
    void AnswerAndForward(const TBusMessageSPtr& message, const char* logName,
                          void (IIMHandler::*operation)(const TBusMessageSPtr&));
    void OnDelete(const TBusMessageSPtr& message);
    // The handler; a missing one is a broken precondition of the assembly.
    IIMHandler* Handler() const;

    IIMHandler* m_pMessageHandler = nullptr;
};
