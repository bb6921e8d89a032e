#pragma once

#include <glib.h>

#include <string>

#include "Tesk/Core/BusService.h"

class CMarloRequestHandler;

// The bus side of the store link: owns "com.nylo.marlo" on the public bus and answers each call of
// "devicetokenget" and "purchase" with the one reply the request handler builds. Calls are served one
// after another on the main loop.
class CMarloService
{
public:
    explicit CMarloService(CMarloRequestHandler& handler);
    ~CMarloService();
    CMarloService(const CMarloService&) = delete;
    CMarloService& operator=(const CMarloService&) = delete;

    // Creates the main loop and registers the methods and the name; prints what failed and returns
    // false on failure.
    bool setup_service();

    // Serves calls until SIGTERM or SIGINT quits the main loop.
    void Run();

private:
    void send_reply(const TBusMessageSPtr& message, const std::string& reply);

    CMarloRequestHandler& m_handler;
    GMainLoop* main_loop = nullptr;
    CBusService service_h;
};
