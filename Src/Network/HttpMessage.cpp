#include "Network/HttpMessage.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace VexlaLib {

namespace {

const char HEADER_END[] = "\r\n\r\n";
const size_t HEADER_END_SIZE = 4;
const size_t MAX_DESCRIBED_BYTES = 4096;

bool SameNoCase(const char* a, const char* b, size_t count)
{
    for (size_t n = 0; n < count; ++n) {
        if (std::tolower(static_cast<unsigned char>(a[n])) != std::tolower(static_cast<unsigned char>(b[n]))) {
            return false;
        }
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CHttpMessage::CHttpMessage() : m_headerEnd(std::string::npos), m_contentLength(-1) {}

bool CHttpMessage::Append(const unsigned char* bytes, size_t count)
{
    if (HasHeader() && m_contentLength >= 0) {
        const size_t wanted = m_headerEnd + static_cast<size_t>(m_contentLength);
        count = std::min(count, wanted - std::min(wanted, m_bytes.size()));
    }
    if (count > MAX_SIZE - m_bytes.size()) {
        return false;
    }
    const size_t searchFrom = m_bytes.size() >= HEADER_END_SIZE - 1 ? m_bytes.size() - (HEADER_END_SIZE - 1) : 0;
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    if (HasHeader()) {
        return true;
    }
    const auto found =
        std::search(m_bytes.begin() + searchFrom, m_bytes.end(), HEADER_END, HEADER_END + HEADER_END_SIZE);
    if (found == m_bytes.end()) {
        return true;
    }
    m_headerEnd = static_cast<size_t>(found - m_bytes.begin()) + HEADER_END_SIZE;
    if (!ReadContentLength()) {
        return false;
    }
    if (m_contentLength >= 0) {
        m_bytes.resize(std::min(m_bytes.size(), m_headerEnd + static_cast<size_t>(m_contentLength)));
    }
    return true;
}

bool CHttpMessage::ReadContentLength()
{
    std::string text;
    if (!GetField("Content-Length", &text)) {
        return true;
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.pop_back();
    }
    // Nine digits hold every length within the bound, without overflow.
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    m_contentLength = std::stoll(text);
    return static_cast<size_t>(m_contentLength) <= MAX_SIZE - m_headerEnd;
}

bool CHttpMessage::IsComplete() const
{
    return HasHeader() && m_contentLength >= 0 && m_bytes.size() - m_headerEnd == static_cast<size_t>(m_contentLength);
}

bool CHttpMessage::IsTruncated() const { return HasHeader() && m_contentLength >= 0 && !IsComplete(); }

std::string CHttpMessage::GetStartLine() const
{
    const size_t end = HasHeader() ? m_headerEnd : m_bytes.size();
    const std::string header(m_bytes.begin(), m_bytes.begin() + end);
    return header.substr(0, header.find("\r\n"));
}

int CHttpMessage::GetStatus() const
{
    const std::string line = GetStartLine();
    size_t at = line.find(' ');
    if (at == std::string::npos) {
        return STATUS_UNREADABLE;
    }
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    const bool negative = at < line.size() && line[at] == '-';
    if (at < line.size() && (line[at] == '-' || line[at] == '+')) {
        ++at;
    }
    long long value = 0;
    size_t digits = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at, ++digits) {
        value = value * 10 + (line[at] - '0');
        if (value > INT_MAX) {
            return STATUS_UNREADABLE;
        }
    }
    if (digits == 0) {
        return STATUS_UNREADABLE;
    }
    return static_cast<int>(negative ? -value : value);
}

bool CHttpMessage::GetField(const std::string& name, std::string* value) const
{
    if (!HasHeader()) {
        return false;
    }
    const char* const header = reinterpret_cast<const char*>(m_bytes.data());
    const size_t size = m_headerEnd;
    const size_t count = name.size();
    // Fields start on the line after the status line.
    const char* statusEnd = static_cast<const char*>(std::memchr(header, '\n', size));
    for (size_t start = statusEnd ? static_cast<size_t>(statusEnd - header) + 1 : size; start < size;) {
        const char* newline = static_cast<const char*>(std::memchr(header + start, '\n', size - start));
        const size_t lineEnd = newline ? static_cast<size_t>(newline - header) : size;
        if (lineEnd - start > count && SameNoCase(header + start, name.data(), count) && header[start + count] == ':') {
            size_t from = start + count + 1;
            while (from < lineEnd && IsBlank(header[from])) {
                ++from;
            }
            size_t to = from;
            while (to < lineEnd && header[to] != '\r') {
                ++to;
            }
            value->assign(header + from, to - from);
            return true;
        }
        start = lineEnd + 1;
    }
    return false;
}

TByteArraySPtr CHttpMessage::GetBody() const
{
    if (!HasHeader()) {
        return std::make_shared<TByteArray>();
    }
    return std::make_shared<TByteArray>(m_bytes.begin() + m_headerEnd, m_bytes.end());
}

std::string CHttpMessage::Describe() const
{
    const size_t shown = std::min(HasHeader() ? m_headerEnd : m_bytes.size(), MAX_DESCRIBED_BYTES);
    std::string text;
    text.reserve(shown + 32);
    for (size_t n = 0; n < shown; ++n) {
        const unsigned char c = m_bytes[n];
        text += (c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) ? static_cast<char>(c) : '.';
    }
    if (HasHeader()) {
        text += "<" + std::to_string(m_bytes.size() - m_headerEnd) + " body bytes>";
    } else if (shown < m_bytes.size()) {
        text += "<" + std::to_string(m_bytes.size() - shown) + " more bytes>";
    }
    return text;
}

}  // namespace VexlaLib
