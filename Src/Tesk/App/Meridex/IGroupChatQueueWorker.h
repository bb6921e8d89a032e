#pragma once

// Carries out the items of a CGroupChatQueue and owns them: each item leaves the queue through exactly
// one of the two operations.
class IGroupChatQueueWorker {
public:
    // The item's turn has come; from here on the worker frees it when its last step finishes.
    virtual void ProcessItem(void* item) = 0;
    // The item left the queue without being processed (the queue went first); frees it.
    virtual void ItemRemoved(void* item) = 0;
    virtual ~IGroupChatQueueWorker() = default;
};
