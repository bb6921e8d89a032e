#include "Utils/Lock.h"

namespace VexlaLib {

CLock::CLock() { pthread_mutex_init(&m_mutex, nullptr); }

CLock::~CLock() { pthread_mutex_destroy(&m_mutex); }

void CLock::Lock() { pthread_mutex_lock(&m_mutex); }

void CLock::Unlock() { pthread_mutex_unlock(&m_mutex); }

}  // namespace VexlaLib
