#include "marloservice/MarloService.h"

#include <csignal>
#include <iostream>

#include <glib-unix.h>

#include "Tesk/Core/BusMessage.h"
#include "marloservice/MarloRequestHandler.h"

namespace
{
const char* const service_name = "com.nylo.marlo";

gboolean QuitLoop(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}
}  // namespace

CMarloService::CMarloService(CMarloRequestHandler& handler) : m_handler(handler)
{
}

CMarloService::~CMarloService()
{
    service_h.Unregister();
    if (main_loop != nullptr)
        g_main_loop_unref(main_loop);
}

bool CMarloService::setup_service()
{
    main_loop = g_main_loop_new(nullptr, FALSE);
    const std::vector<CBusMethod> service_methods = {
        {"devicetokenget",
         [this](const TBusMessageSPtr& message) { send_reply(message, m_handler.device_token_get(message->Payload())); }},
        {"purchase", [this](const TBusMessageSPtr& message) { send_reply(message, m_handler.purchase(message->Payload())); }},
    };
    std::string error;
    if (!service_h.AddCategory("/", service_methods, &error))
    {
        std::cerr << error << std::endl;
        std::cout << "Failed to register ipc !" << std::endl;
        return false;
    }
    if (!service_h.Register(service_name, BUS_SCOPE_PUBLIC, &error))
    {
        std::cerr << error << std::endl;
        std::cout << "Failed to register marlo service!" << std::endl;
        return false;
    }
    return true;
}

void CMarloService::Run()
{
    const guint terminate = g_unix_signal_add(SIGTERM, QuitLoop, main_loop);
    const guint interrupt = g_unix_signal_add(SIGINT, QuitLoop, main_loop);
    g_main_loop_run(main_loop);
    g_source_remove(terminate);
    g_source_remove(interrupt);
}

void CMarloService::send_reply(const TBusMessageSPtr& message, const std::string& reply)
{
    std::string error;
    if (!message->Respond(reply, &error))
    {
        std::cerr << error << std::endl;
        std::cout << "Failed to send reply." << std::endl;
    }
}
