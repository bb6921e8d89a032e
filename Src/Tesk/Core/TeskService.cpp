#include "Tesk/Core/TeskService.h"

#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/LoggedPayload.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"


using VexlaLib::CUtils;

namespace
{
// A cancellation handler made of a function.
class CCallerGone : public ISubscriptionCancellation
{
public:
    explicit CCallerGone(std::function<void()> gone) : m_gone(std::move(gone)) {}
    void OnCancelSubscription(const TBusMessageSPtr& /*message*/) override { m_gone(); }

private:
    std::function<void()> m_gone;
};

std::string Serialise(const CJSONObject* payload)
{
    std::string text;
    if (payload != nullptr)
    {
        payload->ToString(&text);
    }
    return text;
}
} // namespace

CTeskService::~CTeskService()
{
    for (const std::string& key : m_subscriptionKeys)
    {
        if (m_service)
        {
            m_service->RemoveSubscribers(key);
        }
    }
    m_subscriptionKeys.clear();
    Shutdown();
    m_handle.reset();
    m_service.reset();
    m_serviceHandlePrivate.reset();
    m_cancellationHandlers.clear();
}

bool CTeskService::Register(const char* serviceName, bool usePublicBus)
{
    if (m_registered)
    {
        LogBusError("The service is registered already");
        return false;
    }
    auto service = std::make_unique<CBusService>();
    std::string error;
    if (!service->Register(serviceName, usePublicBus ? BUS_SCOPE_BOTH : BUS_SCOPE_PRIVATE, &error))
    {
        LogBusError(error);
        return false;
    }
    m_service = std::move(service);
    m_handle = m_service->Connection(usePublicBus ? BUS_PUBLIC : BUS_PRIVATE);
    m_serviceHandlePrivate = usePublicBus ? m_service->Connection(BUS_PRIVATE) : nullptr;
    m_registered = true;
    m_service->SetCancelHandler([this](const TBusMessageSPtr& message) { SubscriptionCancelled(message); });
    return true;
}

bool CTeskService::AttachMainLoop(GMainLoop* loop)
{
    if (!m_handle || m_handle->IsClosed())
    {
        LogBusError("No connection to attach to the main loop");
        return false;
    }
    m_mainLoop = loop;
    return true;
}

bool CTeskService::AttachClientToService(const TBusConnectionSPtr& connection)
{
    m_handle = connection;
    return true;
}

void CTeskService::Shutdown()
{
    if (m_registered)
    {
        m_service->Unregister();
        m_registered = false;
    }
}

bool CTeskService::RestrictToPrivateBus(const char* category, const char* method)
{
    if (!m_service)
    {
        return false;
    }
    m_service->RestrictToPrivateBus(category, method);
    return true;
}

bool CTeskService::RegisterCategory(const char* category, const std::vector<CBusMethod>& methods)
{
    std::string error;
    if (!m_service || !m_service->AddCategory(category, methods, &error))
    {
        if (std::string(category) == "/")
        {
            VexlaLib::LogError() << "Failed to register root category." << std::endl;
        }
        LogBusError(m_service ? error : "The service is not registered");
        return false;
    }
    return true;
}

bool CTeskService::ExecuteClientCall(const std::wstring& uri, const std::wstring& payload, TBusReplyHandler callback)
{
    return Call(m_handle, "Executing client call: ", uri, payload, BUS_MANY_REPLIES, std::move(callback));
}

bool CTeskService::ExecuteClientCallOneReply(const std::wstring& uri, const std::wstring& payload, TBusReplyHandler callback)
{
    return Call(m_handle, "Executing client call one reply: ", uri, payload, BUS_ONE_REPLY, std::move(callback));
}

bool CTeskService::ExecuteClientCallPrivate(const std::wstring& uri, const std::wstring& payload, TBusReplyHandler callback)
{
    return Call(m_serviceHandlePrivate, "Executing client call over private bus: ", uri, payload, BUS_ONE_REPLY,
                std::move(callback));
}

bool CTeskService::Call(const TBusConnectionSPtr& connection, const char* logText, const std::wstring& uri,
                        const std::wstring& payload, TBusReplies replies, TBusReplyHandler callback)
{
    VexlaLib::CLogStream log = VexlaLib::LogInfo();
    if (log.IsEnabled())
    {
        log << logText << uri << L" " << CLoggedPayload::Redact(payload) << std::endl;
    }
    if (!connection)
    {
        LogBusError("No connection to call on");
        return false;
    }
    std::string error;
    if (connection->Call(CUtils::ConvertWideToChar(uri), CUtils::ConvertWideToChar(payload), replies, std::move(callback),
                         &error) == 0)
    {
        LogBusError(error);
        return false;
    }
    return true;
}

