#pragma once

#include <string>

#include "Utils/LocalStorage.h"

namespace VexlaLib {

// The daemon's store file. Layout: the magic "TCSLV0.1", the time of writing (seconds, int32), the
// record count (int32), the records in key order (int32 key length, UTF-8 key, int32 value length,
// value), then the SHA-1 of everything before it; numbers little-endian. The file is replaced through
// "<path>.tmp", so a crash while writing leaves the previous file or a temporary file whose digest fails.
class CPersistentFileStorage : public CLocalStorage {
public:
    explicit CPersistentFileStorage(const std::wstring& path);

    // Loads the main or the temporary file, whichever is valid and newer; empty when neither is.
    void Initialize() override;
    // Writes the file once and releases the lock; later calls do nothing.
    void Terminate() override;
    // Writes every entry to the temporary file (mode 0600, synced to disk) and renames it over the
    // main file. On failure the main file stays as it was and false is returned.
    bool Synchronize() override;

private:
    static bool LoadFile(const std::string& path, TEntries* entries, int* time);
    static std::vector<unsigned char> BuildImage(const TEntries& entries, int time);
    // Replaces `path` with `image` through `tempPath`; errno tells why on failure.
    static bool WriteFile(const std::string& path, const std::string& tempPath, const std::vector<unsigned char>& image);

    std::string m_path;
    std::string m_tempPath;
    bool m_terminated;
};

}  // namespace VexlaLib
