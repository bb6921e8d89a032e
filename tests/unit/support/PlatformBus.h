#pragma once
// A private bus that this process's bus clients find as both buses, with platform-sim's services on it
// once StartPlatform has run.

#include <gtest/gtest.h>

#include <string>

#include "support/PrivateBus.h"
#include "support/TempPlatformSim.h"

namespace TestSupport
{
class CPlatformBus
{
public:
    CPlatformBus() : m_environment(m_bus.Address(), m_bus.Address()) {}

    // Starts platform-sim's services; false, with a test failure, when the bus did not come up or a
    // service did not start.
    bool StartPlatform()
    {
        if (m_bus.Address().empty())
        {
            ADD_FAILURE() << "no private bus";
            return false;
        }
        std::string error;
        const bool started = m_platform.Start(&error);
        EXPECT_TRUE(started) << error;
        return started;
    }
    void StopPlatform() { m_platform.Stop(); }

    const std::string& Address() const { return m_bus.Address(); }

private:
    CPrivateBus m_bus;
    CBusEnvironment m_environment;
    CTempPlatformSim m_platform;
};
} // namespace TestSupport
