#pragma once
// platform-sim's services inside the test process, on the buses TESK_*_BUS_ADDRESS name, with their
// database in a fresh temporary directory that goes with the object.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "PlatformSim/PlatformSim.h"

namespace TestSupport
{
class CTempPlatformSim
{
public:
    CTempPlatformSim() = default;
    ~CTempPlatformSim() { Stop(); }
    CTempPlatformSim(const CTempPlatformSim&) = delete;
    CTempPlatformSim& operator=(const CTempPlatformSim&) = delete;

    // Owns every platform name; fails when one is taken or the database cannot be opened.
    bool Start(std::string* error)
    {
        char directory[] = "/tmp/vexla-platform-XXXXXX";
        if (mkdtemp(directory) == nullptr)
        {
            *error = "cannot create a temporary directory";
            return false;
        }
        m_directory = directory;
        PlatformSim::CSimOptions options;
        options.dbPath = m_directory + "/platform.db";
        m_platform.reset(new PlatformSim::CPlatformSim(options));
        return m_platform->Start(error);
    }

    void Stop()
    {
        if (m_platform)
        {
            m_platform->Stop();
            m_platform.reset();
        }
        if (!m_directory.empty())
        {
            unlink((m_directory + "/platform.db").c_str());
            rmdir(m_directory.c_str());
            m_directory.clear();
        }
    }

private:
    std::string m_directory;
    std::unique_ptr<PlatformSim::CPlatformSim> m_platform;
};
} // namespace TestSupport
