#pragma once

namespace FuzzSupport {

// Registers, once per process, a sink on every log category that encodes each message to UTF-8 and
// drops it: the log lines (and the dumps behind them) are built as in the daemon, nothing is printed.
void InstallDiscardingLog();

}  // namespace FuzzSupport
