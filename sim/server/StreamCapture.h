#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "Utils/ByteArray.h"

namespace ServerSim {

// Records one connection byte for byte as it went over the socket, what the client sent into
// "<prefix>.client" and what the simulator sent into "<prefix>.server", and the keys the handshake
// switched on into "<prefix>.keys.json", so that a real session can be decoded offline (vexla-dump).
// The client side is written by the connection's reader thread, the server side under the channel's
// write lock; the two never share a file.
class CStreamCapture {
public:
    explicit CStreamCapture(const std::string& prefix);
    ~CStreamCapture();
    CStreamCapture(const CStreamCapture&) = delete;
    CStreamCapture& operator=(const CStreamCapture&) = delete;

    // Appends bytes as they went over the socket (encrypted once the keys are on).
    void AppendClient(const unsigned char* bytes, size_t count) { Append(m_client, bytes, count); }
    void AppendServer(const unsigned char* bytes, size_t count) { Append(m_server, bytes, count); }
    // Notes the keys and how many bytes of each direction came before its first encrypted one.
    void NoteKeys(size_t clientPlainBytes, size_t serverPlainBytes, const VexlaLib::TByteArray& clientKey,
                  const VexlaLib::TByteArray& serverKey, const VexlaLib::TByteArray& checksumKey);

private:
    std::FILE* Open(const char* suffix) const;
    static void Append(std::FILE* file, const unsigned char* bytes, size_t count);

    const std::string m_prefix;
    std::FILE* m_client;
    std::FILE* m_server;
};

}  // namespace ServerSim
