#pragma once

#include <string>

#include "Utils/ByteArray.h"
#include "Utils/Lock.h"

namespace VexlaLib {

// Appends each session's identifiers and keys to a file, so that a packet capture of its traffic can
// be decoded (vexla-dump --pcap). One line per handshake:
//   VEXLA_SESSION <client random> <server random> <client key> <server key> <checksum key>
// in lower-case hexadecimal. Off until a program opens it; the programs that may do so open the file
// named by VEXLA_KEYLOG_FILE. Whoever reads the file can decrypt the sessions: the file is created
// with mode 0600 and opening it logs a warning.
class CKeyLog {
public:
    static CKeyLog& Instance();

    // Opens the file VEXLA_KEYLOG_FILE names, if it is set. False when it is set but cannot be opened.
    bool OpenFromEnvironment();
    // Opens `path` for appending (created with mode 0600); closes a file opened before.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    // Appends the line of one session; nothing when no file is open.
    void Record(const TByteArray& clientRandom, const TByteArray& serverRandom, const TByteArray& clientKey,
                const TByteArray& serverKey, const TByteArray& checksumKey);

private:
    CKeyLog() = default;
    ~CKeyLog();

    mutable CLock m_lock;
    int m_fd = -1;
};

}  // namespace VexlaLib
