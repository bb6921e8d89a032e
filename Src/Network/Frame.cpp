#include "Network/Frame.h"

#include "Network/ByteArrayOutputStream.h"
#include "Network/DecodeError.h"
#include "Network/InputStream.h"
#include "Network/Packet.h"
#include "Utils/CRC32.h"

namespace VexlaLib {

namespace {
// Longest varint the frame length can take.
const size_t kMaxLengthBytes = 5;
}  // namespace

TByteArraySPtr CFrame::Encode(const CPacket& packet, const TByteArraySPtr& key)
{
    CByteArrayOutputStream body;
    packet.Serialize(&body);
    return Wrap(*body.ToByteArray(), key);
}

TByteArraySPtr CFrame::Wrap(const TByteArray& body, const TByteArraySPtr& key)
{
    CByteArrayOutputStream frame(kMaxLengthBytes + body.size() + CHECKSUM_LENGTH);
    frame.WriteVarInt32(static_cast<int>(body.size()));
    frame.WriteBytes(body.data(), body.size());
    const uint32_t checksum = Checksum(key, body.data(), body.size());
    const unsigned char trailer[CHECKSUM_LENGTH] = {
        static_cast<unsigned char>(checksum), static_cast<unsigned char>(checksum >> 8),
        static_cast<unsigned char>(checksum >> 16), static_cast<unsigned char>(checksum >> 24)};
    frame.WriteBytes(trailer, CHECKSUM_LENGTH);
    return frame.ToByteArray();
}

uint32_t CFrame::Checksum(const TByteArraySPtr& key, const TByteArraySPtr& body)
{
    return body ? Checksum(key, body->data(), body->size()) : Checksum(key, nullptr, 0);
}

uint32_t CFrame::Checksum(const TByteArraySPtr& key, const unsigned char* body, size_t length)
{
    CCRC32 crc;
    crc.Reset(key);
    crc.Update(body, length);
    return crc.GetCheckSum();
}

bool CFrame::IsBodyLengthAcceptable(int length)
{
    if (length < 0 || length > MAX_BODY_LENGTH) {
        LogDecodeError("Frame length out of range.");
        return false;
    }
    return true;
}

CFrame::TReadResult CFrame::Read(IInputStream* in, const TByteArraySPtr& key, TByteArraySPtr* body)
{
    int length = 0;
    if (!in->ReadVarInt32(&length)) {
        LogDecodeError("Failed to read frame length.");
        return FRAME_MALFORMED;
    }
    if (!IsBodyLengthAcceptable(length)) {
        return FRAME_MALFORMED;
    }
    if (static_cast<size_t>(length) + CHECKSUM_LENGTH > in->Available()) {
        LogDecodeError("Frame is shorter than its length.");
        return FRAME_MALFORMED;
    }
    TByteArraySPtr bytes = std::make_shared<TByteArray>(static_cast<size_t>(length));
    unsigned char trailer[CHECKSUM_LENGTH] = {};
    in->ReadBytes(bytes->data(), bytes->size());
    in->ReadBytes(trailer, CHECKSUM_LENGTH);
    uint32_t received = 0;
    for (int i = 0; i < CHECKSUM_LENGTH; ++i) {
        received |= static_cast<uint32_t>(trailer[i]) << (8 * i);
    }
    *body = bytes;
    return received == Checksum(key, bytes) ? FRAME_OK : FRAME_BAD_CHECKSUM;
}

}  // namespace VexlaLib
