#pragma once

#include <string>

namespace FuzzSupport {

// A private directory for the process's files, in memory (/dev/shm) when that exists so that writing
// and syncing files per input stays cheap; removed with its contents at exit.
const std::string& ScratchDir();

}  // namespace FuzzSupport
