// Encoding and decoding of a typical chat batch: twenty text messages in one CHUNK_CHATMESSAGES
// packet, built as the server simulator sends it.

#include <benchmark/benchmark.h>

#include "ChatPackets.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Packet.h"

namespace {

using VexlaLib::CPacket;
using VexlaLib::TByteArraySPtr;

const int BATCH = 20;

CPacket ChatBatch()
{
    ServerSim::SSimChat chat;
    chat.id = 17;
    chat.uniqueName = "#bob/$alice;4f2a9c01";
    chat.members = {"alice", "bob"};
    for (int n = 1; n <= BATCH; ++n) {
        ServerSim::SSimChatMsg message;
        message.seq = n;
        message.timestamp = 1700000000 + n;
        message.author = "bob";
        message.body = "Are we still on for the meeting at three? Bring the notes, message " + std::to_string(n);
        chat.msgs.push_back(message);
    }
    return *ServerSim::CChatPackets::Messages(chat, 0, 1);
}

TByteArraySPtr Encode(const CPacket& packet)
{
    VexlaLib::CByteArrayOutputStream out;
    packet.Serialize(&out);
    return out.ToByteArray();
}

void PacketEncode(benchmark::State& state)
{
    const CPacket packet = ChatBatch();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Encode(packet));
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
}

void PacketDecode(benchmark::State& state)
{
    const TByteArraySPtr body = Encode(ChatBatch());
    for (auto _ : state) {
        VexlaLib::CByteArrayInputStream in(body);
        benchmark::DoNotOptimize(CPacket::Deserialize(&in));
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
}

}  // namespace

BENCHMARK(PacketEncode)->Name("packet/encode")->Unit(benchmark::kMicrosecond);
BENCHMARK(PacketDecode)->Name("packet/decode")->Unit(benchmark::kMicrosecond);
