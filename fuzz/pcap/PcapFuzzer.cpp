// vexla-dump's capture decoding: link-layer frames of a fuzzed link type parsed into TCP segments,
// then the sessions put back together and decoded with a fuzzed key log, as `vexla-dump --pcap`
// does after libpcap has read the file. The dump goes to /dev/null.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FuzzLog.h"
#include "KeyLogFile.h"
#include "PcapDump.h"
#include "PcapReader.h"

namespace {

// Null/loopback, Ethernet, the raw IP types, Linux "any" (v1 and v2), and one nobody reads.
const int kLinkTypes[] = {0, 1, 12, 14, 101, 108, 113, 276, 105};
const size_t kMaxFrame = 2048;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::perror("/dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    FuzzedDataProvider input(data, size);
    const int linkType = input.PickValueInArray(kLinkTypes);
    CKeyLogFile keyLog;
    keyLog.Parse(input.ConsumeRandomLengthString());
    std::vector<STcpSegment> segments;
    while (input.remaining_bytes() > 0) {
        const std::vector<unsigned char> frame =
            input.ConsumeBytes<unsigned char>(input.ConsumeIntegralInRange<size_t>(0, kMaxFrame));
        STcpSegment segment;
        segment.time = static_cast<double>(segments.size());
        if (CPcapReader::ParseFrame(linkType, frame.data(), frame.size(), &segment))
            segments.push_back(std::move(segment));
    }
    CPcapDump::Run(segments, keyLog);
    std::fflush(stdout);
    return 0;
}
