#pragma once
// One tesk-send run: makes the call, prints each reply as one JSON line on standard output and
// works out the exit status.

#include "TeskSendOptions.h"

#include "Tesk/Core/BusTypes.h"

#include <glib.h>

#include <cstdint>
#include <string>

class CBusReply;

class CTeskSend
{
public:
    enum TExitStatus { EXIT_REPLIED = 0, EXIT_FAILURE_REPLY = 1, EXIT_NO_REPLY = 2 };

    explicit CTeskSend(const CTeskSendOptions& options) : m_options(options) {}

    // Runs a main loop until the replies are in, the time-out passes, a bus failure arrives or
    // SIGINT/SIGTERM comes; returns the exit status.
    int Run();

private:
    void OnReply(const CBusReply& reply);
    static std::string OneLine(const std::string& payload, bool* failed);
    static gboolean Stop(gpointer data);

    CTeskSendOptions m_options;
    TBusConnectionSPtr m_bus;
    uint32_t m_serial = 0;
    GMainLoop* m_loop = nullptr;
    int m_replies = 0;
    bool m_failureReply = false;
    bool m_busFailure = false;
};
