#include "Tesk/App/Meridex/AvatarCache.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "Model/ContactChange.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/IAvatarChangeListener.h"
#include "Tesk/App/ProcessQueue.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

using VexlaLib::CContact;
using VexlaLib::CUtils;

namespace {

const wchar_t FILE_PREFIX[] = L"AVATAR_";
const wchar_t CRC_MARK[] = L"_0x";
const wchar_t TEMPORARY_SUFFIX[] = L".tmp";

std::string ToPath(const std::wstring& fileName)
{
    return CUtils::ConvertWideToChar(fileName);
}

// "0x" and eight lower-case hexadecimal digits; ten zeros for 0 (the "%#010x" form).
std::wstring FormatCrc(int crc)
{
    wchar_t text[16];
    // "0x" spelled out: the "#" flag leaves it off for 0, which no listing would read back.
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"0x%08x", static_cast<unsigned int>(crc));
    return text;
}

// One to eight hexadecimal digits and nothing else.
bool ParseCrc(const std::wstring& text, int* crc)
{
    if (text.empty() || text.size() > 8)
        return false;
    unsigned int value = 0;
    for (wchar_t c : text) {
        unsigned int digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            return false;
        value = value * 16 + digit;
    }
    *crc = static_cast<int>(value);
    return true;
}

}  // namespace

CAvatarCache::CAvatarCache(const std::wstring& directory, VexlaLib::CVexlaLib* library)
    : m_directory(directory), m_pLibrary(library), m_pQueue(new CProcessQueue(this, ITEMS_PER_TICK))
{
    m_pLibrary->AddListener(this);
    m_pQueue->StartTimer(*m_pLibrary, TICK_PERIOD_MS);
}

CAvatarCache::~CAvatarCache()
{
    m_pLibrary->RemoveListener(this);
}

bool CAvatarCache::Initialize()
{
    DIR* dir = opendir(ToPath(m_directory).c_str());
    if (dir == nullptr) {
        VexlaLib::LogError() << "Error opening " << m_directory << std::endl;
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        std::wstring name;
        int crc = 0;
        if (InitAvatarFromFileName(CUtils::ConvertCharToWide(entry->d_name), &name, &crc))
            m_cachedAvatars[name] = crc;
    }
    closedir(dir);
    return true;
}

bool CAvatarCache::HasCachedAvatar(const CContact& contact) const
{
    return m_cachedAvatars.count(contact.GetVexlaName()) != 0;
}

int CAvatarCache::GetCachedAvatarCRC(const CContact& contact) const
{
    const auto cached = m_cachedAvatars.find(contact.GetVexlaName());
    return cached == m_cachedAvatars.end() ? 0 : cached->second;
}

bool CAvatarCache::GetCachedAvatarFileName(const CContact& contact, std::wstring* path) const
{
    const auto cached = m_cachedAvatars.find(contact.GetVexlaName());
    if (cached == m_cachedAvatars.end())
        return false;
    *path = BuildAvatarFileName(cached->first, cached->second);
    return true;
}

bool CAvatarCache::BuildAvatarFileName(const CContact& contact, std::wstring* path) const
{
    if (!IsSafeFileNamePart(contact.GetVexlaName()))
        return false;
    *path = BuildAvatarFileName(contact.GetVexlaName(), contact.GetAvatarCrc());
    return true;
}

std::wstring CAvatarCache::BuildAvatarFileName(const std::wstring& name, int crc) const
{
    return m_directory + L"/" + FILE_PREFIX + FormatCrc(crc) + L"_" + name + L".jpg";
}

bool CAvatarCache::AddListener(IAvatarChangeListener* listener)
{
    if (listener == nullptr || std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end())
        return false;
    m_listeners.push_back(listener);
    return true;
}

bool CAvatarCache::RemoveListener(IAvatarChangeListener* listener)
{
    const auto found = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (listener == nullptr || found == m_listeners.end())
        return false;
    m_listeners.erase(found);
    return true;
}

bool CAvatarCache::InitAvatarFromFileName(const std::wstring& fileName, std::wstring* name, int* crc)
{
    if (fileName.compare(0, std::wcslen(FILE_PREFIX), FILE_PREFIX) != 0)
        return false;
    const size_t mark = fileName.find(CRC_MARK);
    if (mark == std::wstring::npos)
        return false;
    const size_t digits = mark + std::wcslen(CRC_MARK);
    const size_t separator = fileName.find(L'_', digits);
    const size_t extension = fileName.rfind(L'.');
    if (separator == std::wstring::npos || extension == std::wstring::npos || extension <= separator)
        return false;
    int parsedCrc = 0;
    const std::wstring parsedName = fileName.substr(separator + 1, extension - separator - 1);
    if (!ParseCrc(fileName.substr(digits, separator - digits), &parsedCrc) || !IsSafeFileNamePart(parsedName))
        return false;
    *name = parsedName;
    *crc = parsedCrc;
    return true;
}

