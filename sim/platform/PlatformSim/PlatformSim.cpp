#include "PlatformSim/PlatformSim.h"

namespace PlatformSim
{
CPlatformSim::CPlatformSim(const CSimOptions& options)
    : m_options(options),
      m_events(m_bus),
      m_db("com.nylo.db", m_bus, m_events),
      m_tempdb("com.nylo.tempdb", m_bus, m_events),
      m_connection(m_bus, m_events),
      m_telephony(m_bus, m_events, m_connection, options.powerDownTimeoutMs),
      m_activities(m_bus, m_events, m_connection, options.retryIntervalMs),
      m_accounts(m_bus, m_events, m_activities),
      m_applications(m_bus, m_events),
      m_display(m_bus),
      m_control(m_bus, {m_db, m_tempdb, m_connection, m_telephony, m_activities, m_accounts, m_applications, m_display,
                        m_events})
{
    m_connection.SetChangeListener([this] { m_activities.OnConnectionChanged(); });
}

bool CPlatformSim::Start(std::string* error)
{
    return m_db.Open(m_options.dbPath, error) && m_tempdb.Open(":memory:", error) && m_bus.Connect(error);
}

void CPlatformSim::Stop()
{
    m_bus.Disconnect();
}
} // namespace PlatformSim
