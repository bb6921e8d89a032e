#pragma once

#include <cstddef>
#include <vector>

#include "Utils/ByteArray.h"

// One direction of a Vexla connection cut into frames: the handshake's frames in plain (plain
// CRC-32) up to and including the frame whose packet turns this direction's encryption on (the
// client's master key, the server's identity), then, given the direction's RC4 key and the checksum
// key, the rest decrypted and checked with the checksum key.
class CDirectionDecoder {
public:
    struct SFrame {
        size_t end = 0;  // offset in the stream just past the frame
        bool encrypted = false;
        bool checksumOk = false;
        VexlaLib::TByteArraySPtr body;
    };
    enum TOutcome {
        DECODED_WHOLE,
        NO_KEYS,    // the encrypted part was not decoded: no keys were given
        MALFORMED,  // a frame could not be read (the decoder logged why); the rest was not decoded
    };

    // `rc4Key` may be null when the keys are unknown. *undecoded receives how many bytes were left.
    static TOutcome Decode(const VexlaLib::TByteArray& stream, int switchKind, const VexlaLib::TByteArray* rc4Key,
                           const VexlaLib::TByteArraySPtr& checksumKey, std::vector<SFrame>* frames, size_t* undecoded);
};
