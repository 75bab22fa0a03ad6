// The library's log: a 32-entry ring of time-stamped GBK lines, each posted to the host's
// information window through the host-supplied post function.
#pragma once

#include <cstdarg>

#include "frame.h"
#include "texts.h"

namespace kvs {

// Logs one of the library's own texts (used as the format) at the given level.
void Log(unsigned level, TextId id, ...);
void LogV(unsigned level, const char* fmt, va_list args);

// Reports a bad received frame at level 1, naming the transport.
void ReportFrameError(const char* transport, FrameError error, unsigned a, unsigned b);

// For tests: the ring entry that the next message will use.
int LogRingNext();

}  // namespace kvs
