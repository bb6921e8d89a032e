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
    const TByteArraySPtr bodyBytes = body.ToByteArray();

    CByteArrayOutputStream frame(kMaxLengthBytes + bodyBytes->size() + CHECKSUM_LENGTH);
    frame.WriteVarInt32(static_cast<int>(bodyBytes->size()));
    frame.WriteBytes(bodyBytes->data(), bodyBytes->size());
    const uint32_t checksum = Checksum(key, bodyBytes);
    for (int i = 0; i < CHECKSUM_LENGTH; ++i) {
        frame.WriteByte(static_cast<unsigned char>(checksum >> (8 * i)));
    }
    return frame.ToByteArray();
}

uint32_t CFrame::Checksum(const TByteArraySPtr& key, const TByteArraySPtr& body)
{
    CCRC32 crc;
    crc.Reset(key);
    crc.Update(body);
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
    for (unsigned char& byte : *bytes) {
        in->ReadByte(&byte);
    }
    uint32_t received = 0;
    for (int i = 0; i < CHECKSUM_LENGTH; ++i) {
        unsigned char byte = 0;
        in->ReadByte(&byte);
        received |= static_cast<uint32_t>(byte) << (8 * i);
    }
    *body = bytes;
    return received == Checksum(key, bytes) ? FRAME_OK : FRAME_BAD_CHECKSUM;
}

}  // namespace VexlaLib
