// vexla-dump's text input: hexadecimal digit pairs or the byte list of the daemon's log, parsed and
// then decoded and dumped as a packet body, as the tool does with what it read.

#include "FuzzLog.h"
#include "HexText.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/Packet.h"
#include "Utils/LogStream.h"

using namespace VexlaLib;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    const TByteArraySPtr bytes = std::make_shared<TByteArray>();
    if (!CHexText::Parse(std::string(reinterpret_cast<const char*>(data), size), bytes.get()))
        return 0;
    CByteArrayInputStream in(bytes);
    if (const TPacketSPtr packet = CPacket::Deserialize(&in)) {
        CLogStream stream(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_NONE);
        packet->dump(stream);
    }
    return 0;
}
