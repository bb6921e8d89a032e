// The chat message sanitiser, in both modes and on the wide-text path messages take. Its promise is
// checked on every output: each "<" left in it opens one of the trusted tags, closed by its ">".

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzLog.h"
#include "Tesk/App/Meridex/HtmlSanitizer.h"
#include "Utils/Utils.h"

namespace {

bool OpensTrustedTag(const char* text)
{
    const char* end = std::strchr(text + 1, '>');
    if (end == nullptr)
        return false;
    const std::string tagText(text + 1, end);
    if (tagText.find('<') != std::string::npos)
        return false;
    for (const char** tag = trustedTags; *tag != nullptr; ++tag) {
        if (std::string(*tag).compare(0, tagText.size(), tagText) == 0)
            return true;
    }
    return false;
}

void CheckOnlyTrustedTags(const char* output, const char* mode)
{
    for (const char* p = std::strchr(output, '<'); p != nullptr; p = std::strchr(p + 1, '<')) {
        if (!OpensTrustedTag(p)) {
            fprintf(stderr, "%s left markup that is not a trusted tag: %s\n", mode, output);
            abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (int strip = 0; strip <= 1; ++strip) {
        char* output = sanitizeHtmlUtf8(text.c_str(), trustedTags, strip);
        CheckOnlyTrustedTags(output, strip ? "stripping" : "escaping");
        std::free(output);
    }
    std::wstring message = VexlaLib::CUtils::ConvertCharToWide(text);
    sanitizeMessage(message);
    CheckOnlyTrustedTags(VexlaLib::CUtils::ConvertWideToChar(message).c_str(), "the message path");
    return 0;
}
