#pragma once

#include <cstdint>

#include "Utils/ByteArray.h"

namespace VexlaLib {

class CPacket;
class IInputStream;

// The unit on the TCP stream: varint body length, the packet body, then the CRC-32 of the checksum
// key followed by the body (4 bytes, least significant first). Length and checksum are not counted
// in the length. An empty or null key gives the plain CRC-32 of the body.
class CFrame {
public:
    // Largest body a frame may announce.
    static const int MAX_BODY_LENGTH = 16 * 1024 * 1024;
    static const int CHECKSUM_LENGTH = 4;

    enum TReadResult {
        FRAME_OK,
        FRAME_BAD_CHECKSUM,  // the body was read whole, so the stream stays aligned
        FRAME_MALFORMED,  // logged
    };

    // The complete frame carrying the packet's body.
    static TByteArraySPtr Encode(const CPacket& packet, const TByteArraySPtr& key);
    // The complete frame around a serialised body, built in one buffer.
    static TByteArraySPtr Wrap(const TByteArray& body, const TByteArraySPtr& key);

    static uint32_t Checksum(const TByteArraySPtr& key, const TByteArraySPtr& body);
    static uint32_t Checksum(const TByteArraySPtr& key, const unsigned char* body, size_t length);

    // False, logged, for a negative length or one above MAX_BODY_LENGTH.
    static bool IsBodyLengthAcceptable(int length);

    // Reads one frame; *body receives its body unless the frame is malformed.
    static TReadResult Read(IInputStream* in, const TByteArraySPtr& key, TByteArraySPtr* body);
};

}  // namespace VexlaLib
