#pragma once
// Hands the messages that the bus layer handles itself from GDBus's worker thread to the main context,
// in the order they arrived: incoming Tesk method calls, Reply signals, NameOwnerChanged signals of
// callers leaving, and the method returns and errors of our own calls. Those returns are matched to
// their calls here rather than by GDBus, so no GDBus call time-out ever applies to them.
//
// The inbox outlives its owner safely: the connection's filter keeps a reference until the connection
// is finalised, and Detach stops all further dispatching.

#include <gio/gio.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

class CBusInbox : public std::enable_shared_from_this<CBusInbox>
{
public:
    using TDispatch = std::function<void(GDBusMessage* message)>;

    // Messages are dispatched in the thread-default main context of the thread that creates the inbox.
    CBusInbox();
    ~CBusInbox();
    CBusInbox(const CBusInbox&) = delete;
    CBusInbox& operator=(const CBusInbox&) = delete;

    // Installs the filter on `connection`; from then on `dispatch` receives each message in the main context.
    void Attach(GDBusConnection* connection, TDispatch dispatch);
    // Stops dispatching and drops whatever is still queued.
    void Detach();

    // Sends a method call whose return or error this inbox is to catch; returns its serial or 0.
    uint32_t SendCall(GDBusConnection* connection, GDBusMessage* call, GError** error);
    // Stops waiting for the return of `serial` (the call was cancelled before it).
    void Forget(uint32_t serial);

private:
    static GDBusMessage* Filter(GDBusConnection* connection, GDBusMessage* message, gboolean incoming, gpointer data);
    static gboolean Drain(gpointer data);

    // Worker thread, with m_lock held: whether the inbox takes `message`, and whether GDBus may see it too.
    bool Wants(GDBusMessage* message, bool* alsoForGDBus);
    void ScheduleDrain();

    GMainContext* m_context;
    std::mutex m_lock;
    bool m_attached = false;
    std::deque<GDBusMessage*> m_queue;
    std::set<uint32_t> m_awaitedReplies;
    GSource* m_drainSource = nullptr;
    TDispatch m_dispatch;
};
