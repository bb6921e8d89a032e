#pragma once

#include <string>

// The tags a chat message may keep: bold, italic, line break and underline, open and close, in both
// cases; ended by a null entry.
extern const char* trustedTags[];

// Returns a copy of `text` (malloc'ed; the caller frees it) with its markup made safe. A tag is a "<"
// followed by a ">" before any NUL or further "<"; it is trusted when its text begins one of `tags`
// (so an empty tag "<>" is trusted too) and is then copied verbatim.
// With `strip` not 0, every other tag is removed together with its text, the text between tags stays
// and stray ">" survive. With `strip` 0, "&", '"', ">" and every "<" that does not start a trusted tag
// are escaped as entities. A null `text` gives an empty string, a null `tags` trusts nothing.
char* sanitizeHtmlUtf8(const char* text, const char** tags, int strip);

// Strips the untrusted markup from a message text in place (through UTF-8) and logs the change.
void sanitizeMessage(std::wstring& text);
// The message text with its untrusted markup stripped, as sanitizeMessage does.
std::wstring sanitizedMessage(std::wstring text);
