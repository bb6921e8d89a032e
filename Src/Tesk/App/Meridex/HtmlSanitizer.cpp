#include "Tesk/App/Meridex/HtmlSanitizer.h"

#include <cstdlib>
#include <cstring>

#include "Utils/LogStream.h"
#include "Utils/Utils.h"

const char* trustedTags[] = {"b", "/b", "i", "/i", "br", "/br", "u", "/u",
                             "B", "/B", "I", "/I", "BR", "/BR", "U", "/U", nullptr};

namespace {

// The length of the tag starting at text[0] (a "<"), both brackets included, or 0 when no ">" comes
// before the next NUL or "<".
size_t TagLength(const char* text)
{
    size_t end = 1;
    while (text[end] != '\0' && text[end] != '<' && text[end] != '>')
        ++end;
    return text[end] == '>' ? end + 1 : 0;
}

// Whether the tag text (between the brackets) is the beginning of one of `tags`.
bool IsTrusted(const char* tagText, size_t length, const char** tags)
{
    if (tags == nullptr)
        return false;
    for (const char** tag = tags; *tag != nullptr; ++tag) {
        if (std::strncmp(tagText, *tag, length) == 0)
            return true;
    }
    return false;
}

// The length of the trusted tag starting at text[0], or 0 when none starts there.
size_t TrustedTagLength(const char* text, const char** tags)
{
    if (text[0] != '<')
        return 0;
    size_t length = TagLength(text);
    return length != 0 && IsTrusted(text + 1, length - 2, tags) ? length : 0;
}

void Strip(const char* text, const char** tags, std::string* out)
{
    int depth = 0;
    for (const char* p = text; *p != '\0';) {
        if (size_t tag = TrustedTagLength(p, tags)) {
            out->append(p, tag);
            p += tag;
            continue;
        }
        if (*p == '<')
            ++depth;
        else if (*p == '>' && depth > 0)
            --depth;
        else if (depth == 0)
            out->push_back(*p);
        ++p;
    }
}

void Escape(const char* text, const char** tags, std::string* out)
{
    for (const char* p = text; *p != '\0';) {
        if (size_t tag = TrustedTagLength(p, tags)) {
            out->append(p, tag);
            p += tag;
            continue;
        }
        switch (*p) {
        case '&': out->append("&amp;"); break;
        case '"': out->append("&quot;"); break;
        case '>': out->append("&gt;"); break;
        case '<': out->append("&lt;"); break;
        default: out->push_back(*p); break;
        }
        ++p;
    }
}

}  // namespace

char* sanitizeHtmlUtf8(const char* text, const char** tags, int strip)
{
    std::string result;
    if (text != nullptr) {
        if (strip != 0)
            Strip(text, tags, &result);
        else
            Escape(text, tags, &result);
    }
    char* copy = static_cast<char*>(std::malloc(result.size() + 1));
    if (copy != nullptr)
        std::memcpy(copy, result.c_str(), result.size() + 1);
    return copy;
}

void sanitizeMessage(std::wstring& text)
{
    std::string utf8 = VexlaLib::CUtils::ConvertWideToChar(text);
    char* sanitized = sanitizeHtmlUtf8(utf8.c_str(), trustedTags, 1);
    std::wstring result = sanitized != nullptr ? VexlaLib::CUtils::ConvertCharToWide(sanitized) : std::wstring();
    std::free(sanitized);
    VexlaLib::LogInfo() << "-- converting " << text << std::endl;
    VexlaLib::LogInfo() << "---- to " << result << std::endl;
    text = result;
}

std::wstring sanitizedMessage(std::wstring text)
{
    sanitizeMessage(text);
    return text;
}
