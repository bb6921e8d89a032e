#pragma once

#include <map>
#include <string>

#include "Utils/ByteArray.h"

// The session keys of a key log (VEXLA_KEYLOG_FILE), found by the session's client random, which the
// handshake sends in plain. Lines other than "VEXLA_SESSION" lines with five hexadecimal fields are
// ignored; of two lines for one client random the later counts.
class CKeyLogFile {
public:
    struct SKeys {
        VexlaLib::TByteArray serverRandom;
        VexlaLib::TByteArray clientKey;
        VexlaLib::TByteArray serverKey;
        VexlaLib::TByteArraySPtr checksumKey;
    };

    bool Load(const std::string& path, std::string* error);
    void Parse(const std::string& text);
    // The keys of the session with this client random, or null.
    const SKeys* Find(const VexlaLib::TByteArray& clientRandom) const;

private:
    std::map<VexlaLib::TByteArray, SKeys> m_sessions;
};
