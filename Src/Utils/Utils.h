#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace VexlaLib {

// Time, string and UTF-8 helpers.
class CUtils {
public:
    // A replacement clock in milliseconds; tests install one to drive timers without waiting.
    typedef long long (*TClockSource)();

    // Milliseconds of the wall clock (or of the installed clock source); -1 if it cannot be read.
    static long long CurrentTimeInMs();
    // Seconds of the wall clock (or of the installed clock source).
    static time_t CurrentTimeInSec();
    // Installs a clock source for CurrentTimeInMs and CurrentTimeInSec; null restores the system clock.
    static void SetClockSource(TClockSource source);
    // Local hour, minute, second and the milliseconds of the current second (always the real clock).
    static void CurrentClock(int* hour, int* min, int* sec, int* ms);

    // Lower-cases A to Z only; every other character is kept.
    static std::wstring ToLowerCase(const std::wstring& text);
    static bool NoCaseLess(wchar_t a, wchar_t b);
    // Appends the non-empty pieces of text between U+0020 spaces.
    static void SplitString(const std::wstring& text, std::vector<std::wstring>* out);
    // The fields between any of the delimiters, empty fields kept; an empty text has no field.
    static std::vector<std::wstring> Tokenize(const std::wstring& text, const std::wstring& delimiters);
    // Overwrites the characters of a secret (a password) with zeros, in a way the compiler keeps, then
    // empties it.
    static void WipeText(std::wstring* text);

    // UTF-8 to wide; stops at the first NUL or malformed sequence, keeping what came before.
    static std::wstring ConvertCharToWide(const std::string& text);
    // Wide to UTF-8; stops at the first character that cannot be encoded, keeping what came before.
    static std::string ConvertWideToChar(const std::wstring& text);
    static void ConvertWideToChar(const std::wstring& text, std::string* out);

    // Decodes one character at *p and advances *p past it. At the terminating NUL, and on a malformed
    // sequence (logged), *p becomes null; the value returned then is not part of the text. A sequence
    // that decodes to a surrogate or to a value above U+10FFFF is malformed.
    static wchar_t GetUnicodeFromMBS(const char** p);
    // Up to U+10FFFF and not a surrogate (U+D800 to U+DFFF).
    static bool IsUnicodeScalarValue(unsigned int c);
    // Appends the UTF-8 form of c; false (logged, nothing appended) for values from U+110000 up.
    static bool PutUnicodeToMBS(std::string* out, unsigned int c);
};

}  // namespace VexlaLib
