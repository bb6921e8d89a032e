#include "Tesk/App/Meridex/TeskCallService.h"

#include <cassert>

#include "Tesk/App/Meridex/ICallHandler.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

bool CTeskCallService::Register(const char* serviceName, bool usePublicBus)
{
    if (!CTeskService::Register(serviceName, usePublicBus))
        return false;
    auto method = [this](const char* name, void (CTeskCallService::*operation)(const TBusMessageSPtr&)) {
        return CBusMethod{name, [this, operation](const TBusMessageSPtr& message) { (this->*operation)(message); }};
    };
    return RegisterCategory("/", {method("callUsingGateway", &CTeskCallService::CallUsingGateway),
                                  method("incomingContactTranslate", &CTeskCallService::IncomingContactTranslate),
                                  method("incomingGatewayQuery", &CTeskCallService::IncomingGatewayQuery),
                                  method("callCapabilitiesQuery", &CTeskCallService::CallCapabilitiesQuery),
                                  method("rateQuery", &CTeskCallService::RateQuery),
                                  method("balanceQuery", &CTeskCallService::BalanceQuery)});
}

ICallHandler* CTeskCallService::Handler() const
{
    if (m_pCallHandler == nullptr)
        VexlaLib::LogError() << "No message handler registered in CTeskCallService" << std::endl;
    assert(m_pCallHandler != nullptr && "No message handler registered in CTeskCallService");
    return m_pCallHandler;
}

void CTeskCallService::CallUsingGateway(const TBusMessageSPtr& message)
{
    const CJSONObject payload(message->Payload().c_str());
    std::wstring to;
    bool isPhone = false;
    payload.GetString("to", &to);
    payload.GetBool("isPhone", &isPhone);
    if (ICallHandler* handler = Handler())
        handler->CallUsingGateway(message, to, isPhone);
}

void CTeskCallService::IncomingContactTranslate(const TBusMessageSPtr& message)
{
    // "cnap", "uui" and "accountId" come along; the caller is known by its caller id alone.
    std::wstring clid;
    CJSONObject(message->Payload().c_str()).GetString("clid", &clid);
    if (ICallHandler* handler = Handler())
        handler->IncomingContactTranslate(message, clid);
}

void CTeskCallService::IncomingGatewayQuery(const TBusMessageSPtr& message)
{
    const CJSONObject payload(message->Payload().c_str());
    std::wstring accountId;
    bool subscribe = false;
    payload.GetString("accountId", &accountId);
    payload.GetBool("subscribe", &subscribe);
    ICallHandler* handler = Handler();
    if (handler == nullptr)
        return;
    if (subscribe) {
        StartSubscription(message);
        handler->IncomingGatewayQueryStart(message, accountId);
    } else {
        handler->IncomingGatewayQueryStop(message, accountId);
    }
}

void CTeskCallService::CallCapabilitiesQuery(const TBusMessageSPtr& message)
{
    CJSONArray callTypes;
    callTypes.AddString("domestic");
    callTypes.AddString("international");
    callTypes.AddString("service");
    CJSONArray networks;
    networks.AddString("circuit");
    CJSONObject reply;
    reply.SetArray("callTypes", callTypes);
    reply.SetArray("networks", networks);
    reply.SetBool("returnValue", true);
    SendReply(message, &reply);
}

void CTeskCallService::RateQuery(const TBusMessageSPtr& message)
{
    SendErrorResponse(message, L"100", L"Information not available");
}

void CTeskCallService::BalanceQuery(const TBusMessageSPtr& message)
{
    if (ICallHandler* handler = Handler())
        handler->BalanceQuery(message);
}
