#pragma once
// Test support: a private dbus-daemon for the lifetime of the object, and a main-loop runner that waits
// for a condition with a deadline.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

namespace TestSupport
{
class CPrivateBus
{
public:
    // Starts `dbus-daemon --session` on a fresh address; Address() is empty if it did not come up.
    CPrivateBus()
    {
        const gchar* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address", nullptr};
        gint out = -1;
        GError* error = nullptr;
        if (!g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(argv), nullptr,
                                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                                      nullptr, &m_pid, nullptr, &out, nullptr, &error))
        {
            ADD_FAILURE() << "cannot start dbus-daemon: " << error->message;
            g_error_free(error);
            return;
        }
        m_address = ReadLine(out, std::chrono::seconds(10));
        close(out);
        if (m_address.empty())
        {
            ADD_FAILURE() << "dbus-daemon printed no address";
        }
    }

    ~CPrivateBus()
    {
        if (m_pid > 0)
        {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            g_spawn_close_pid(m_pid);
        }
    }

    CPrivateBus(const CPrivateBus&) = delete;
    CPrivateBus& operator=(const CPrivateBus&) = delete;

    const std::string& Address() const { return m_address; }

private:
    static std::string ReadLine(int fd, std::chrono::milliseconds timeout)
    {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline)
        {
            pollfd readable{fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (poll(&readable, 1, static_cast<int>(left.count()) + 1) <= 0)
            {
                break;
            }
            char c = 0;
            if (read(fd, &c, 1) != 1)
            {
                break;
            }
            if (c == '\n')
            {
                return line;
            }
            line += c;
        }
        return "";
    }

    GPid m_pid = 0;
    std::string m_address;
};

// Runs the default main context until `done` holds or `timeoutMs` has passed; returns `done()`.
// `done` is looked at again at least every 10 ms: what another thread changes (a simulator's event
// log) wakes no source of the loop.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    bool expired = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(timeoutMs),
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &expired);
    const guint tick = g_timeout_add(10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && !expired)
    {
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
    if (!expired)
    {
        g_source_remove(timer);
    }
    return done();
}

// Points TESK_PRIVATE_BUS_ADDRESS and TESK_PUBLIC_BUS_ADDRESS at test buses while it lives.
class CBusEnvironment
{
public:
    CBusEnvironment(const std::string& privateAddress, const std::string& publicAddress)
    {
        setenv("TESK_PRIVATE_BUS_ADDRESS", privateAddress.c_str(), 1);
        setenv("TESK_PUBLIC_BUS_ADDRESS", publicAddress.c_str(), 1);
    }
    ~CBusEnvironment()
    {
        unsetenv("TESK_PRIVATE_BUS_ADDRESS");
        unsetenv("TESK_PUBLIC_BUS_ADDRESS");
    }
};
} // namespace TestSupport
