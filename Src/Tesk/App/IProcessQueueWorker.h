#pragma once

#include <string>

// Does the work for the keys a CProcessQueue hands over.
class IProcessQueueWorker {
public:
    virtual ~IProcessQueueWorker() = default;
    // Does the work for one key; the key counts as queued until this returns.
    virtual void ProcessItem(std::wstring key) = 0;
    // A queued key was dropped without being processed.
    virtual void ItemRemoved(std::wstring key) = 0;
};
