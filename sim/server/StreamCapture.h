#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "Utils/ByteArray.h"

namespace ServerSim {

// Records what one client sent, byte for byte as it came off the socket, into "<prefix>.client", and
// the keys the handshake switched on into "<prefix>.keys.json", so that a capture of a real session
// can be decoded offline (vexla-dump). Used by the connection's reader thread only.
class CStreamCapture {
public:
    explicit CStreamCapture(const std::string& prefix);
    ~CStreamCapture();
    CStreamCapture(const CStreamCapture&) = delete;
    CStreamCapture& operator=(const CStreamCapture&) = delete;

    // Appends bytes as received (still encrypted once the keys are on).
    void Append(const unsigned char* bytes, size_t count);
    // Notes the keys and how many received bytes came before the first encrypted one.
    void NoteKeys(size_t plainBytes, const VexlaLib::TByteArray& clientKey, const VexlaLib::TByteArray& serverKey,
                  const VexlaLib::TByteArray& checksumKey);

private:
    const std::string m_prefix;
    std::FILE* m_client;
};

}  // namespace ServerSim
