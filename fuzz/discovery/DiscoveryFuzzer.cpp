// The discovery server's answers: the HTTP message reader fed in fuzzed pieces, and the whole
// request the library makes (CSDFHandler::GetSessionID) against a loopback server that plays up to
// five answers, one per connection, so redirects are followed too. The process runs in a network
// namespace of its own, so a redirect can only reach the loopback server or nothing.

#include <fuzzer/FuzzedDataProvider.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "FuzzLog.h"
#include "LoopbackListener.h"
#include "NetworkSandbox.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/HttpMessage.h"
#include "Network/Packet.h"
#include "Network/SDFHandler.h"

using namespace VexlaLib;

namespace {

const int kMaxAnswers = 5;

bool g_isolated = false;

// Feeds the answer to the message reader in the given piece sizes, then reads it as the client does.
void ParseAnswer(const std::string& answer, const std::vector<size_t>& pieces)
{
    CHttpMessage message;
    size_t offset = 0;
    for (size_t piece : pieces) {
        const size_t count = std::min(piece, answer.size() - offset);
        if (!message.Append(reinterpret_cast<const unsigned char*>(answer.data()) + offset, count))
            return;
        offset += count;
    }
    message.Append(reinterpret_cast<const unsigned char*>(answer.data()) + offset, answer.size() - offset);
    message.IsComplete();
    message.IsTruncated();
    message.GetStatus();
    message.GetStartLine();
    message.Describe();
    std::string location;
    message.GetField("Location", &location);
    if (message.HasHeader()) {
        CByteArrayInputStream in(message.GetBody());
        CPacket::Deserialize(&in);
    }
}

// Answers each connection with the next answer until `stop` becomes readable; drains what the client
// sent so that closing never resets the connection before the client has read the answer.
void Serve(const FuzzSupport::CLoopbackListener& listener, const std::vector<std::string>& answers, int stop)
{
    size_t next = 0;
    for (;;) {
        pollfd ready[2] = {{listener.Descriptor(), POLLIN, 0}, {stop, POLLIN, 0}};
        if (poll(ready, 2, -1) <= 0)
            continue;
        if (ready[1].revents != 0)
            return;
        const int peer = listener.Accept();
        if (peer < 0)
            continue;
        if (next < answers.size()) {
            const std::string& answer = answers[next++];
            FuzzSupport::CLoopbackListener::WriteAll(
                peer, reinterpret_cast<const unsigned char*>(answer.data()), answer.size());
        }
        shutdown(peer, SHUT_WR);
        char sink[4096];
        while (read(peer, sink, sizeof(sink)) > 0) {
        }
        close(peer);
    }
}

void AskDiscoveryServer(const std::vector<std::string>& answers)
{
    static const FuzzSupport::CLoopbackListener listener;
    const int stop = eventfd(0, EFD_CLOEXEC);
    std::thread server(Serve, std::cref(listener), std::cref(answers), stop);
    CSDFHandler handler;
    std::wstring sessionId;
    int operatorId = 0;
    handler.GetSessionID(listener.Address() + L"/sdf", L"", L"+15550100", &sessionId, &operatorId);
    const uint64_t one = 1;
    if (write(stop, &one, sizeof(one)) != sizeof(one))
        abort();
    server.join();
    close(stop);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_isolated = FuzzSupport::IsolateNetwork();
    if (!g_isolated)
        fprintf(stderr, "no network namespace: only the message reader is fuzzed\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    FuzzedDataProvider input(data, size);
    std::vector<size_t> pieces(input.ConsumeIntegralInRange<int>(0, 8));
    for (size_t& piece : pieces)
        piece = input.ConsumeIntegralInRange<size_t>(0, 64);
    std::vector<std::string> answers(input.ConsumeIntegralInRange<int>(1, kMaxAnswers));
    for (size_t n = 0; n + 1 < answers.size(); ++n)
        answers[n] = input.ConsumeRandomLengthString();
    answers.back() = input.ConsumeRemainingBytesAsString();

    ParseAnswer(answers.front(), pieces);
    if (g_isolated)
        AskDiscoveryServer(answers);
    return 0;
}
