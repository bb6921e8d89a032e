#include "FrameChannel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Utils/CRC32.h"
#include "Utils/LogStream.h"

namespace ServerSim {

using VexlaLib::CByteArrayOutputStream;
using VexlaLib::CCRC32;
using VexlaLib::TByteArray;
using VexlaLib::TByteArraySPtr;
using VexlaLib::TPacketSPtr;

CFrameChannel::CFrameChannel(int fd)
    : m_fd(fd),
      m_readPosition(0),
      m_readLength(0),
      m_checksumKey(std::make_shared<TByteArray>()),
      m_writeChecksumKey(m_checksumKey),
      m_writeBroken(false)
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
    }
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
    packet.reset();
    int length = 0;
    if (!ReadVarInt32(&length)) {
        return FRAME_CLOSED;
    }
    if (length < 0 || length > MAX_BODY_LENGTH) {
        // Nothing after a length like this can be trusted to be aligned.
        VexlaLib::LogError() << "vexla-server-sim: frame length " << length << " out of range; closing.";
        return FRAME_BAD_LENGTH;
    }
    body = std::make_shared<TByteArray>(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        if (!ReadByte(&(*body)[static_cast<size_t>(i)])) {
            return FRAME_CLOSED;
        }
    }
    uint32_t checksum = 0;
    for (int i = 0; i < 4; ++i) {
        unsigned char byte;
        if (!ReadByte(&byte)) {
            return FRAME_CLOSED;
        }
        checksum |= static_cast<uint32_t>(byte) << (8 * i);
    }
    CCRC32 crc;
    crc.Reset(m_checksumKey);
    crc.Update(body);
    if (crc.GetCheckSum() != checksum) {
        return FRAME_BAD_CHECKSUM;
    }
    VexlaLib::CByteArrayInputStream in(body);
    packet = VexlaLib::CPacket::Deserialize(&in);
    return packet ? FRAME_OK : FRAME_UNDECODABLE;
}

bool CFrameChannel::WritePacket(const VexlaLib::CPacket& packet)
{
    CByteArrayOutputStream body;
    packet.Serialize(&body);
    return WriteFrame(*body.ToByteArray(), FAULT_NONE);
}

bool CFrameChannel::WriteBadChecksum(const VexlaLib::CPacket& packet)
{
    CByteArrayOutputStream body;
    packet.Serialize(&body);
    return WriteFrame(*body.ToByteArray(), FAULT_CHECKSUM);
}

bool CFrameChannel::WriteUndecodable()
{
    // A container mark other than 0x41 fails decoding at the first byte.
    return WriteFrame(TByteArray{0x42, 0x00}, FAULT_NONE);
}

bool CFrameChannel::WriteHalfFrame(const VexlaLib::CPacket& packet)
{
    CByteArrayOutputStream body;
    packet.Serialize(&body);
    return WriteFrame(*body.ToByteArray(), FAULT_HALF);
}

bool CFrameChannel::WriteFrame(const TByteArray& body, TFrameFault fault)
{
    std::lock_guard<std::mutex> guard(m_writeLock);
    if (m_writeBroken) {
        return false;
    }
    CCRC32 crc;
    crc.Reset(m_writeChecksumKey);
    crc.Update(body.data(), body.size());
    uint32_t checksum = crc.GetCheckSum();
    if (fault == FAULT_CHECKSUM) {
        checksum ^= 1u;
    }
    CByteArrayOutputStream frame;
    frame.WriteVarInt32(static_cast<int>(body.size()));
    frame.WriteBytes(body.data(), body.size());
    for (int i = 0; i < 4; ++i) {
        frame.WriteByte(static_cast<unsigned char>(checksum >> (8 * i)));
    }
    TByteArray& bytes = *frame.ToByteArray();
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
        sent += static_cast<size_t>(written);
    }
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
    m_outCipher.reset(new VexlaLib::CARC4(outKey));
    m_writeChecksumKey = m_checksumKey;
}

void CFrameChannel::Shutdown()
{
    shutdown(m_fd, SHUT_RDWR);
}

}  // namespace ServerSim
