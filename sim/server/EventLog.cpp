#include "EventLog.h"

#include <cstring>

namespace ServerSim {

CEventLog::CEventLog() : m_stopped(false) {}

size_t CEventLog::Append(TJsonPtr event)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const size_t seq = m_events.size();
    json_object_object_add(event.get(), "seq", json_object_new_int64(static_cast<int64_t>(seq)));
    m_lines.push_back(CJson::ToLine(event.get()));
    m_events.push_back(std::move(event));
    m_changed.notify_all();
    return seq;
}

std::vector<std::string> CEventLog::Since(size_t since) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (since >= m_lines.size()) {
        return {};
    }
    return std::vector<std::string>(m_lines.begin() + static_cast<std::ptrdiff_t>(since), m_lines.end());
}

size_t CEventLog::Size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events.size();
}

std::string CEventLog::WaitFor(size_t since, json_object* filter, TDeadline deadline) const
{
    std::unique_lock<std::mutex> guard(m_lock);
    size_t next = since;
    while (true) {
        for (; next < m_events.size(); ++next) {
            if (Matches(m_events[next].get(), filter)) {
                return m_lines[next];
            }
        }
        if (m_stopped || m_changed.wait_until(guard, deadline) == std::cv_status::timeout) {
            // One last look: an event may have arrived together with the time-out.
            for (; next < m_events.size(); ++next) {
                if (Matches(m_events[next].get(), filter)) {
                    return m_lines[next];
                }
            }
            return std::string();
        }
    }
}

std::vector<std::string> CEventLog::WaitNew(size_t since, TDeadline deadline) const
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait_until(guard, deadline, [&] { return m_stopped || m_events.size() > since; });
    if (since >= m_lines.size()) {
        return {};
    }
    return std::vector<std::string>(m_lines.begin() + static_cast<std::ptrdiff_t>(since), m_lines.end());
}

void CEventLog::Stop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopped = true;
    m_changed.notify_all();
}

bool CEventLog::Matches(json_object* event, json_object* filter)
{
    if (filter == nullptr) {
        return true;
    }
    json_object_object_foreach(filter, key, wanted)
    {
        json_object* actual = CJson::Get(event, key);
        if (actual == nullptr || std::strcmp(json_object_to_json_string_ext(actual, JSON_C_TO_STRING_PLAIN),
                                             json_object_to_json_string_ext(wanted, JSON_C_TO_STRING_PLAIN)) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace ServerSim
