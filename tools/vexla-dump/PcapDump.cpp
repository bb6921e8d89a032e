#include "PcapDump.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "DirectionDecoder.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ChunkKind.h"
#include "Network/Packet.h"
#include "PacketDump.h"
#include "TcpStream.h"

using namespace VexlaLib;

namespace {

struct SConnection {
    std::string client;
    std::string server;
    CTcpStream toServer;
    CTcpStream toClient;
};

struct SDirection {
    const char* name;
    const CTcpStream* stream;
    std::vector<CDirectionDecoder::SFrame> frames;
    CDirectionDecoder::TOutcome outcome = CDirectionDecoder::DECODED_WHOLE;
    size_t undecoded = 0;
};

// The connections in the order their first segment was captured.
std::vector<std::unique_ptr<SConnection>> Connections(const std::vector<STcpSegment>& segments)
{
    std::vector<std::unique_ptr<SConnection>> connections;
    std::map<std::pair<std::string, std::string>, SConnection*> byEndpoints;
    for (const STcpSegment& segment : segments) {
        const auto key = std::minmax(segment.source, segment.destination);
        SConnection*& connection = byEndpoints[key];
        if (connection == nullptr) {
            connections.push_back(std::make_unique<SConnection>());
            connection = connections.back().get();
            // The side that opened the connection is the client; without its SYN, the first to send.
            const bool fromServer = segment.syn && segment.ack;
            connection->client = fromServer ? segment.destination : segment.source;
            connection->server = fromServer ? segment.source : segment.destination;
        }
        (segment.source == connection->client ? connection->toServer : connection->toClient).Add(segment);
    }
    for (const auto& connection : connections) {
        connection->toServer.Assemble();
        connection->toClient.Assemble();
    }
    return connections;
}

// The client random of a session's first client frame (its connect packet), or false.
bool ClientRandom(const std::vector<CDirectionDecoder::SFrame>& frames, TByteArray* random)
{
    if (frames.empty())
        return false;
    CByteArrayInputStream in(frames.front().body);
    const TPacketSPtr packet = CPacket::Deserialize(&in);
    TByteArraySPtr bytes;
    if (ChunkKindOf(packet) != CHUNK_CONNECT || !packet->GetAttrBinary(KEY_CLIENT_RANDOM, &bytes))
        return false;
    *random = *bytes;
    return true;
}

std::string Hex(const TByteArray& bytes)
{
    std::string text;
    char digits[3];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", byte);
        text += digits;
    }
    return text;
}

int Worse(int status, int other)
{
    // Malformed input outranks an incomplete capture, which outranks a checksum mismatch.
    static const int kRank[] = {0, 3, 0, 1, 2};
    return kRank[other] > kRank[status] ? other : status;
}

int PrintFrames(SDirection directions[2], double start)
{
    struct SEntry {
        double time;
        int direction;
        size_t index;
    };
    std::vector<SEntry> entries;
    for (int d = 0; d < 2; ++d) {
        for (size_t i = 0; i < directions[d].frames.size(); ++i)
            entries.push_back({directions[d].stream->TimeAt(directions[d].frames[i].end - 1), d, i});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const SEntry& a, const SEntry& b) { return a.time < b.time; });
    int status = CPcapDump::EXIT_OK;
    for (const SEntry& entry : entries) {
        const CDirectionDecoder::SFrame& frame = directions[entry.direction].frames[entry.index];
        std::printf("[%.6f] %s, frame %zu%s: %zu bytes, %s\n", entry.time - start, directions[entry.direction].name,
                    entry.index + 1, frame.encrypted ? " (encrypted)" : "", frame.body->size(),
                    frame.checksumOk ? "checksum ok" : "checksum mismatch");
        std::fflush(stdout);
        if (!frame.checksumOk)
            status = Worse(status, CPcapDump::EXIT_CHECKSUM_MISMATCH);
        if (!DumpPacketBody(frame.body)) {
            std::printf("The body of this frame is malformed.\n");
            status = Worse(status, CPcapDump::EXIT_MALFORMED);
        }
    }
    return status;
}

int PrintUndecoded(const SDirection& direction, const TByteArray& clientRandom)
{
    int status = CPcapDump::EXIT_OK;
    switch (direction.outcome) {
    case CDirectionDecoder::NO_KEYS:
        std::printf("%s: %zu encrypted bytes not decoded: the key log has no keys for client random %s\n",
                    direction.name, direction.undecoded, Hex(clientRandom).c_str());
        status = CPcapDump::EXIT_INCOMPLETE;
        break;
    case CDirectionDecoder::MALFORMED:
        std::printf("%s: %zu bytes not decoded after a malformed frame\n", direction.name, direction.undecoded);
        status = CPcapDump::EXIT_MALFORMED;
        break;
    case CDirectionDecoder::DECODED_WHOLE:
        break;
    }
    if (direction.stream->HasHole()) {
        std::printf("%s: the capture misses bytes after the first %zu; the rest was not decoded\n", direction.name,
                    direction.stream->Bytes().size());
        status = Worse(status, CPcapDump::EXIT_INCOMPLETE);
    }
    return status;
}

}  // namespace

int CPcapDump::Run(const std::vector<STcpSegment>& segments, const CKeyLogFile& keyLog)
{
    const double start = segments.empty() ? 0 : segments.front().time;
    int status = EXIT_OK;
    int number = 0;
    for (const auto& connection : Connections(segments)) {
        std::printf("Connection %d: %s -> %s\n", ++number, connection->client.c_str(), connection->server.c_str());
        SDirection directions[2] = {{"client -> server", &connection->toServer, {}},
                                    {"server -> client", &connection->toClient, {}}};
        // The handshake is in plain up to the client random; the keys come from it.
        SDirection& client = directions[0];
        client.outcome = CDirectionDecoder::Decode(client.stream->Bytes(), CHUNK_MASTERKEY, nullptr, nullptr,
                                                   &client.frames, &client.undecoded);
        TByteArray clientRandom;
        if (!ClientRandom(client.frames, &clientRandom)) {
            std::printf("No Vexla handshake in this connection: skipped.\n");
            continue;
        }
        const CKeyLogFile::SKeys* keys = keyLog.Find(clientRandom);
        client.frames.clear();
        client.outcome = CDirectionDecoder::Decode(client.stream->Bytes(), CHUNK_MASTERKEY, keys ? &keys->clientKey : nullptr,
                                                   keys ? keys->checksumKey : nullptr, &client.frames, &client.undecoded);
        SDirection& server = directions[1];
        server.outcome = CDirectionDecoder::Decode(server.stream->Bytes(), CHUNK_SERVERIDENTITY,
                                                   keys ? &keys->serverKey : nullptr, keys ? keys->checksumKey : nullptr,
                                                   &server.frames, &server.undecoded);
        status = Worse(status, PrintFrames(directions, start));
        for (const SDirection& direction : directions)
            status = Worse(status, PrintUndecoded(direction, clientRandom));
    }
    if (number == 0)
        std::printf("The capture holds no TCP connection.\n");
    return status;
}
