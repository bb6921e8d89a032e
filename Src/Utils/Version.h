#pragma once

namespace VexlaLib {

// Version of the library and of the programs built on it, set by the build.
inline const char* Version() { return VEXLA_VERSION; }

}  // namespace VexlaLib
