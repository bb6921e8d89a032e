#pragma once
// The whole simulated platform: every service on one CPlatformBus, wired together (the connection
// unblocks activities and is cut by a power-down; accounts create activities).

#include "PlatformSim/AccountsService.h"
#include "PlatformSim/ActivityManager.h"
#include "PlatformSim/ApplicationManager.h"
#include "PlatformSim/ConnectionManager.h"
#include "PlatformSim/DatabaseService.h"
#include "PlatformSim/DisplayService.h"
#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimControlService.h"
#include "PlatformSim/SimEvents.h"
#include "PlatformSim/SimOptions.h"
#include "PlatformSim/Telephony.h"

#include <string>

namespace PlatformSim
{
class CPlatformSim
{
public:
    explicit CPlatformSim(const CSimOptions& options);

    // Opens the databases and owns every name; fails at once when a name is taken.
    bool Start(std::string* error);
    // Flushes and leaves the buses.
    void Stop();

private:
    const CSimOptions m_options;
    CPlatformBus m_bus;
    CSimEvents m_events;
    CDatabaseService m_db;
    CDatabaseService m_tempdb;
    CConnectionManager m_connection;
    CTelephony m_telephony;
    CActivityManager m_activities;
    CAccountsService m_accounts;
    CApplicationManager m_applications;
    CDisplayService m_display;
    CSimControlService m_control;
};
} // namespace PlatformSim
