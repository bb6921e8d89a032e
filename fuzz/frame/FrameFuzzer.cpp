// Frames as they come off the server's connection: the receiver the handshake and the session read
// through (a real socket, one end of a socketpair, optionally RC4-decrypted, checked with or without
// the checksum key), and the frame reader of vexla-dump over the same bytes. The input picks the
// cipher and key; the rest is the plain stream, which the harness encrypts when the cipher is on.

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "FuzzLog.h"
#include "LoopbackListener.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/Frame.h"
#include "Network/Packet.h"
#include "Network/PacketReceiver.h"
#include "Network/Socket.h"
#include "Utils/ARC4.h"

using namespace VexlaLib;

namespace {

// More than the socket buffers take without a reader would block the harness.
const size_t kMaxStream = 64 * 1024;
const size_t kMaxKey = 32;

TByteArray OptionalKey(FuzzedDataProvider& input)
{
    if (!input.ConsumeBool())
        return TByteArray();
    return input.ConsumeBytes<unsigned char>(input.ConsumeIntegralInRange<size_t>(1, kMaxKey));
}

void ReadThroughSocket(const TByteArray& rc4Key, const TByteArraySPtr& checksumKey, TByteArray stream)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        abort();
    const int peer = ends[1];
    const TSocketSPtr socket = std::make_shared<CSocket>(ends[0]);
    if (!rc4Key.empty()) {
        CARC4 sender(rc4Key);
        sender.EncryptBytes(stream.data(), 0, static_cast<int>(stream.size()));
        socket->SetInputEncryption(std::make_shared<CARC4>(rc4Key));
    }
    FuzzSupport::CLoopbackListener::WriteAll(peer, stream.data(), stream.size());
    shutdown(peer, SHUT_WR);
    socket->SetReadTimeout(5);
    // Every frame takes at least five bytes; the end of the stream closes the socket.
    for (size_t frames = 0; socket->IsValid() && frames <= stream.size() / 5 + 1; ++frames)
        CPacketReceiver::ReceivePacket(socket, checksumKey);
    close(peer);
}

void ReadWithFrameReader(const TByteArraySPtr& checksumKey, const TByteArray& stream)
{
    CByteArrayInputStream in(std::make_shared<TByteArray>(stream));
    while (in.Available() > 0) {
        TByteArraySPtr body;
        if (CFrame::Read(&in, checksumKey, &body) == CFrame::FRAME_MALFORMED)
            return;
        CByteArrayInputStream bodyInput(body);
        CPacket::Deserialize(&bodyInput);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();

    FuzzedDataProvider input(data, size);
    const TByteArray rc4Key = OptionalKey(input);
    const TByteArray key = OptionalKey(input);
    const TByteArraySPtr checksumKey = key.empty() ? TByteArraySPtr() : std::make_shared<TByteArray>(key);
    TByteArray stream = input.ConsumeRemainingBytes<unsigned char>();
    if (stream.size() > kMaxStream)
        stream.resize(kMaxStream);

    ReadWithFrameReader(checksumKey, stream);
    ReadThroughSocket(rc4Key, checksumKey, std::move(stream));
    return 0;
}