void CTeskService::CancelClientCall(const CBusReply& reply)
{
    if (m_handle)
    {
        m_handle->CancelCall(reply.Serial());
    }
}

bool CTeskService::SendReply(const TBusMessageSPtr& message, const CJSONObject* reply)
{
    std::string error;
    if (!message->Respond(Serialise(reply), &error))
    {
        LogBusError(error);
        return false;
    }
    return true;
}

bool CTeskService::SendSuccessResponse(const TBusMessageSPtr& message)
{
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    return SendReply(message, &reply);
}

bool CTeskService::SendErrorResponse(const TBusMessageSPtr& message, int errorCode, const std::wstring& errorText)
{
    CJSONObject reply;
    reply.SetBool("returnValue", false);
    reply.SetInt("errorCode", errorCode);
    reply.SetString("errorText", errorText);
    return SendReply(message, &reply);
}

bool CTeskService::SendErrorResponse(const TBusMessageSPtr& message, const std::wstring& errorCode,
                                     const std::wstring& errorText)
{
    CJSONObject reply;
    reply.SetBool("returnValue", false);
    reply.SetString("errorCode", errorCode);
    reply.SetString("errorText", errorText);
    return SendReply(message, &reply);
}

bool CTeskService::CheckError(const CJSONObject& reply, std::wstring* errorCode, std::wstring* errorText)
{
    if (errorCode == nullptr || errorText == nullptr)
    {
        return true;
    }
    reply.GetString("errorCode", errorCode);
    reply.GetString("errorText", errorText);
    return !errorCode->empty() || !errorText->empty();
}

bool CTeskService::StartSubscription(const TBusMessageSPtr& message)
{
    const std::string key = message->Method();
    VexlaLib::LogInfo() << "CTeskService::StartSubscription for token = " << message->Token() << ", method = "
                        << message->Method() << ", key = " << key << std::endl;
    if (!m_service)
    {
        VexlaLib::LogError() << "CTeskService::StartSubscription failed." << std::endl;
        LogBusError("The service is not registered");
        return false;
    }
    m_subscriptionKeys.insert(key);
    m_service->Subscribe(key, message);
    return true;
}

bool CTeskService::SubscriptionReply(const char* key, const CJSONObject* payload)
{
    VexlaLib::LogInfo() << "CTeskService::SubscriptionReply, key = " << key << std::endl;
    if (!m_service)
    {
        LogBusError("The service is not registered");
        return false;
    }
    std::string error;
    if (!m_service->ReplyToSubscribers(key, Serialise(payload), &error))
    {
        LogBusError(error);
        return false;
    }
    return true;
}

void CTeskService::AddSubscriptionCancellationHandler(const TBusMessageSPtr& message, TSubscriptionCancellationSPtr handler)
{
    m_cancellationHandlers[message->Token()] = std::move(handler);
}

void CTeskService::SubscriptionCancelled(const TBusMessageSPtr& message)
{
    auto it = m_cancellationHandlers.find(message->Token());
    if (it == m_cancellationHandlers.end())
    {
        return;
    }
    TSubscriptionCancellationSPtr handler = it->second;
    handler->OnCancelSubscription(message);
    m_cancellationHandlers.erase(message->Token());
}

void CTeskService::WatchCaller(const TBusMessageSPtr& message, std::function<void()> gone)
{
    AddSubscriptionCancellationHandler(message, std::make_shared<CCallerGone>(std::move(gone)));
}

void CTeskService::StopWatchingCaller(const TBusMessageSPtr& message)
{
    m_cancellationHandlers.erase(message->Token());
}

void CTeskService::EndCallerSubscriptions(const char* key, const TBusMessageSPtr& message)
{
    if (m_service)
    {
        m_service->UnsubscribeCaller(key, message->Sender(), message->Connection());
    }
}

void CTeskService::LogBusError(const std::string& error)
{
    VexlaLib::LogError() << "Bus error: " << CUtils::ConvertCharToWide(error) << std::endl;
}
