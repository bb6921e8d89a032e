// vexla-dump: prints the readable dump of a captured packet body or stream of frames.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "DumpOptions.h"
#include "HexText.h"
#include "KeyLogFile.h"
#include "PacketDump.h"
#include "PcapDump.h"
#include "PcapReader.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/Frame.h"
#include "Network/Packet.h"
#include "StreamLog.h"
#include "Utils/ARC4.h"
#include "Utils/Log.h"
#include "Utils/LogStream.h"

using namespace VexlaLib;

namespace {

const int kExitMalformed = 1;
const int kExitUsage = 2;
const int kExitChecksumMismatch = 3;

bool ReadInput(const CDumpOptions& options, TByteArray* bytes, std::string* error)
{
    std::string raw;
    if (options.inputPath.empty() || options.inputPath == "-") {
        raw.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(options.inputPath, std::ios::binary);
        if (!file) {
            *error = "cannot open " + options.inputPath;
            return false;
        }
        raw.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (options.binary) {
        bytes->assign(raw.begin(), raw.end());
        return true;
    }
    if (raw.find("...") != std::string::npos) {
        *error = "the byte list is cut short (the log shows only the first bytes of a long body)";
        return false;
    }
    if (!CHexText::Parse(raw, bytes)) {
        *error = "the input is not hexadecimal text (use --binary for raw bytes)";
        return false;
    }
    return true;
}

int DumpFrames(const TByteArraySPtr& input, const TByteArraySPtr& key)
{
    CByteArrayInputStream in(input);
    bool mismatch = false;
    int number = 0;
    while (in.Available() > 0) {
        ++number;
        TByteArraySPtr body;
        const CFrame::TReadResult result = CFrame::Read(&in, key, &body);
        if (result == CFrame::FRAME_MALFORMED) {
            std::fprintf(stderr, "vexla-dump: frame %d is malformed\n", number);
            return kExitMalformed;
        }
        mismatch = mismatch || result == CFrame::FRAME_BAD_CHECKSUM;
        std::printf("Frame %d: %zu bytes, %s\n", number, body->size(),
            result == CFrame::FRAME_OK ? "checksum ok" : "checksum mismatch");
        std::fflush(stdout);
        if (!DumpPacketBody(body)) {
            std::fprintf(stderr, "vexla-dump: the body of frame %d is malformed\n", number);
            return kExitMalformed;
        }
    }
    if (number == 0) {
        std::fprintf(stderr, "vexla-dump: the input holds no frame\n");
        return kExitMalformed;
    }
    return mismatch ? kExitChecksumMismatch : 0;
}

// The dumps go to standard output, the decoder's messages to standard error.
void RouteLog()
{
    CLog::Instance().AddStream(CLog::LOG_DEBUG, new CStreamLog(stdout));
    CLog::Instance().AddStream(CLog::LOG_ERROR | CLog::LOG_WARNING | CLog::LOG_INFO, new CStreamLog(stderr));
}

int DumpCapture(const CDumpOptions& options)
{
    std::vector<STcpSegment> segments;
    CKeyLogFile keyLog;
    std::string problem;
    if (!CPcapReader::Read(options.pcapPath, &segments, &problem) ||
        (!options.keyLogPath.empty() && !keyLog.Load(options.keyLogPath, &problem))) {
        std::fprintf(stderr, "vexla-dump: %s\n", problem.c_str());
        return kExitUsage;
    }
    RouteLog();
    const int status = CPcapDump::Run(segments, keyLog);
    if (problem.empty())
        return status;
    // What was read is decoded; the session is not whole.
    std::fprintf(stderr, "vexla-dump: %s\n", problem.c_str());
    return status == CPcapDump::EXIT_MALFORMED ? status : CPcapDump::EXIT_INCOMPLETE;
}

}  // namespace

int main(int argc, char** argv)
{
    CDumpOptions options;
    std::string error;
    if (!options.Parse(argc, argv, &error)) {
        std::fprintf(stderr, "vexla-dump: %s\n\n%s", error.c_str(), CDumpOptions::Usage());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(CDumpOptions::Usage(), stdout);
        return 0;
    }
    if (!options.pcapPath.empty())
        return DumpCapture(options);
    TByteArraySPtr input = std::make_shared<TByteArray>();
    if (!ReadInput(options, input.get(), &error)) {
        std::fprintf(stderr, "vexla-dump: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!options.rc4Key.empty() && !input->empty()) {
        CARC4 cipher(options.rc4Key);
        cipher.DecryptBytes(input->data(), 0, static_cast<int>(input->size()));
    }

    RouteLog();
    if (options.frames)
        return DumpFrames(input, options.key);
    if (!DumpPacketBody(input)) {
        std::fprintf(stderr, "vexla-dump: the packet body is malformed\n");
        return kExitMalformed;
    }
    return 0;
}
