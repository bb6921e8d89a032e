#include "Tesk/Daemon/DaemonAssembly.h"

#include <string>
#include <vector>

#include "Public/VexlaLib.h"
#include "Tesk/App/DaemonOptions.h"
#include "Tesk/App/DebugSettings.h"
#include "Tesk/App/DisplayEventHandler.h"
#include "Tesk/App/DisplayServiceClient.h"
#include "Tesk/App/Meridex/AvatarCache.h"
#include "Tesk/App/Meridex/CallHandler.h"
#include "Tesk/App/Meridex/ContactSyncHandler.h"
#include "Tesk/App/Meridex/IMHandler.h"
#include "Tesk/App/Meridex/TeskCallService.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/Daemon/VexlaServiceApplication.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/App/UIBusExposure.h"
#include "Tesk/App/VexlaUIService.h"
#include "Tesk/Core/SystemRequest.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LogStream.h"
#include "Utils/PersistentFileStorage.h"
#include "Utils/Properties.h"
#include "Utils/Utils.h"

using VexlaLib::CUtils;

namespace {

const wchar_t kPlatformId[] = L"2017/1.0.0.0";
const char kCallServiceName[] = "com.vexla.call";
const char kIMServiceName[] = "com.vexla.im";
const char kUIServiceName[] = "com.vexla.ui";

}  // namespace

bool CDaemonAssembly::Assemble(GMainLoop* mainLoop, const CDaemonOptions& options)
{
    // The store file is another daemon's until this one has started: a start-up that fails leaves it alone.
    m_store = new VexlaLib::CPersistentFileStorage(CUtils::ConvertCharToWide(options.GetDataDir() + "/vexla.dat"),
                                                   VexlaLib::CPersistentFileStorage::WRITE_ONCE_STARTED);
    m_store->Initialize();

    // The phone-side and messaging endpoints own their names; their methods come with their handlers.
    m_callService = new CTeskCallService();
    m_imService = new CTeskIMService();
    const bool servicesOk = CVexlaServiceApplication::StartService(m_callService, kCallServiceName, mainLoop, false) &&
                            CVexlaServiceApplication::StartService(m_imService, kIMServiceName, mainLoop, false);

    m_session = new CVexlaSession(m_store, mainLoop, m_imService);
    CVexlaServiceApplication::pVexlaSession = m_session;
    m_session->GetLibrary()->SetProperty(VexlaLib::CProperties::PLATFORMID, kPlatformId);
    ApplySettingsFile(options);

    m_displayClient = new CDisplayServiceClient();
    if (!m_displayClient->AttachClientToService(m_imService->PublicConnection())) {
        VexlaLib::LogError() << "Failed to start clients." << std::endl;
        return false;
    }

    m_avatarCache = new CAvatarCache(CUtils::ConvertCharToWide(options.GetDataDir() + "/avatars/cache"),
                                     m_session->GetLibrary());
    if (!m_avatarCache->Initialize()) {
        VexlaLib::LogError() << "Failed to initialize avatar cache." << std::endl;
        return false;
    }

    m_callHandler = new CCallHandler(m_session, m_callService);
    m_displayHandler = new CDisplayEventHandler(m_session, m_displayClient);
    m_imHandler = new CIMHandler(m_session, m_imService);
    m_contactSyncHandler = new CContactSyncHandler(m_session, m_imService, m_avatarCache);
    m_avatarCache->AddListener(m_contactSyncHandler);
    m_displayHandler->Start();

    CIMHandler* imHandler = m_imHandler;
    m_uiService = new CVexlaUIService(m_session, [imHandler](const std::wstring& user, const std::wstring& accountId,
                                                             const std::wstring& loginStateId,
                                                             const std::wstring& mood, int availability) {
        imHandler->OnLoginSuccess_setup(user, accountId, loginStateId, mood, availability);
    });

    if (!servicesOk || !CVexlaServiceApplication::StartService(m_uiService, kUIServiceName, mainLoop, true) ||
        !CUIBusExposure::Apply(m_uiService, options.GetFrameworkOnPublicBus())) {
        VexlaLib::LogError() << "Failed to start services." << std::endl;
        return false;
    }
    m_store->StartWriting();

    // vexlavm:// links open the phone application; nothing waits for the answer.
    const CPlatformRequest redirect = CSystemRequest::AddRedirectHandler(L"com.nylo.app.phone", L"vexlavm://", true);
    m_imService->ExecuteClientCallOneReply(redirect.uri, redirect.Payload(), nullptr);
    return true;
}

std::vector<std::pair<std::string, CTeskService*>> CDaemonAssembly::Services() const
{
    std::vector<std::pair<std::string, CTeskService*>> services;
    if (m_callService != nullptr)
        services.emplace_back(kCallServiceName, m_callService);
    if (m_imService != nullptr)
        services.emplace_back(kIMServiceName, m_imService);
    if (m_uiService != nullptr)
        services.emplace_back(kUIServiceName, m_uiService);
    return services;
}

void CDaemonAssembly::ApplySettingsFile(const CDaemonOptions& options)
{
    if (options.GetSettingsFile().empty())
        return;
    std::vector<CDebugSettings::TSetting> settings;
    if (!CDebugSettings::Load(options.GetSettingsFile(), &settings)) {
        VexlaLib::LogError() << "Cannot read the settings file " << options.GetSettingsFile() << std::endl;
        return;
    }
    VexlaLib::CVexlaLib* library = m_session->GetLibrary();
    CDebugSettings::Apply(settings, [library](const std::wstring& key, const std::wstring& value) {
        library->SetProperty(key, value);
    });
}

void CDaemonAssembly::TearDown()
{
    if (m_avatarCache != nullptr)
        m_avatarCache->RemoveListener(m_contactSyncHandler);
    if (m_displayHandler != nullptr)
        m_displayHandler->Stop();
    if (m_callService != nullptr)
        m_callService->SetCallHandler(nullptr);
    if (m_imService != nullptr)
        m_imService->SetMessageHandler(nullptr);

    delete m_contactSyncHandler;
    m_contactSyncHandler = nullptr;
    delete m_imHandler;
    m_imHandler = nullptr;
    delete m_avatarCache;
    m_avatarCache = nullptr;
    delete m_displayHandler;
    m_displayHandler = nullptr;
    delete m_callHandler;
    m_callHandler = nullptr;
    delete m_uiService;
    m_uiService = nullptr;
    delete m_callService;
    m_callService = nullptr;
    delete m_imService;
    m_imService = nullptr;
    // The quit handler must not reach the session while it is being destroyed.
    CVexlaServiceApplication::pVexlaSession = nullptr;
    delete m_session;
    m_session = nullptr;
    delete m_displayClient;
    m_displayClient = nullptr;

    if (m_store != nullptr)
        m_store->Terminate();
    delete m_store;
    m_store = nullptr;
}
