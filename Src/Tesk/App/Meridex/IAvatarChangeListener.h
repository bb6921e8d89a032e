#pragma once

#include <string>

// Hears that the cached picture of a buddy was written, replaced or deleted.
class IAvatarChangeListener {
public:
    virtual ~IAvatarChangeListener() = default;
    virtual void OnAvatarChanged(std::wstring vexlaName, int crc) = 0;
};
