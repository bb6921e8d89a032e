// Avatar cache file names from user names as the network delivers them: decoded from UTF-8 the way
// packet strings are, or as arbitrary wide characters. A name the cache accepts must give a file
// name that survives the trip to the file system (UTF-8) and back, and that the cache reads back as
// the same user and checksum at the next start.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzLog.h"
#include "Model/Contact.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/AvatarCache.h"
#include "Utils/Utils.h"

using namespace VexlaLib;

namespace {

const wchar_t kDirectory[] = L"/var/vexla/avatars/cache";

void Fail(const char* what, const std::wstring& name)
{
    fprintf(stderr, "avatar name of %zu characters: %s\n", name.size(), what);
    abort();
}

// Code points above U+10FFFF and surrogates have no UTF-8 form; the cache must refuse such names.
bool IsScalarText(const std::wstring& name)
{
    return std::none_of(name.begin(), name.end(), [](wchar_t c) {
        return static_cast<unsigned int>(c) > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF);
    });
}

void CheckName(const CAvatarCache& cache, const std::wstring& name, int crc)
{
    CContact contact(1, 1, 0, name, L"");
    contact.SetAvatarCrc(crc);
    std::wstring path;
    if (!cache.BuildAvatarFileName(contact, &path))
        return;
    if (!IsScalarText(name))
        Fail("a name without a UTF-8 form is accepted", name);
    if (CUtils::ConvertCharToWide(CUtils::ConvertWideToChar(path)) != path)
        Fail("the file name does not survive UTF-8", name);
    const std::wstring fileName = path.substr(std::wstring(kDirectory).size() + 1);
    std::wstring readName;
    int readCrc = 0;
    if (!CAvatarCache::InitAvatarFromFileName(fileName, &readName, &readCrc))
        Fail("the cache does not read its own file name back", name);
    if (readName != name || readCrc != crc)
        Fail("the file name reads back as another user or checksum", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    static CVexlaLib library;
    static const CAvatarCache cache(kDirectory, &library);

    FuzzedDataProvider input(data, size);
    const int crc = input.ConsumeIntegral<int>();
    const bool wide = input.ConsumeBool();
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    std::wstring name;
    if (wide) {
        for (size_t n = 0; n + sizeof(wchar_t) <= bytes.size(); n += sizeof(wchar_t)) {
            wchar_t c;
            memcpy(&c, bytes.data() + n, sizeof(c));
            name.push_back(c);
        }
    } else {
        name = CUtils::ConvertCharToWide(bytes);
    }
    CheckName(cache, name, crc);
    return 0;
}
