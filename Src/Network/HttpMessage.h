#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Utils/ByteArray.h"

namespace VexlaLib {

// One HTTP message (a request or its answer) as its bytes come in: the header up to its blank line,
// the start line, the header fields and the body. The message is bounded in size, and a body
// announced by Content-Length ends after that many bytes even when the peer keeps the connection open.
class CHttpMessage {
public:
    static constexpr size_t MAX_SIZE = 1024 * 1024;
    // The status of an answer whose status line has no readable number.
    static constexpr int STATUS_UNREADABLE = 400;

    CHttpMessage();

    // Adds received bytes (bytes past an announced body are dropped). False when the message grows
    // beyond MAX_SIZE or announces a Content-Length that is not a number or does not fit.
    bool Append(const unsigned char* bytes, size_t count);

    bool HasHeader() const { return m_headerEnd != std::string::npos; }
    // True once the header is in and the body holds all the bytes Content-Length announced.
    bool IsComplete() const;
    // True when Content-Length announced more bytes than arrived.
    bool IsTruncated() const;

    // The number after the first blank of the start line (an answer's status); STATUS_UNREADABLE
    // without one.
    int GetStatus() const;
    // The start line without its "\r\n" (a request's method, path and version).
    std::string GetStartLine() const;
    // The value of the first header field of that name (compared without regard to case), without
    // the blanks after the colon.
    bool GetField(const std::string& name, std::string* value) const;
    // A copy of the body: everything after the header, or the announced Content-Length of it.
    TByteArraySPtr GetBody() const;

    // The header (or, without a complete header, the start of what arrived) as printable text, and
    // the body size, for the debug log.
    std::string Describe() const;

private:
    bool ReadContentLength();

    std::vector<unsigned char> m_bytes;
    size_t m_headerEnd;         // offset of the first body byte; npos until the blank line arrived
    long long m_contentLength;  // -1 when none was announced
};

}  // namespace VexlaLib
