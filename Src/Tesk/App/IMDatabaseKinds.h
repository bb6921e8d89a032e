#pragma once

// The kinds of the platform database records the messaging side of the daemon reads and writes.
inline constexpr wchar_t KIND_IMLOGINSTATE[] = L"com.nylo.imloginstate.vexla:1";     // db
inline constexpr wchar_t KIND_IMMESSAGE[] = L"com.nylo.immessage.vexla:1";           // db
inline constexpr wchar_t KIND_IMCOMMAND[] = L"com.nylo.imcommand.vexla:1";           // db
inline constexpr wchar_t KIND_IMGROUPCHAT[] = L"com.nylo.imgroupchat.vexla:1";       // db
inline constexpr wchar_t KIND_CONTACT[] = L"com.nylo.contact.vexla:1";               // db
inline constexpr wchar_t KIND_IMBUDDYSTATUS[] = L"com.nylo.imbuddystatus.vexla:1";   // tempdb
inline constexpr wchar_t KIND_SYNCSTATE[] = L"com.nylo.account.syncstate:1";         // tempdb
inline constexpr wchar_t KIND_GATEWAY[] = L"com.vexla.gateway:1";                    // tempdb
