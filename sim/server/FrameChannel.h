#pragma once

#include <memory>
#include <mutex>

#include "Network/InputStream.h"
#include "Network/Packet.h"
#include "StreamCapture.h"
#include "Utils/ARC4.h"
#include "Utils/ByteArray.h"

namespace ServerSim {

// The server end of one client's TCP stream: frames (CFrame) in both directions, each direction through its own RC4 cipher once the handshake switched them on.
// One thread reads (the connection's); any thread may write, writes are serialised. The channel owns
// the descriptor and closes it on destruction; Shutdown wakes a blocked reader from another thread.
class CFrameChannel : private VexlaLib::IInputStream {
public:
    enum TReadResult { FRAME_OK, FRAME_BAD_CHECKSUM, FRAME_UNDECODABLE, FRAME_BAD_LENGTH, FRAME_CLOSED };

    explicit CFrameChannel(int fd);
    ~CFrameChannel() override;
    CFrameChannel(const CFrameChannel&) = delete;
    CFrameChannel& operator=(const CFrameChannel&) = delete;

    // Reads the next frame (reader thread only). FRAME_BAD_CHECKSUM and FRAME_UNDECODABLE consumed the
    // whole frame, so the stream stays aligned; body holds the raw body for them and for FRAME_OK.
    TReadResult ReadFrame(VexlaLib::TPacketSPtr& packet, VexlaLib::TByteArraySPtr& body);

    // Writes a frame; false once the stream is unusable (peer gone, a half frame sent).
    bool WritePacket(const VexlaLib::CPacket& packet);
    // A frame whose checksum is off by one bit.
    bool WriteBadChecksum(const VexlaLib::CPacket& packet);
    // A correctly checksummed frame of bodyLength bytes (at least 2) whose body does not decode (wrong
    // container mark).
    bool WriteUndecodable(size_t bodyLength);
    // The first half of the packet's frame, and nothing after it: the stream is left inside a frame.
    bool WriteHalfFrame(const VexlaLib::CPacket& packet);

    // Switches both directions to RC4 and the checksum to the given key (reader thread only, between
    // two frames).
    void SwitchKeys(const VexlaLib::TByteArray& inKey, const VexlaLib::TByteArray& outKey,
                    const VexlaLib::TByteArray& checksumKey);

    // Records the client's bytes and the keys from now on (before the first read).
    void Capture(std::unique_ptr<CStreamCapture> capture) { m_capture = std::move(capture); }

    // Ends both directions; a blocked ReadFrame returns FRAME_CLOSED.
    void Shutdown();

private:
    enum TFrameFault { FAULT_NONE, FAULT_CHECKSUM, FAULT_UNDECODABLE, FAULT_HALF };

    // IInputStream over the socket: one decrypted byte at a time from a read buffer.
    bool ReadByte(unsigned char* byte) override;
    size_t Available() const override;

    bool WriteFrame(const VexlaLib::CPacket* packet, TFrameFault fault, size_t undecodableLength = 0);

    const int m_fd;
    unsigned char m_readBuffer[4096];
    size_t m_readPosition;
    size_t m_readLength;
    size_t m_consumed;  // bytes taken from the socket's stream so far
    std::unique_ptr<CStreamCapture> m_capture;
    std::unique_ptr<VexlaLib::CARC4> m_inCipher;
    VexlaLib::TByteArraySPtr m_checksumKey;

    std::mutex m_writeLock;
    std::unique_ptr<VexlaLib::CARC4> m_outCipher;
    VexlaLib::TByteArraySPtr m_writeChecksumKey;
    bool m_writeBroken;
    size_t m_written;  // bytes sent so far
};

}  // namespace ServerSim
