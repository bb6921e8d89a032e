#include "FrameChannel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Frame.h"

namespace ServerSim {

using VexlaLib::CFrame;
using VexlaLib::TByteArray;
using VexlaLib::TByteArraySPtr;
using VexlaLib::TPacketSPtr;

CFrameChannel::CFrameChannel(int fd)
    : m_fd(fd),
      m_readPosition(0),
      m_readLength(0),
      m_consumed(0),
      m_checksumKey(std::make_shared<TByteArray>()),
      m_writeChecksumKey(m_checksumKey),
      m_writeBroken(false),
      m_written(0)
{
    // A client that stops reading must not hold a writer for ever.
    timeval timeout{10, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
}

CFrameChannel::~CFrameChannel()
{
    close(m_fd);
}

bool CFrameChannel::ReadByte(unsigned char* byte)
{
    if (m_readPosition == m_readLength) {
        ssize_t got;
        do {
            got = recv(m_fd, m_readBuffer, sizeof(m_readBuffer), 0);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            return false;
        }
        m_readPosition = 0;
        m_readLength = static_cast<size_t>(got);
        if (m_capture) {
            m_capture->AppendClient(m_readBuffer, m_readLength);
        }
    }
    ++m_consumed;
    unsigned char value = m_readBuffer[m_readPosition++];
    if (m_inCipher) {
        value = static_cast<unsigned char>(m_inCipher->DecryptByte(value));
    }
    *byte = value;
    return true;
}

size_t CFrameChannel::Available() const
{
    return m_readLength - m_readPosition;
}

CFrameChannel::TReadResult CFrameChannel::ReadFrame(TPacketSPtr& packet, TByteArraySPtr& body)
{
    // CFrame::Read wants the whole frame available up front; a socket delivers it piecemeal, so
    // the frame is read here with CFrame's length bound and checksum.
    packet.reset();
    int length = 0;
    if (!ReadVarInt32(&length)) {
        return FRAME_CLOSED;
    }
    if (!CFrame::IsBodyLengthAcceptable(length)) {
        return FRAME_BAD_LENGTH;  // nothing after it can be trusted to be aligned
    }
    // The body grows as its bytes arrive: a client that announces a large frame and sends nothing
    // does not get that much memory reserved for it.
    body = std::make_shared<TByteArray>();
    body->reserve(std::min<size_t>(static_cast<size_t>(length), sizeof(m_readBuffer)));
    for (int i = 0; i < length; ++i) {
        unsigned char byte;
        if (!ReadByte(&byte)) {
            return FRAME_CLOSED;
        }
        body->push_back(byte);
    }
    uint32_t checksum = 0;
    for (int i = 0; i < CFrame::CHECKSUM_LENGTH; ++i) {
        unsigned char byte;
        if (!ReadByte(&byte)) {
            return FRAME_CLOSED;
        }
        checksum |= static_cast<uint32_t>(byte) << (8 * i);
    }
    if (CFrame::Checksum(m_checksumKey, body) != checksum) {
        return FRAME_BAD_CHECKSUM;
    }
    VexlaLib::CByteArrayInputStream in(body);
    packet = VexlaLib::CPacket::Deserialize(&in);
    return packet ? FRAME_OK : FRAME_UNDECODABLE;
}

bool CFrameChannel::WritePacket(const VexlaLib::CPacket& packet)
{
    return WriteFrame(&packet, FAULT_NONE);
}

bool CFrameChannel::WriteBadChecksum(const VexlaLib::CPacket& packet)
{
    return WriteFrame(&packet, FAULT_CHECKSUM);
}

bool CFrameChannel::WriteUndecodable(size_t bodyLength)
{
    return WriteFrame(nullptr, FAULT_UNDECODABLE, std::max<size_t>(bodyLength, 2));
}

bool CFrameChannel::WriteHalfFrame(const VexlaLib::CPacket& packet)
{
    return WriteFrame(&packet, FAULT_HALF);
}

bool CFrameChannel::WriteFrame(const VexlaLib::CPacket* packet, TFrameFault fault, size_t undecodableLength)
{
    std::lock_guard<std::mutex> guard(m_writeLock);
    if (m_writeBroken) {
        return false;
    }
    TByteArray bytes;
    if (fault == FAULT_UNDECODABLE) {
        // A container mark other than 0x41 fails decoding at the first byte.
        const TByteArraySPtr body = std::make_shared<TByteArray>(undecodableLength, 0x00);
        body->front() = 0x42;
        const uint32_t checksum = CFrame::Checksum(m_writeChecksumKey, body);
        VexlaLib::CByteArrayOutputStream length;
        length.WriteVarInt32(static_cast<int>(body->size()));
        bytes = *length.ToByteArray();
        bytes.insert(bytes.end(), body->begin(), body->end());
        for (int i = 0; i < CFrame::CHECKSUM_LENGTH; ++i) {
            bytes.push_back(static_cast<unsigned char>(checksum >> (8 * i)));
        }
    } else {
        bytes = *CFrame::Encode(*packet, m_writeChecksumKey);
    }
    if (fault == FAULT_CHECKSUM) {
        bytes.back() ^= 0x01;
    }
    const size_t count = fault == FAULT_HALF ? bytes.size() / 2 : bytes.size();
    if (m_outCipher && count > 0) {
        m_outCipher->EncryptBytes(bytes.data(), 0, static_cast<int>(count));
    }
    size_t sent = 0;
    while (sent < count) {
        const ssize_t written = send(m_fd, bytes.data() + sent, count - sent, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            // The cipher has moved past bytes that never went out: the stream cannot be resumed.
            m_writeBroken = true;
            shutdown(m_fd, SHUT_RDWR);
            return false;
        }
        if (m_capture) {
            m_capture->AppendServer(bytes.data() + sent, static_cast<size_t>(written));
        }
        sent += static_cast<size_t>(written);
    }
    m_written += sent;
    if (fault == FAULT_HALF) {
        m_writeBroken = true;
    }
    return true;
}

void CFrameChannel::SwitchKeys(const TByteArray& inKey, const TByteArray& outKey, const TByteArray& checksumKey)
{
    m_inCipher.reset(new VexlaLib::CARC4(inKey));
    m_checksumKey = std::make_shared<TByteArray>(checksumKey);
    std::lock_guard<std::mutex> guard(m_writeLock);
    if (m_capture) {
        m_capture->NoteKeys(m_consumed, m_written, inKey, outKey, checksumKey);
    }
    m_outCipher.reset(new VexlaLib::CARC4(outKey));
    m_writeChecksumKey = m_checksumKey;
}

void CFrameChannel::Shutdown()
{
    shutdown(m_fd, SHUT_RDWR);
}

}  // namespace ServerSim
