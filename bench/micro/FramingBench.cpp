// Framing next to the cipher and checksum alone: a frame built around a body (length, body,
// keyed checksum) and encrypted as the socket sends it, then decrypted and read back as a receiver
// does, against RC4 and CRC-32 over the body in both directions.

#include <benchmark/benchmark.h>

#include "Inputs.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/Frame.h"
#include "Utils/ARC4.h"
#include "Utils/CRC32.h"

namespace {

using namespace MicroBench;
using VexlaLib::TByteArray;
using VexlaLib::TByteArraySPtr;

const std::vector<unsigned char> CIPHER_KEY(20, 0x33);
const TByteArraySPtr CHECKSUM_KEY = std::make_shared<TByteArray>(RandomBytes(20, 7));

void FramingOurs(benchmark::State& state)
{
    const TByteArray body = RandomBytes(size_t(state.range(0)));
    VexlaLib::CARC4 sender(CIPHER_KEY);
    VexlaLib::CARC4 receiver(CIPHER_KEY);
    for (auto _ : state) {
        const TByteArraySPtr frame = VexlaLib::CFrame::Wrap(body, CHECKSUM_KEY);
        sender.EncryptBytes(frame->data(), 0, int(frame->size()));
        receiver.DecryptBytes(frame->data(), 0, int(frame->size()));
        VexlaLib::CByteArrayInputStream in(frame);
        TByteArraySPtr received;
        if (VexlaLib::CFrame::Read(&in, CHECKSUM_KEY, &received) != VexlaLib::CFrame::FRAME_OK) {
            state.SkipWithError("frame did not read back");
            break;
        }
        benchmark::DoNotOptimize(received->data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void FramingCipherAndChecksum(benchmark::State& state)
{
    TByteArray body = RandomBytes(size_t(state.range(0)));
    VexlaLib::CARC4 sender(CIPHER_KEY);
    VexlaLib::CARC4 receiver(CIPHER_KEY);
    for (auto _ : state) {
        VexlaLib::CCRC32 out;
        out.Reset(CHECKSUM_KEY);
        out.Update(body.data(), body.size());
        sender.EncryptBytes(body.data(), 0, int(body.size()));
        receiver.DecryptBytes(body.data(), 0, int(body.size()));
        VexlaLib::CCRC32 in;
        in.Reset(CHECKSUM_KEY);
        in.Update(body.data(), body.size());
        benchmark::DoNotOptimize(out.GetCheckSum() == in.GetCheckSum());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(FramingOurs)->Name("framing/ours")->Arg(LARGE)->Arg(FRAME);
BENCHMARK(FramingCipherAndChecksum)->Name("framing/rc4crc")->Arg(LARGE)->Arg(FRAME);
