#include "Utils/Utils.h"

#include <string.h>
#include <sys/time.h>
#include <wctype.h>

#include <atomic>

#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {

std::atomic<CUtils::TClockSource> g_clockSource{nullptr};

}  // namespace

long long CUtils::CurrentTimeInMs()
{
    const TClockSource source = g_clockSource.load();
    if (source != nullptr)
        return source();
    timeval now;
    if (gettimeofday(&now, nullptr) != 0)
        return -1;
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_usec / 1000;
}

time_t CUtils::CurrentTimeInSec()
{
    const TClockSource source = g_clockSource.load();
    if (source != nullptr)
        return static_cast<time_t>(source() / 1000);
    return time(nullptr);
}

void CUtils::SetClockSource(TClockSource source)
{
    g_clockSource.store(source);
}

void CUtils::CurrentClock(int* hour, int* min, int* sec, int* ms)
{
    timeval now;
    tm local;
    if (gettimeofday(&now, nullptr) != 0 || localtime_r(&now.tv_sec, &local) == nullptr) {
        *ms = 0;
        return;
    }
    *hour = local.tm_hour;
    *min = local.tm_min;
    *sec = local.tm_sec;
    *ms = static_cast<int>(now.tv_usec / 1000);
}

std::wstring CUtils::ToLowerCase(const std::wstring& text)
{
    std::wstring lower(text);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z')
            c = c - L'A' + L'a';
    }
    return lower;
}

void CUtils::WipeText(std::wstring* text)
{
    if (!text->empty())
        explicit_bzero(&(*text)[0], text->size() * sizeof(wchar_t));
    text->clear();
}

bool CUtils::NoCaseLess(wchar_t a, wchar_t b)
{
    return towlower(static_cast<wint_t>(a)) < towlower(static_cast<wint_t>(b));
}

void CUtils::SplitString(const std::wstring& text, std::vector<std::wstring>* out)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L' ', start);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > start)
            out->push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::wstring> CUtils::Tokenize(const std::wstring& text, const std::wstring& delimiters)
{
    std::vector<std::wstring> fields;
    if (text.empty())
        return fields;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find_first_of(delimiters, start);
        if (end == std::wstring::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::wstring CUtils::ConvertCharToWide(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    const char* p = text.c_str();
    while (p != nullptr) {
        const wchar_t c = GetUnicodeFromMBS(&p);
        if (p != nullptr)
            wide.push_back(c);
    }
    return wide;
}

std::string CUtils::ConvertWideToChar(const std::wstring& text)
{
    std::string bytes;
    ConvertWideToChar(text, &bytes);
    return bytes;
}

void CUtils::ConvertWideToChar(const std::wstring& text, std::string* out)
{
    out->reserve(out->size() + text.size());
    for (wchar_t c : text) {
        if (!PutUnicodeToMBS(out, static_cast<unsigned int>(c)))
            return;
    }
}

wchar_t CUtils::GetUnicodeFromMBS(const char** p)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(*p);
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        *p = lead == 0 ? nullptr : *p + 1;
        return lead;
    }
    int continuations = 0;
    for (unsigned char bit = 0x40; (lead & bit) != 0; bit >>= 1)
        ++continuations;
    if (continuations == 0 || continuations > 3) {
        LogInfo() << "Utils, GetUnicodeFromMBS - Illegal UTF-8 character length." << std::endl;
        *p = nullptr;
        return 0;
    }
    unsigned int value = lead & ((1u << (6 - continuations)) - 1);
    // Each continuation byte is checked before the next one is read, so the terminating NUL of a
    // truncated sequence ends the scan without reading past it.
    for (int i = 1; i <= continuations; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            LogInfo() << "Utils, GetUnicodeFromMBS - Illegal UTF-8 code sequence." << std::endl;
            *p = nullptr;
            return 0;
        }
        value = value * 64 + (bytes[i] & 0x3F);
    }
    // Surrogates and values above U+10FFFF are no characters: the text ends here as at any other
    // malformed sequence.
    if (!IsUnicodeScalarValue(value)) {
        LogInfo() << "Utils, GetUnicodeFromMBS - Illegal UTF-8 code sequence." << std::endl;
        *p = nullptr;
        return 0;
    }
    *p = value == 0 ? nullptr : *p + continuations + 1;
    return static_cast<wchar_t>(value);
}

bool CUtils::IsUnicodeScalarValue(unsigned int c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

bool CUtils::PutUnicodeToMBS(std::string* out, unsigned int c)
{
    if (c >= 0x110000) {
        LogInfo() << "Utils, PutUnicodeToMBS - unicode character out of range: " << std::hex << c << std::endl;
        return false;
    }
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
        return true;
    }
    static const unsigned char leadPatterns[] = {0, 0, 0xC0, 0xE0, 0xF0};
    unsigned char continuation[4];
    int count = 0;
    for (unsigned int limit = 0x3F; c > limit; limit >>= 1) {
        continuation[count++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    const int length = count + 1;
    if (length > 4) {
        LogInfo() << "Utils, PutUnicodeToMBS - Illegal utf-8 length." << std::endl;
        return false;
    }
    out->push_back(static_cast<char>(leadPatterns[length] | c));
    while (count > 0)
        out->push_back(static_cast<char>(continuation[--count]));
    return true;
}

}  // namespace VexlaLib
