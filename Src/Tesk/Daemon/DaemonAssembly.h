#pragma once

#include <glib.h>

#include <string>
#include <utility>
#include <vector>

namespace VexlaLib {
class CPersistentFileStorage;
}
class CAvatarCache;
class CCallHandler;
class CContactSyncHandler;
class CDaemonOptions;
class CDisplayEventHandler;
class CDisplayServiceClient;
class CIMHandler;
class CTeskCallService;
class CTeskIMService;
class CTeskService;
class CVexlaSession;
class CVexlaUIService;

// Builds the long-lived objects of the daemon on the main loop before it runs, and tears them down
// after it has returned, each in a fixed order.
class CDaemonAssembly {
public:
    CDaemonAssembly() = default;
    // Tears down whatever is still built (after a failed start-up, everything that was).
    virtual ~CDaemonAssembly() { TearDown(); }

    CDaemonAssembly(const CDaemonAssembly&) = delete;
    CDaemonAssembly& operator=(const CDaemonAssembly&) = delete;

    // Returns false when start-up must fail; what was built then stays alive until the assembly goes.
    bool Assemble(GMainLoop* mainLoop, const CDaemonOptions& options);
    // Deletes everything built, in a fixed order; nothing when nothing is built.
    void TearDown();

    CVexlaSession* Session() const { return m_session; }
    // The bus services built so far with their names, for driving their handlers in-process.
    std::vector<std::pair<std::string, CTeskService*>> Services() const;

private:
    // The settings file of --settings, applied to the library after the daemon's own properties.
    void ApplySettingsFile(const CDaemonOptions& options);

    VexlaLib::CPersistentFileStorage* m_store = nullptr;
    CTeskCallService* m_callService = nullptr;
    CTeskIMService* m_imService = nullptr;
    CVexlaSession* m_session = nullptr;
    CDisplayServiceClient* m_displayClient = nullptr;
    CCallHandler* m_callHandler = nullptr;
    CDisplayEventHandler* m_displayHandler = nullptr;
    CAvatarCache* m_avatarCache = nullptr;
    CIMHandler* m_imHandler = nullptr;
    CContactSyncHandler* m_contactSyncHandler = nullptr;
    CVexlaUIService* m_uiService = nullptr;
};
