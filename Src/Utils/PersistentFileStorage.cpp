#include "Utils/PersistentFileStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>

#include "Utils/LogStream.h"
#include "Utils/SHA1.h"
#include "Utils/Synchronize.h"
#include "Utils/Utils.h"

namespace VexlaLib {

namespace {

const char MAGIC[8] = {'T', 'C', 'S', 'L', 'V', '0', '.', '1'};
const size_t HEADER_LENGTH = sizeof(MAGIC) + 4 + 4;
const size_t MINIMUM_FILE_LENGTH = HEADER_LENGTH + CSHA1::DIGEST_LENGTH;
// Far above anything the store holds; a larger file is not read into memory.
const off_t MAXIMUM_FILE_LENGTH = 64 << 20;

void AppendInt32(std::vector<unsigned char>& image, int value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    for (int n = 0; n < 4; ++n) {
        image.push_back(static_cast<unsigned char>(bits >> (8 * n)));
    }
}

// Reads the body of a store file front to back; every read checks what remains.
class BodyReader
{
public:
    BodyReader(const unsigned char* data, size_t length) : m_data(data), m_remaining(length) {}

    bool ReadInt32(int* value)
    {
        if (m_remaining < 4) {
            return false;
        }
        uint32_t bits = 0;
        for (int n = 0; n < 4; ++n) {
            bits |= uint32_t(m_data[n]) << (8 * n);
        }
        Skip(4);
        *value = static_cast<int>(bits);
        return true;
    }

    // A length-prefixed field: the length must not be negative and must fit in what remains.
    bool ReadField(const unsigned char** field, size_t* length)
    {
        int declared;
        if (!ReadInt32(&declared) || declared < 0 || size_t(declared) > m_remaining) {
            return false;
        }
        *field = m_data;
        *length = size_t(declared);
        Skip(*length);
        return true;
    }

private:
    void Skip(size_t count)
    {
        m_data += count;
        m_remaining -= count;
    }

    const unsigned char* m_data;
    size_t m_remaining;
};

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* content)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MAXIMUM_FILE_LENGTH;
    if (ok) {
        content->resize(size_t(info.st_size));
        size_t done = 0;
        while (ok && done < content->size()) {
            ssize_t count = read(fd, content->data() + done, content->size() - done);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            ok = count > 0;
            done += ok ? size_t(count) : 0;
        }
    }
    close(fd);
    return ok;
}

bool WriteAll(int fd, const std::vector<unsigned char>& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t count = write(fd, data.data() + done, data.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += size_t(count);
    }
    return true;
}

// Makes a rename in the directory of `path` durable.
void SyncDirectoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

CPersistentFileStorage::CPersistentFileStorage(const std::wstring& path, TWriteStart writeStart)
    : m_path(CUtils::ConvertWideToChar(path)),
      m_tempPath(m_path + ".tmp"),
      m_writeStart(writeStart),
      m_tempIsNewer(false),
      m_started(false),
      m_terminated(false),
      m_writer([this] { return WriteSnapshot(); })
{}

CPersistentFileStorage::~CPersistentFileStorage()
{
    // The writer reads the entries and the lock, which the base class destroys.
    m_writer.Stop();
}

void CPersistentFileStorage::Initialize()
{
    CLocalStorage::Initialize();
    TEntries mainEntries, tempEntries;
    int mainTime = 0, tempTime = 0;
    const bool mainLoaded = LoadFile(m_path, &mainEntries, &mainTime);
    const bool tempLoaded = LoadFile(m_tempPath, &tempEntries, &tempTime);
    {
        CSynchronize guard(m_lock);
        // A newer temporary file is a complete image whose rename did not happen.
        m_tempIsNewer = tempLoaded && (!mainLoaded || tempTime > mainTime);
        if (m_tempIsNewer) {
            m_entries.swap(tempEntries);
        } else if (mainLoaded) {
            m_entries.swap(mainEntries);
        }
    }
    if (m_writeStart == WRITE_AT_ONCE) {
        StartWriting();
    }
}