bool CAvatarCache::IsSafeFileNamePart(const std::wstring& name)
{
    if (name.empty() || name[0] == L'.')
        return false;
    const bool plain = std::none_of(name.begin(), name.end(), [](wchar_t c) {
        return c == L'/' || c < 0x20 || (c >= 0x7f && c < 0xa0) ||
               !CUtils::IsUnicodeScalarValue(static_cast<unsigned int>(c));
    });
    return plain && CUtils::ConvertCharToWide(CUtils::ConvertWideToChar(name)) == name;
}

void CAvatarCache::OnContactAdded(const CContact& contact)
{
    ProcessAvatar(contact);
}

void CAvatarCache::OnContactUpdated(const CContact& contact, int changes)
{
    if ((changes & VexlaLib::CHANGE_AVATAR) != 0)
        ProcessAvatar(contact);
}

void CAvatarCache::ProcessAvatar(const CContact& contact)
{
    const bool cached = HasCachedAvatar(contact);
    const int cachedCrc = GetCachedAvatarCRC(contact);
    const int crc = contact.GetAvatarCrc();
    VexlaLib::LogDebug() << "Checking avatar hasCachedAvatar=" << cached << " cachedCRC=" << cachedCrc
                         << " contactCRC=" << crc << std::endl;
    if ((crc != 0 && !cached) || (cached && cachedCrc != crc))
        m_pQueue->Add(contact.GetVexlaName());
}

void CAvatarCache::ProcessItem(std::wstring key)
{
    const CContact* contact = m_pLibrary->FindContact(key);
    if (contact == nullptr) {
        VexlaLib::LogError() << "Not able to request avatar. Didn't find contact " << key << "." << std::endl;
        return;
    }
    if (contact->GetAvatarCrc() == 0) {
        VexlaLib::LogInfo() << "Didn't request avatar for " << key << std::endl;
        return;
    }
    if (!IsSafeFileNamePart(contact->GetVexlaName())) {
        VexlaLib::LogWarning() << "No avatar cache file for the user name " << contact->GetVexlaName() << std::endl;
        return;
    }
    m_pLibrary->RequestAvatar(contact->GetHandle(), 0, 0);
}

void CAvatarCache::ItemRemoved(std::wstring) {}

void CAvatarCache::OnNewSession(bool resumed)
{
    if (!resumed)
        m_pQueue->EraseAll();
}

void CAvatarCache::OnAvatarReceived(const CContact& contact, VexlaLib::TByteArraySPtr image)
{
    const std::wstring& name = contact.GetVexlaName();
    std::wstring fileName;
    if (!BuildAvatarFileName(contact, &fileName)) {
        VexlaLib::LogWarning() << "No avatar cache file for the user name " << name << std::endl;
        return;
    }
    const bool hasData = image && !image->empty();
    const std::string path = ToPath(fileName);
    if (hasData) {
        const std::string temporaryPath = ToPath(fileName + TEMPORARY_SUFFIX);
        if (!WritePicture(name, temporaryPath, *image))
            return;
        if (std::rename(temporaryPath.c_str(), path.c_str()) != 0) {
            VexlaLib::LogError() << "Unable to save avatar for " << name << " to file " << fileName << std::endl;
            std::remove(temporaryPath.c_str());
            return;
        }
    }
    // The new file is in place before the old one goes, so a failed write keeps the old picture.
    std::wstring oldFileName;
    const bool wasCached = GetCachedAvatarFileName(contact, &oldFileName);
    if (wasCached) {
        m_cachedAvatars.erase(name);
        if (!hasData || oldFileName != fileName)
            std::remove(ToPath(oldFileName).c_str());
    }
    if (hasData)
        m_cachedAvatars[name] = contact.GetAvatarCrc();
    if (wasCached || hasData)
        NotifyAvatarChanged(name, contact.GetAvatarCrc());
}

bool CAvatarCache::WritePicture(const std::wstring& name, const std::string& path, const VexlaLib::TByteArray& image)
{
    const std::wstring fileName = CUtils::ConvertCharToWide(path);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        VexlaLib::LogError() << "Unable to save avatar for " << name << " to file " << fileName
                             << ", failed to open file." << std::endl;
        return false;
    }
    // The network sends some pictures with a zero byte in front of the JPEG data.
    const size_t skip = image[0] == 0 ? 1 : 0;
    const size_t length = image.size() - skip;
    const bool written = std::fwrite(image.data() + skip, 1, length, file) == length;
    if (std::fclose(file) != 0 || !written) {
        VexlaLib::LogError() << "Unable to save avatar for " << name << " to file " << fileName << std::endl;
        std::remove(path.c_str());
        return false;
    }
    return true;
}

void CAvatarCache::NotifyAvatarChanged(const std::wstring& name, int crc)
{
    VexlaLib::LogInfo() << "CAvatarCache: OnAvatarChanged." << std::endl;
    // A listener may remove itself while hearing of the change.
    const std::vector<IAvatarChangeListener*> listeners = m_listeners;
    for (IAvatarChangeListener* listener : listeners)
        listener->OnAvatarChanged(name, crc);
}
