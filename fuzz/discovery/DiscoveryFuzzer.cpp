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
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <mutex>
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

// The loopback server: one thread for the whole run answers each connection with the next answer of
// the current input (nothing once they are used up). It drains what the client sent so that closing
// never resets the connection before the client has read the answer.
class CAnswerServer {
public:
    CAnswerServer() : m_stop(eventfd(0, EFD_CLOEXEC)), m_thread([this] { Serve(); }) {}

    ~CAnswerServer()
    {
        const uint64_t one = 1;
        if (write(m_stop, &one, sizeof(one)) != sizeof(one))
            abort();
        m_thread.join();
        close(m_stop);
    }

    std::wstring Address() const { return m_listener.Address(); }

    void Play(const std::vector<std::string>& answers)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_answers = answers;
        m_next = 0;
    }

private:
    void Serve()
    {
        for (;;) {
            pollfd ready[2] = {{m_listener.Descriptor(), POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (poll(ready, 2, -1) <= 0)
                continue;
            if (ready[1].revents != 0)
                return;
            const int peer = m_listener.Accept();
            if (peer < 0)
                continue;
            std::string answer;
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                if (m_next < m_answers.size())
                    answer = m_answers[m_next++];
            }
            FuzzSupport::CLoopbackListener::WriteAll(
                peer, reinterpret_cast<const unsigned char*>(answer.data()), answer.size());
            shutdown(peer, SHUT_WR);
            char sink[4096];
            while (read(peer, sink, sizeof(sink)) > 0) {
            }
            close(peer);
        }
    }

    const FuzzSupport::CLoopbackListener m_listener;
    std::mutex m_mutex;
    std::vector<std::string> m_answers;
    size_t m_next = 0;
    const int m_stop;
    std::thread m_thread;
};

// The client reads each answer to its end before it opens the next connection or returns, so an
// input's answers go to its own connections.
void AskDiscoveryServer(const std::vector<std::string>& answers)
{
    static CAnswerServer server;
    server.Play(answers);
    CSDFHandler handler;
    std::wstring sessionId;
    int operatorId = 0;
    handler.GetSessionID(server.Address() + L"/sdf", L"", L"+15550100", &sessionId, &operatorId);
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
