#include "Network/Http.h"

#include <algorithm>
#include <cctype>

#include "Network/HttpMessage.h"
#include "Utils/LogStream.h"
#include "Utils/Synchronize.h"
#include "Utils/Utils.h"

namespace VexlaLib {

namespace {

const int READ_CHUNK_SIZE = 4096;
const char HTTP_SCHEME[] = "http://";

bool IsRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307; }

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t n = 0;
    for (; prefix[n] != '\0'; ++n) {
        if (n >= text.size() || std::tolower(static_cast<unsigned char>(text[n])) != prefix[n]) {
            return false;
        }
    }
    return true;
}

bool IsUrlText(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

}  // namespace

CHttp::CHttp() : m_data(std::make_shared<TByteArray>()), m_aborted(false) {}

CHttp::~CHttp() = default;

int CHttp::Request(const std::wstring& url, const std::wstring& localAddress, const std::wstring& headerLines,
                   const TByteArraySPtr& body)
{
    const std::string extraLines = CUtils::ConvertWideToChar(headerLines);
    std::wstring target = url;
    for (int budget = REDIRECT_BUDGET;;) {
        const TSocketSPtr socket = OpenSocket(target, localAddress);
        if (!socket) {
            return STATUS_FAILED;
        }
        LogInfo() << "Connected to sdf server: " << target << std::endl;
        CHttpMessage response;
        const bool answered =
            SendRequest(socket.get(), target, extraLines, body) && ReadResponse(socket.get(), &response);
        socket->Close();
        if (!answered) {
            return STATUS_FAILED;
        }
        const int status = response.GetStatus();
        if (!IsRedirect(status)) {
            if (status == STATUS_OK) {
                m_data = response.GetBody();
            }
            return status;
        }
        LogInfo() << "Redirecting" << std::endl;
        if (!RedirectTarget(response, target, &target) || --budget == 0) {
            return STATUS_FAILED;
        }
    }
}

TSocketSPtr CHttp::OpenSocket(const std::wstring& url, const std::wstring& localAddress)
{
    const TSocketSPtr socket = std::make_shared<CSocket>(CSocket::SOCKET_TYPE_CLIENT);
    {
        CSynchronize guard(&m_lock);
        if (m_aborted) {
            return nullptr;
        }
        m_socket = socket;
    }
    if (!socket->Connect(url, localAddress)) {
        socket->Close();
        return nullptr;
    }
    return socket;
}

bool CHttp::SendRequest(CSocket* socket, const std::wstring& url, const std::string& headerLines,
                        const TByteArraySPtr& body)
{
    std::string host, port, path;
    CSocket::Decompose(url, &host, &port, &path);
    const bool hasBody = body && !body->empty();
    std::string header = (hasBody ? "POST " : "GET ") + path + " HTTP/1.1\r\n";
    header += "Host: " + host + "\r\n";
    header += headerLines;
    header += "User-Agent: VexlaLib http component\r\n";
    header += "Connection: close\r\n";
    if (hasBody) {
        header += "Content-Length: " + std::to_string(body->size()) + "\r\n";
    }
    header += "\r\n";
    LogDebug() << "HTTP request: " << header << std::endl;

    const int length = static_cast<int>(header.size());
    if (socket->Send(reinterpret_cast<unsigned char*>(&header[0]), length) != length) {
        return false;
    }
    return !hasBody || socket->SendArray(body);
}

bool CHttp::ReadResponse(CSocket* socket, CHttpMessage* response)
{
    unsigned char chunk[READ_CHUNK_SIZE];
    bool fits = true;
    while (!response->IsComplete()) {
        // The answer ends when the server closes, a read fails or times out, or the announced body is in.
        const int got = socket->RecvAvailable(chunk, READ_CHUNK_SIZE);
        if (got <= 0) {
            break;
        }
        if (!response->Append(chunk, static_cast<size_t>(got))) {
            fits = false;
            break;
        }
    }
    LogDebug() << "HTTP response: " << response->Describe() << std::endl;
    return fits && response->HasHeader() && !response->IsTruncated();
}

bool CHttp::RedirectTarget(const CHttpMessage& response, const std::wstring& url, std::wstring* target)
{
    std::string location;
    if (!response.GetField("Location", &location)) {
        return false;
    }
    while (!location.empty() && (location.back() == ' ' || location.back() == '\t')) {
        location.pop_back();
    }
    if (StartsWithNoCase(location, HTTP_SCHEME)) {
        location.erase(0, sizeof(HTTP_SCHEME) - 1);
    }
    if (!IsUrlText(location)) {
        return false;
    }
    if (location[0] == '/') {
        // A path alone stays on the server that answered.
        std::string host, port, path;
        CSocket::Decompose(url, &host, &port, &path);
        location = host + ":" + port + location;
    }
    *target = CUtils::ConvertCharToWide(location);
    return true;
}

TByteArraySPtr CHttp::GetData() const { return m_data; }

int CHttp::GetLastConnectResult() const
{
    CSynchronize guard(&m_lock);
    return m_socket ? m_socket->GetLastConnectResult() : static_cast<int>(CSocket::CONNECT_NOT_ATTEMPTED);
}

void CHttp::Abort()
{
    CSynchronize guard(&m_lock);
    m_aborted = true;
    if (m_socket) {
        m_socket->Close();
    }
}

}  // namespace VexlaLib
