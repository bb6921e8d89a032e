#pragma once

#include <string>

#include "Utils/CoalescingWriter.h"
#include "Utils/LocalStorage.h"

namespace VexlaLib {

// The daemon's store file. Layout: the magic "TCSLV0.1", the time of writing (seconds, int32), the
// record count (int32), the records in key order (int32 key length, UTF-8 key, int32 value length,
// value), then the SHA-1 of everything before it; numbers little-endian. The file is replaced through
// "<path>.tmp", so a crash while writing leaves the previous file or a temporary file whose digest fails.
//
// Writes run on a writer thread of their own from a copy of the entries, so readers and writers of the
// entries never wait for the disk; writes asked for in a burst are served by one.
class CPersistentFileStorage : public CLocalStorage
{
public:
    enum TWriteStart {
        WRITE_AT_ONCE,       // files are tidied and written from Initialize on
        WRITE_ONCE_STARTED,  // the files on disk are left alone until StartWriting
    };

    explicit CPersistentFileStorage(const std::wstring& path, TWriteStart writeStart = WRITE_AT_ONCE);
    ~CPersistentFileStorage() override;

    // Loads the main or the temporary file, whichever is valid and newer; empty when neither is.
    void Initialize() override;
    // Finishes what loading found (renames a newer temporary file over the main file, or removes a
    // stale one) and starts the writer; writes asked for before are done now. Later calls do nothing.
    void StartWriting();
    // Writes the file once if writing was started, ends the writer and releases the lock; later calls
    // do nothing. A store never started leaves the files as it found them.
    void Terminate() override;
    // Writes every entry to the temporary file (mode 0600, synced to disk) and renames it over the
    // main file, waiting until a write that began after the call has ended. False when it failed, or
    // when writing has not been started (the write then happens at StartWriting).
    bool Synchronize() override;
    // Asks the writer for a write and returns at once.
    void RequestSynchronize() override;

protected:
    // Replaces the main file with `image`; errno tells why on failure. Runs on the writer thread.
    virtual bool WriteImage(const std::vector<unsigned char>& image);

private:
    static bool LoadFile(const std::string& path, TEntries* entries, int* time);
    static std::vector<unsigned char> BuildImage(const TEntries& entries, int time);
    // Copies the entries under the lock and writes them without it.
    bool WriteSnapshot();

    std::string m_path;
    std::string m_tempPath;
    const TWriteStart m_writeStart;
    bool m_tempIsNewer;
    bool m_started;
    bool m_terminated;
    CCoalescingWriter m_writer;
};

}  // namespace VexlaLib
