#include "Network/KeyLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Utils/LogStream.h"
#include "Utils/Synchronize.h"

namespace VexlaLib {

namespace {

const char kEnvironmentVariable[] = "VEXLA_KEYLOG_FILE";

void AppendHex(const TByteArray& bytes, std::string* line)
{
    static const char kDigits[] = "0123456789abcdef";
    line->push_back(' ');
    for (unsigned char byte : bytes) {
        line->push_back(kDigits[byte >> 4]);
        line->push_back(kDigits[byte & 0x0f]);
    }
}

}  // namespace

CKeyLog& CKeyLog::Instance()
{
    static CKeyLog instance;
    return instance;
}

CKeyLog::~CKeyLog()
{
    Close();
}

bool CKeyLog::OpenFromEnvironment()
{
    const char* path = std::getenv(kEnvironmentVariable);
    return path == nullptr || *path == '\0' || Open(path);
}

bool CKeyLog::Open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int error = errno;
        LogError() << "Cannot open the key log " << path.c_str() << ": " << std::strerror(error) << std::endl;
        return false;
    }
    {
        CSynchronize guard(&m_lock);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    LogWarning() << "Session keys are being written to " << path.c_str()
                 << ": whoever reads that file can decrypt the traffic." << std::endl;
    return true;
}

void CKeyLog::Close()
{
    CSynchronize guard(&m_lock);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CKeyLog::IsOpen() const
{
    CSynchronize guard(&m_lock);
    return m_fd >= 0;
}

void CKeyLog::Record(const TByteArray& clientRandom, const TByteArray& serverRandom, const TByteArray& clientKey,
                     const TByteArray& serverKey, const TByteArray& checksumKey)
{
    CSynchronize guard(&m_lock);
    if (m_fd < 0)
        return;
    std::string line = "VEXLA_SESSION";
    for (const TByteArray* field : {&clientRandom, &serverRandom, &clientKey, &serverKey, &checksumKey})
        AppendHex(*field, &line);
    line.push_back('\n');
    // One write per line: with O_APPEND, lines of several processes never interleave.
    if (::write(m_fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        const int error = errno;
        LogError() << "Cannot write the key log: " << std::strerror(error) << std::endl;
    }
}

}  // namespace VexlaLib
