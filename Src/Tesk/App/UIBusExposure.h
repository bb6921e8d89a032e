#pragma once

#include <vector>

class CTeskService;

// Which methods of com.vexla.ui the public bus may call. The Vexla screens are ordinary applications
// and call from either bus; the account framework's callbacks (enabling the account, storing new
// credentials, telling of changed ones) come from the platform on the private bus, so a public-bus
// client cannot sign the account in. A platform whose framework calls over the public bus lets them
// through (vexlad --framework-on-public-bus).
class CUIBusExposure {
public:
    // The methods only the account framework calls.
    static const std::vector<const char*>& FrameworkMethods();

    // Restricts the framework's methods of the registered service to the private bus unless
    // frameworkOnPublicBus; false when the service is not registered.
    static bool Apply(CTeskService* uiService, bool frameworkOnPublicBus);
};
