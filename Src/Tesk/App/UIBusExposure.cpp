#include "Tesk/App/UIBusExposure.h"

#include "Tesk/Core/TeskService.h"

const std::vector<const char*>& CUIBusExposure::FrameworkMethods()
{
    static const std::vector<const char*> methods = {"onEnabled", "updateCredentials", "onCredentialsChanged"};
    return methods;
}

bool CUIBusExposure::Apply(CTeskService* uiService, bool frameworkOnPublicBus)
{
    if (frameworkOnPublicBus)
        return true;
    for (const char* method : FrameworkMethods()) {
        if (!uiService->RestrictToPrivateBus("/", method))
            return false;
    }
    return true;
}
