// The --settings file: scanned and applied as the daemon does at start-up, then every network
// setting read through its typed view, the way the connection code reads them.

#include <string>

#include "FuzzLog.h"
#include "Network/ConnectionSettings.h"
#include "Tesk/App/DebugSettings.h"
#include "Utils/Properties.h"

using namespace VexlaLib;

namespace {

void ReadEverySetting(CProperties* properties)
{
    CConnectionSettings settings(properties);
    settings.GetServerEnvironment();
    settings.GetUseSDFServer();
    settings.GetDefaultSDFServer();
    settings.GetCurrentProtocolVersion();
    settings.GetPlattformID();
    settings.GetLanguage();
    settings.GetCallMethods();
    settings.GetReconnectPattern();
    settings.GetReadTimeoutDuringHandshake();
    settings.GetWriteTimeoutDuringHandshake();
    settings.GetReadTimeoutNormalOperation();
    settings.GetWriteTimeoutNormalOperation();
    settings.GetRequiredLocalAddress();
    settings.GetAskForRequiredLocalAddress();
    settings.GetPSTN();
    settings.GetDefaultRootServers();
    settings.GetDefaultRootKeyPrimary();
    settings.GetDefaultRootKeyBackup();
    settings.GetDefaultCommonExp();
    settings.GetConstClient();
    settings.GetConstServer();
    settings.GetConstHashKey();
    settings.GetConstUserData();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    CProperties properties;
    properties.Initialize();
    CDebugSettings::Apply(CDebugSettings::Scan(std::string(reinterpret_cast<const char*>(data), size)),
                          [&properties](const std::wstring& key, const std::wstring& value) {
                              properties.SetString(key, value);
                          });
    ReadEverySetting(&properties);
    properties.Terminate();
    return 0;
}