void CPersistentFileStorage::StartWriting()
{
    if (m_started || m_terminated) {
        return;
    }
    m_started = true;
    if (m_tempIsNewer) {
        if (rename(m_tempPath.c_str(), m_path.c_str()) == 0) {
            SyncDirectoryOf(m_path);
        }
    } else {
        // An older or broken temporary file is of no further use.
        unlink(m_tempPath.c_str());
    }
    m_writer.Start();
}

void CPersistentFileStorage::Terminate()
{
    if (m_terminated) {
        return;
    }
    m_terminated = true;
    if (m_started) {
        m_writer.Flush();
    }
    m_writer.Stop();
    CLocalStorage::Terminate();
}

bool CPersistentFileStorage::Synchronize()
{
    assert(m_lock != nullptr && "PersistentFileStorage.cpp: store written outside Initialize and Terminate");
    return m_writer.Flush();
}

void CPersistentFileStorage::RequestSynchronize()
{
    m_writer.Request();
}

bool CPersistentFileStorage::WriteSnapshot()
{
    TEntries snapshot;
    {
        CSynchronize guard(m_lock);
        snapshot = m_entries;
    }
    if (WriteImage(BuildImage(snapshot, static_cast<int>(CUtils::CurrentTimeInSec())))) {
        return true;
    }
    LogWarning() << "Could not write the store file " << m_path << ": " << strerror(errno) << std::endl;
    return false;
}

bool CPersistentFileStorage::LoadFile(const std::string& path, TEntries* entries, int* time)
{
    std::vector<unsigned char> content;
    if (!ReadWholeFile(path, &content) || content.size() < MINIMUM_FILE_LENGTH) {
        return false;
    }
    const size_t bodyLength = content.size() - CSHA1::DIGEST_LENGTH;
    unsigned char digest[CSHA1::DIGEST_LENGTH];
    CSHA1::Calc(content.data(), int(bodyLength), digest);
    if (memcmp(digest, content.data() + bodyLength, sizeof(digest)) != 0 ||
        memcmp(content.data(), MAGIC, sizeof(MAGIC)) != 0) {
        return false;
    }

    BodyReader reader(content.data() + sizeof(MAGIC), bodyLength - sizeof(MAGIC));
    int count;
    if (!reader.ReadInt32(time) || !reader.ReadInt32(&count) || count < 0) {
        return false;
    }
    TEntries loaded;
    for (int record = 0; record < count; ++record) {
        const unsigned char* key;
        const unsigned char* value;
        size_t keyLength, valueLength;
        if (!reader.ReadField(&key, &keyLength) || !reader.ReadField(&value, &valueLength)) {
            return false;
        }
        std::wstring wideKey = CUtils::ConvertCharToWide(std::string(key, key + keyLength));
        loaded[wideKey].assign(value, value + valueLength);
    }
    entries->swap(loaded);
    return true;
}

std::vector<unsigned char> CPersistentFileStorage::BuildImage(const TEntries& entries, int time)
{
    std::vector<unsigned char> image(MAGIC, MAGIC + sizeof(MAGIC));
    AppendInt32(image, time);
    AppendInt32(image, static_cast<int>(entries.size()));
    for (const auto& entry : entries) {
        std::string key = CUtils::ConvertWideToChar(entry.first);
        AppendInt32(image, static_cast<int>(key.size()));
        image.insert(image.end(), key.begin(), key.end());
        AppendInt32(image, static_cast<int>(entry.second.size()));
        image.insert(image.end(), entry.second.begin(), entry.second.end());
    }
    image.resize(image.size() + CSHA1::DIGEST_LENGTH);
    CSHA1::Calc(image.data(), int(image.size() - CSHA1::DIGEST_LENGTH), &image[image.size() - CSHA1::DIGEST_LENGTH]);
    return image;
}

bool CPersistentFileStorage::WriteImage(const std::vector<unsigned char>& image)
{
    const std::string& path = m_path;
    const std::string& tempPath = m_tempPath;
    // A stale temporary file is removed first, so the new one is always created with mode 0600.
    if (unlink(tempPath.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, image) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(tempPath.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(tempPath.c_str());
        errno = error;
        return false;
    }
    SyncDirectoryOf(path);
    return true;
}

}  // namespace VexlaLib
