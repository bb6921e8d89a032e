#include "Utils/CoalescingWriter.h"

namespace VexlaLib {

CCoalescingWriter::CCoalescingWriter(const TWrite& write) : m_write(write) {}

CCoalescingWriter::~CCoalescingWriter()
{
    Stop();
}

void CCoalescingWriter::Start()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_running || m_stopping) {
        return;
    }
    m_running = true;
    m_thread = std::thread(&CCoalescingWriter::Run, this);
}

void CCoalescingWriter::Request()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_requested;
    }
    m_changed.notify_all();
}

bool CCoalescingWriter::Flush()
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (!m_running || m_stopping) {
        return false;
    }
    const unsigned long long ticket = ++m_requested;
    m_changed.notify_all();
    m_changed.wait(guard, [this, ticket] { return m_served >= ticket; });
    return m_lastWriteOk;
}

void CCoalescingWriter::Stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CCoalescingWriter::Run()
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [this] { return m_requested > m_served || m_stopping; });
        if (m_requested == m_served) {
            return;
        }
        const unsigned long long covered = m_requested;
        guard.unlock();
        const bool ok = m_write();
        guard.lock();
        m_served = covered;
        m_lastWriteOk = ok;
        m_changed.notify_all();
    }
}

}  // namespace VexlaLib
