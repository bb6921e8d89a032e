#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "TcpSegment.h"

// Reads the TCP segments of a packet capture (pcap or pcapng, as tcpdump writes it) through
// libpcap. Link layers: Ethernet (with 802.1Q tags), the BSD loopback headers, raw IP and both Linux
// "any" device headers; IPv4 and IPv6. Fragments, other protocols and segments cut short by the
// capture's snapshot length are skipped: the reassembly then sees a hole instead of wrong bytes.
class CPcapReader {
public:
    // False, with *problem set, when the file cannot be read as a capture. A capture that ends early
    // (cut short while it was written) keeps the segments read up to there, and *problem says why.
    static bool Read(const std::string& path, std::vector<STcpSegment>* segments, std::string* problem);

    // Decodes one captured link-layer frame; false when it is no complete TCP segment.
    static bool ParseFrame(int linkType, const unsigned char* data, size_t length, STcpSegment* segment);
};
