#pragma once

#include <vector>

#include "KeyLogFile.h"
#include "TcpSegment.h"

// Decodes every Vexla session of a packet capture: each TCP connection put back together in both
// directions, each direction cut into frames (the handshake in plain, the rest with the keys the key
// log holds for the session's client random), and every frame of both directions printed in the
// order it was captured, with its packet's dump. Connections without a Vexla handshake are named
// and skipped.
class CPcapDump {
public:
    static const int EXIT_OK = 0;
    static const int EXIT_MALFORMED = 1;
    static const int EXIT_CHECKSUM_MISMATCH = 3;
    static const int EXIT_INCOMPLETE = 4;  // no keys for a session, or bytes missing from the capture

    // Prints to standard output; returns the exit status of the worst thing found.
    static int Run(const std::vector<STcpSegment>& segments, const CKeyLogFile& keyLog);
};
