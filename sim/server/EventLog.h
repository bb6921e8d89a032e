#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "Json.h"

namespace ServerSim {

// Everything the simulator saw and did, in order: accepted and closed connections, every packet
// received and sent, dropped frames. Each event is a JSON object with a sequence number "seq";
// readers ask for the events from a sequence number on, or wait for one that matches a filter.
class CEventLog {
public:
    typedef std::chrono::steady_clock::time_point TDeadline;

    CEventLog();

    // Adds "seq" to the event, stores it and wakes every waiter; returns the sequence number.
    size_t Append(TJsonPtr event);

    // The events with a sequence number of at least since, each as one line of JSON.
    std::vector<std::string> Since(size_t since) const;
    size_t Size() const;

    // The first event from since on whose members equal every member of filter (compared as JSON
    // text); waits for it until the deadline. Empty string when none arrived in time or on Stop.
    std::string WaitFor(size_t since, json_object* filter, TDeadline deadline) const;

    // Waits until there are events beyond since, the deadline passes or Stop is called; returns them.
    std::vector<std::string> WaitNew(size_t since, TDeadline deadline) const;

    // Ends every wait (shutdown).
    void Stop();

private:
    static bool Matches(json_object* event, json_object* filter);

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<TJsonPtr> m_events;
    std::vector<std::string> m_lines;
    bool m_stopped;
};

}  // namespace ServerSim
