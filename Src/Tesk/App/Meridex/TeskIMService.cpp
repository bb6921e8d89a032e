#include "Tesk/App/Meridex/TeskIMService.h"

#include <cassert>

#include "Tesk/App/Meridex/IIMHandler.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

bool CTeskIMService::Register(const char* serviceName, bool usePublicBus)
{
    if (!CTeskService::Register(serviceName, usePublicBus))
        return false;
    using TOperation = void (IIMHandler::*)(const TBusMessageSPtr&);
    auto forward = [this](const char* method, const char* logName, TOperation operation) {
        return CBusMethod{method, [this, logName, operation](const TBusMessageSPtr& message) {
                              AnswerAndForward(message, logName, operation);
                          }};
    };
    return RegisterCategory(
        "/", {{"onDelete", [this](const TBusMessageSPtr& message) { OnDelete(message); }},
              forward("keepAlive", nullptr, &IIMHandler::keepAlive),
              forward("loginStateChanged", "loginStateChanged", &IIMHandler::loginStateChanged),
              forward("availabilityChanged", "availabilityChanged", &IIMHandler::availabilityChanged),
              forward("customMessageChanged", "customMessageChanged", &IIMHandler::customMessageChanged),
              forward("immessageChanged", "immessageChanged", &IIMHandler::immessageChanged),
              forward("imcommandChanged", "imcommandChanged", &IIMHandler::imcommandChanged),
              forward("connectionManagerStatusChanged", nullptr, &IIMHandler::connectionManagerStatusChanged),
              forward("networkStatusQueryChanged", nullptr, &IIMHandler::networkStatusQueryChanged)});
}

IIMHandler* CTeskIMService::Handler() const
{
    if (m_pMessageHandler == nullptr)
        VexlaLib::LogError() << "No message handler registered in CTeskIMService" << std::endl;
    assert(m_pMessageHandler != nullptr && "No message handler registered in CTeskIMService");
    return m_pMessageHandler;
}

void CTeskIMService::AnswerAndForward(const TBusMessageSPtr& message, const char* logName,
                                      void (IIMHandler::*operation)(const TBusMessageSPtr&))
{
    SendSuccessResponse(message);
    if (logName != nullptr)
        VexlaLib::LogInfo() << "CTeskIMService::" << logName << " args = " << message->Payload() << std::endl;
    if (IIMHandler* handler = Handler())
        (handler->*operation)(message);
}

void CTeskIMService::OnDelete(const TBusMessageSPtr& message)
{
    std::wstring accountId;
    // Deleting wipes every record of the account: a request that names no account deletes nothing.
    if (!CJSONObject(message->Payload().c_str()).GetString("accountId", &accountId) || accountId.empty()) {
        VexlaLib::LogWarning() << "CTeskIMService::onDelete without an accountId, refused: " << message->Payload()
                               << std::endl;
        SendErrorResponse(message, std::wstring(L"VexlaRequiredDataMissing"),
                          L"The function requires that accountId is set.");
        return;
    }
    if (IIMHandler* handler = Handler())
        handler->onDelete(message, accountId);
}
