#pragma once

#include "Network/INetListener.h"
#include "Public/IConnectionListener.h"

// vexla-cli has no phone around it: every connection may use any local address.
class CCliConnectionListener : public VexlaLib::IConnectionListener {
public:
    int OnInterfaceRequest(std::wstring* address) override
    {
        address->clear();
        return VexlaLib::INTERFACE_READY;
    }
};
