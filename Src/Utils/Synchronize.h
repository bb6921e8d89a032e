#pragma once

#include "Utils/Lock.h"

namespace VexlaLib {

// Holds a CLock for the lifetime of the guard.
class CSynchronize {
public:
    explicit CSynchronize(CLock* lock) : m_lock(lock) { m_lock->Lock(); }
    ~CSynchronize() { m_lock->Unlock(); }

    CSynchronize(const CSynchronize&) = delete;
    CSynchronize& operator=(const CSynchronize&) = delete;

private:
    CLock* m_lock;
};

}  // namespace VexlaLib
