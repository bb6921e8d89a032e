#pragma once

#include "Utils/ByteArray.h"

// Decodes one packet body and writes its readable dump to the log's debug sink (standard output);
// false, the decoder's message logged, when the body is malformed.
bool DumpPacketBody(const VexlaLib::TByteArraySPtr& body);
