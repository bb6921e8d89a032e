#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/IProcessQueueWorker.h"

namespace VexlaLib {
class CVexlaLib;
}
class CProcessQueue;
class IAvatarChangeListener;

// Buddies' pictures as JPEG files in one directory, named AVATAR_0x<checksum>_<user name>.jpg, so the
// directory listing alone tells which picture of whom is cached. A contact whose checksum differs
// from the cached one is queued, and at most two pictures are requested from the network every 5 s.
// A received picture is written through a ".tmp" twin and renamed into place; the listeners then
// hear of the change. User names unfit for a file name (see IsSafeFileNamePart) get no file.
// Main-loop thread only.
class CAvatarCache : public VexlaLib::IVexlaLibListener, public IProcessQueueWorker {
public:
    static const int ITEMS_PER_TICK = 2;
    static const int TICK_PERIOD_MS = 5000;

    // Registers with the library (not owned, must outlive this object) and starts the fetch queue.
    CAvatarCache(const std::wstring& directory, VexlaLib::CVexlaLib* library);
    ~CAvatarCache() override;

    CAvatarCache(const CAvatarCache&) = delete;
    CAvatarCache& operator=(const CAvatarCache&) = delete;

    // Reads the directory listing into the map of cached pictures; false (logged) when the directory
    // cannot be opened. Files that are not cache files are left alone.
    bool Initialize();

    bool HasCachedAvatar(const VexlaLib::CContact& contact) const;
    // 0 when nothing is cached.
    int GetCachedAvatarCRC(const VexlaLib::CContact& contact) const;
    // The file of the cached picture; false when nothing is cached.
    bool GetCachedAvatarFileName(const VexlaLib::CContact& contact, std::wstring* path) const;
    // The file for the contact's current checksum; false when the user name is unfit for a file name.
    bool BuildAvatarFileName(const VexlaLib::CContact& contact, std::wstring* path) const;

    // False for null or when nothing changes.
    bool AddListener(IAvatarChangeListener* listener);
    bool RemoveListener(IAvatarChangeListener* listener);

    // AVATAR_0x<hex>_<name>.<extension> → name and checksum; false for anything else, including names
    // that would be unfit to write.
    static bool InitAvatarFromFileName(const std::wstring& fileName, std::wstring* name, int* crc);
    // Not empty, no "/", no leading ".", no NUL or other control character, only Unicode scalar values
    // (no surrogates, nothing above U+10FFFF) and unchanged through UTF-8 and back: such a name keeps a
    // file inside the cache directory and is read back as the same name.
    static bool IsSafeFileNamePart(const std::wstring& name);

    // IVexlaLibListener.
    void OnContactAdded(const VexlaLib::CContact& contact) override;
    void OnContactUpdated(const VexlaLib::CContact& contact, int changes) override;
    void OnAvatarReceived(const VexlaLib::CContact& contact, VexlaLib::TByteArraySPtr image) override;
    void OnNewSession(bool resumed) override;

    // IProcessQueueWorker: requests the picture of the user named `key`.
    void ProcessItem(std::wstring key) override;
    void ItemRemoved(std::wstring key) override;

private:
    // Queues the contact when its checksum says the cached picture is missing or stale.
    void ProcessAvatar(const VexlaLib::CContact& contact);
    std::wstring BuildAvatarFileName(const std::wstring& name, int crc) const;
    // Writes the picture (without a leading zero byte) to `path`; false (logged) on any failure, with
    // nothing left behind.
    static bool WritePicture(const std::wstring& name, const std::string& path, const VexlaLib::TByteArray& image);
    void NotifyAvatarChanged(const std::wstring& name, int crc);

    std::wstring m_directory;
    VexlaLib::CVexlaLib* m_pLibrary;
    std::unique_ptr<CProcessQueue> m_pQueue;
    std::map<std::wstring, int> m_cachedAvatars;
    std::vector<IAvatarChangeListener*> m_listeners;
};
