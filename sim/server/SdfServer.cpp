#include "SdfServer.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "EventLog.h"
#include "Json.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/OutgoingPacket.h"
#include "Network/Packet.h"
#include "Network/SDFHandler.h"
#include "Network/Value.h"
#include "Scenario.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

namespace ServerSim {

using namespace VexlaLib;

namespace {

const size_t kMaxRequest = 64 * 1024;

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 404: return "Not Found";
    default: return "Error";
    }
}

}  // namespace

CSdfServer::CSdfServer(SSimContext& context) : m_context(context) {}

CSdfServer::~CSdfServer()
{
    Stop();
}

bool CSdfServer::Listen(const std::string& address, int port, std::string& error)
{
    return m_listener.ListenTcp(address, port, error);
}

void CSdfServer::Start()
{
    m_thread = std::thread(&CSdfServer::AcceptLoop, this);
}

void CSdfServer::Stop()
{
    if (m_thread.joinable()) {
        m_listener.Wake();
        m_thread.join();
    }
}

void CSdfServer::AcceptLoop()
{
    int fd;
    while ((fd = m_listener.Accept()) >= 0) {
        Serve(fd);
        close(fd);
    }
}

void CSdfServer::Serve(int fd)
{
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    std::string header;
    std::string body;
    if (!ReadRequest(fd, header, body)) {
        LogWarning() << "vexla-server-sim: incomplete discovery request dropped";
        return;
    }
    const std::string answer = Answer(header.substr(0, header.find("\r\n")), body);
    size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t written = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (written <= 0) {
            return;
        }
        sent += static_cast<size_t>(written);
    }
    shutdown(fd, SHUT_WR);
}

bool CSdfServer::ReadRequest(int fd, std::string& header, std::string& body)
{
    std::string data;
    char buffer[4096];
    size_t headerEnd = std::string::npos;
    size_t contentLength = 0;
    while (true) {
        if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
            header = data.substr(0, headerEnd + 2);
            const char* field = strcasestr(header.c_str(), "\r\nContent-Length:");
            contentLength = field != nullptr ? std::strtoul(field + 17, nullptr, 10) : 0;
            if (contentLength > kMaxRequest) {
                return false;
            }
        }
        if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) {
            body = data.substr(headerEnd + 4, contentLength);
            return true;
        }
        if (data.size() > kMaxRequest) {
            return false;
        }
        const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data.append(buffer, static_cast<size_t>(got));
    }
}

std::string CSdfServer::Answer(const std::string& requestLine, const std::string& body)
{
    const SSdfAnswer answer = m_context.scenario.SdfAnswer();
    TJsonPtr event(json_object_new_object());
    json_object_object_add(event.get(), "type", json_object_new_string("sdf"));
    json_object_object_add(event.get(), "request", json_object_new_string(requestLine.c_str()));
    CByteArrayInputStream in(std::make_shared<TByteArray>(body.begin(), body.end()));
    TPacketSPtr request = CPacket::Deserialize(&in);
    std::wstring phone;
    int kind = 0;
    if (request && request->GetAttrString(CSDFHandler::SDF_KEY_PHONE_NUMBER, &phone)) {
        json_object_object_add(event.get(), "phone", json_object_new_string(CUtils::ConvertWideToChar(phone).c_str()));
    }
    if (request && request->GetAttrInt32(CSDFHandler::SDF_KEY_REQUEST, &kind)) {
        json_object_object_add(event.get(), "kind", json_object_new_int(kind));
    }
    json_object_object_add(event.get(), "decoded", json_object_new_boolean(request != nullptr));
    json_object_object_add(event.get(), "status", json_object_new_int(answer.status));
    if (!answer.fault.empty()) {
        json_object_object_add(event.get(), "fault", json_object_new_string(answer.fault.c_str()));
    }
    m_context.events.Append(std::move(event));
    return Compose(answer, CUtils::ConvertWideToChar(phone));
}

std::string CSdfServer::Compose(const SSdfAnswer& answer, const std::string& phone)
{
    if (answer.fault == "close") {
        return "";
    }
    if (answer.fault == "no_blank") {
        return "HTTP/1.1 200 OK\r\nContent-Type: application/x-sdf-ac\r\n";
    }
    int status = answer.status;
    std::string content;
    std::string extraHeader;
    if (answer.fault == "not_packet") {
        status = 200;
        content = "this is not a packet";
    } else if (status == 200) {
        const SSdfIdentity& identity = answer.IdentityFor(phone);
        const TPacketSPtr reply = COutgoingPacket::CreateContainer();
        if (!identity.sessionId.empty()) {
            COutgoingPacket::AddString(reply, CSDFHandler::SDF_KEY_SESSION_ID, identity.sessionId);
        }
        if (identity.operatorId >= 0) {
            COutgoingPacket::AddInt32(reply, CSDFHandler::SDF_KEY_OPERATOR_ID, identity.operatorId);
        }
        CByteArrayOutputStream out;
        reply->Serialize(&out);
        content.assign(out.ToByteArray()->begin(), out.ToByteArray()->end());
        extraHeader = "Content-Type: application/x-sdf-ac\r\n";
    } else if (!answer.location.empty()) {
        extraHeader = "Location: " + answer.location + "\r\n";
    }
    return "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n" + extraHeader +
           "Content-Length: " + std::to_string(content.size()) + "\r\nConnection: close\r\n\r\n" + content;
}

}  // namespace ServerSim
