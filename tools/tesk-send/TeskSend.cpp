#include "TeskSend.h"

#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusReply.h"

#include <glib-unix.h>
#include <json-c/json.h>

#include <csignal>
#include <cstdio>

int CTeskSend::Run()
{
    std::string error;
    m_bus = CBusConnection::Open(CBusConnection::AddressOf(m_options.publicBus ? BUS_PUBLIC : BUS_PRIVATE), &error);
    if (!m_bus)
    {
        fprintf(stderr, "tesk-send: cannot connect to the bus: %s\n", error.c_str());
        return EXIT_NO_REPLY;
    }
    const TBusReplies replies = m_options.count == 1 ? BUS_ONE_REPLY : BUS_MANY_REPLIES;
    m_serial = m_bus->Call(m_options.uri, m_options.payload, replies, [this](const CBusReply& reply) { OnReply(reply); }, &error);
    if (m_serial == 0)
    {
        fprintf(stderr, "tesk-send: %s\n", error.c_str());
        return EXIT_NO_REPLY;
    }
    m_loop = g_main_loop_new(nullptr, FALSE);
    guint timer = 0;
    if (m_options.timeout > 0)
    {
        timer = g_timeout_add(static_cast<guint>(m_options.timeout * 1000), &CTeskSend::Stop, this);
    }
    const guint interrupt = g_unix_signal_add(SIGINT, &CTeskSend::Stop, this);
    const guint terminate = g_unix_signal_add(SIGTERM, &CTeskSend::Stop, this);
    g_main_loop_run(m_loop);
    for (guint source : {timer, interrupt, terminate})
    {
        if (source != 0 && g_main_context_find_source_by_id(nullptr, source) != nullptr)
        {
            g_source_remove(source);
        }
    }
    g_main_loop_unref(m_loop);
    m_bus->CancelCall(m_serial); // ends a call still open for later replies; nothing for a finished one
    m_bus->Close();

    if (m_busFailure || m_replies == 0)
    {
        return EXIT_NO_REPLY;
    }
    return m_failureReply ? EXIT_FAILURE_REPLY : EXIT_REPLIED;
}

void CTeskSend::OnReply(const CBusReply& reply)
{
    bool failed = false;
    const std::string line = OneLine(reply.Payload(), &failed);
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
    ++m_replies;
    m_failureReply = m_failureReply || failed;
    m_busFailure = reply.IsBusFailure();
    if (m_busFailure || m_replies == m_options.count)
    {
        // Replies already queued behind this one are not handed out once the call is cancelled.
        m_bus->CancelCall(m_serial);
        g_main_loop_quit(m_loop);
    }
}

// The reply re-serialised on one line; a reply that is not JSON is printed as it came, its line
// breaks turned into blanks.
std::string CTeskSend::OneLine(const std::string& payload, bool* failed)
{
    json_object* value = json_tokener_parse(payload.c_str());
    if (value == nullptr)
    {
        std::string line = payload;
        for (char& c : line)
        {
            c = (c == '\n' || c == '\r') ? ' ' : c;
        }
        return line;
    }
    json_object* returnValue = nullptr;
    *failed = json_object_object_get_ex(value, "returnValue", &returnValue) && json_object_is_type(returnValue, json_type_boolean) &&
              !json_object_get_boolean(returnValue);
    std::string line = json_object_to_json_string_ext(value, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
    json_object_put(value);
    return line;
}

gboolean CTeskSend::Stop(gpointer data)
{
    g_main_loop_quit(static_cast<CTeskSend*>(data)->m_loop);
    return G_SOURCE_CONTINUE;
}
