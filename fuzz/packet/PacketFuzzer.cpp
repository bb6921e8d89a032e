// Packet bodies: the decoder, the readable dump the debug log shows, and the round trip a decoded
// packet must survive (encoding it again gives a body that decodes to the same encoding).

#include <cstdio>
#include <cstdlib>

#include "FuzzLog.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Packet.h"
#include "Utils/LogStream.h"

using namespace VexlaLib;

namespace {

TByteArraySPtr Encode(const CPacket& packet)
{
    CByteArrayOutputStream out;
    packet.Serialize(&out);
    return out.ToByteArray();
}

TPacketSPtr Decode(const TByteArraySPtr& body)
{
    CByteArrayInputStream in(body);
    return CPacket::Deserialize(&in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    const TPacketSPtr packet = Decode(std::make_shared<TByteArray>(data, data + size));
    if (!packet)
        return 0;
    {
        CLogStream stream(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_AT_START);
        packet->dump(stream);
    }
    const TByteArraySPtr encoded = Encode(*packet);
    const TPacketSPtr again = Decode(encoded);
    if (!again || *Encode(*again) != *encoded) {
        fprintf(stderr, "a decoded packet does not survive encoding and decoding again\n");
        abort();
    }
    return 0;
}
