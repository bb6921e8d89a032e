#include "PacketDump.h"

#include "Network/ByteArrayInputStream.h"
#include "Network/Packet.h"
#include "Utils/Log.h"
#include "Utils/LogStream.h"

using namespace VexlaLib;

bool DumpPacketBody(const TByteArraySPtr& body)
{
    CByteArrayInputStream in(body);
    TPacketSPtr packet = CPacket::Deserialize(&in);
    if (!packet)
        return false;
    CLogStream stream(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_NONE);
    packet->dump(stream);
    return true;
}
