#pragma once

namespace VexlaLib {

// Chunk kinds (the value of KEY_CHUNKTYPE) sent on the wire, by code.
#define VEXLA_CHUNK_LIST(CHUNK)           \
    CHUNK(CHUNK_GETPRESENCEUPDATE, 0)     \
    CHUNK(CHUNK_PRESENCEUPDATE, 1)        \
    CHUNK(CHUNK_CHANGEONLINESTATUS, 2)    \
    CHUNK(CHUNK_CONTACTONLINESTATUS, 3)   \
    CHUNK(CHUNK_GETBALANCE, 4)            \
    CHUNK(CHUNK_BALANCE, 5)               \
    CHUNK(CHUNK_GETCALLHISTORY, 6)        \
    CHUNK(CHUNK_CALLHISTORY, 7)           \
    CHUNK(CHUNK_CALLRECORD, 8)            \
    CHUNK(CHUNK_GETMISSEDCALLS, 9)        \
    CHUNK(CHUNK_MISSEDCALLS, 10)          \
    CHUNK(CHUNK_CLEARCALLHISTORY, 11)     \
    CHUNK(CHUNK_PLACECALL, 12)            \
    CHUNK(CHUNK_RESOLVEPSTNNUMBER, 13)    \
    CHUNK(CHUNK_CALLINGBUDDY, 14)         \
    CHUNK(CHUNK_GETVOICEMAILS, 15)        \
    CHUNK(CHUNK_VOICEMAILS, 16)           \
    CHUNK(CHUNK_VOICEMAIL, 17)            \
    CHUNK(CHUNK_DELETEVOICEMAIL, 18)      \
    CHUNK(CHUNK_CONNECT, 19)              \
    CHUNK(CHUNK_CONNECTED, 20)            \
    CHUNK(CHUNK_MASTERKEY, 21)            \
    CHUNK(CHUNK_SERVERIDENTITY, 22)       \
    CHUNK(CHUNK_CLIENTDATA, 23)           \
    CHUNK(CHUNK_CALLSETUP, 24)            \
    CHUNK(CHUNK_REDIRECT, 25)             \
    CHUNK(CHUNK_DISCONNECT, 26)           \
    CHUNK(CHUNK_ERROR, 27)                \
    CHUNK(CHUNK_LOGIN, 28)                \
    CHUNK(CHUNK_REGISTERUSER, 29)         \
    CHUNK(CHUNK_GETPROFILEDATA, 30)       \
    CHUNK(CHUNK_SETPROFILEDATA, 31)       \
    CHUNK(CHUNK_PROFILEDATA, 32)          \
    CHUNK(CHUNK_CHANGEPASSWORD, 33)       \
    CHUNK(CHUNK_CHANGEDPASSWORD, 34)      \
    CHUNK(CHUNK_LOGOUT, 35)               \
    CHUNK(CHUNK_GETBUDDYLIST, 36)         \
    CHUNK(CHUNK_BUDDYLIST, 37)            \
    CHUNK(CHUNK_BUDDY, 38)                \
    CHUNK(CHUNK_ADDCONTACT, 39)           \
    CHUNK(CHUNK_SENDAUTHREQUEST, 40)      \
    CHUNK(CHUNK_INCOMINGAUTHREQUEST, 41)  \
    CHUNK(CHUNK_DELETECONTACT, 42)        \
    CHUNK(CHUNK_AUTHORIZECONTACT, 43)     \
    CHUNK(CHUNK_BLOCKCONTACT, 44)         \
    CHUNK(CHUNK_GETCONTACTPROPERTIES, 45) \
    CHUNK(CHUNK_CONTACTPROPERTIES, 46)    \
    CHUNK(CHUNK_GETAVATAR, 47)            \
    CHUNK(CHUNK_AVATAR, 48)               \
    CHUNK(CHUNK_CONTACTSEARCH, 49)        \
    CHUNK(CHUNK_CONTACTSEARCHRESULTS, 50) \
    CHUNK(CHUNK_SEARCHRESULT, 51)         \
    CHUNK(CHUNK_EXTENDCONTACTSEARCH, 52)  \
    CHUNK(CHUNK_ENDCONTACTSEARCH, 53)     \
    CHUNK(CHUNK_GETRECENTCHATS, 54)       \
    CHUNK(CHUNK_RECENTCHATS, 55)          \
    CHUNK(CHUNK_GETBOOKMARKEDCHATS, 56)   \
    CHUNK(CHUNK_BOOKMARKEDCHATS, 57)      \
    CHUNK(CHUNK_GETUNREADCHATS, 58)       \
    CHUNK(CHUNK_UNREADCHATS, 59)          \
    CHUNK(CHUNK_CHATRECORD, 60)           \
    CHUNK(CHUNK_GETCHATINFO, 61)          \
    CHUNK(CHUNK_CHATINFO, 62)             \
    CHUNK(CHUNK_GETCHATMESSAGES, 63)      \
    CHUNK(CHUNK_CHATMESSAGES, 64)         \
    CHUNK(CHUNK_CHATMESSAGE, 65)          \
    CHUNK(CHUNK_SENDCHATMESSAGE, 66)      \
    CHUNK(CHUNK_CREATECHATWITHUSER, 67)   \
    CHUNK(CHUNK_CREATEDCHAT, 68)          \
    CHUNK(CHUNK_ADDCHATMEMBERS, 69)       \
    CHUNK(CHUNK_LEAVECHAT, 70)            \
    CHUNK(CHUNK_SETCHATTOPIC, 71)         \
    CHUNK(CHUNK_SENDSMS, 72)              \
    CHUNK(CHUNK_LOGGEDIN, 73)             \
    CHUNK(CHUNK_LOGGEDOUT, 74)            \
    CHUNK(CHUNK_USEPSTNNUMBER, 75)        \
    CHUNK(CHUNK_SAVEDATA, 76)             \
    CHUNK(CHUNK_USERDATA, 77)             \
    CHUNK(CHUNK_WARNING, 78)              \
    CHUNK(CHUNK_GIVEDISPLAYNAME, 79)      \
    CHUNK(CHUNK_PRESENCESETTINGS, 80)     \
    CHUNK(CHUNK_LISTENVOICEMAIL, 81)      \
    CHUNK(CHUNK_BOOKMARKCHAT, 82)         \
    CHUNK(CHUNK_MARKCHATSREAD, 83)        \
    CHUNK(CHUNK_MARKEDCHATSREAD, 84)

// Chunk kinds of internal packets: local events that the library puts on its own receive queue.
#define VEXLA_INTERNAL_CHUNK_LIST(CHUNK)           \
    CHUNK(CHUNK_HANDSHAKE_CONTINUE, 0x40000001)    \
    CHUNK(CHUNK_HANDSHAKE_ABORT, 0x40000002)       \
    CHUNK(CHUNK_FORCED_DISCONNECT, 0x40000003)     \
    CHUNK(CHUNK_NO_NETWORK, 0x40000004)            \
    CHUNK(CHUNK_NETWORK_IFACE_REQUEST, 0x40000005) \
    CHUNK(CHUNK_RECONNECTED, 0x40000006)

#define VEXLA_CHUNK_ENUMERATOR(name, code) name = code,
enum TChunkType {
    VEXLA_CHUNK_LIST(VEXLA_CHUNK_ENUMERATOR)
    VEXLA_INTERNAL_CHUNK_LIST(VEXLA_CHUNK_ENUMERATOR)
};
#undef VEXLA_CHUNK_ENUMERATOR

// The names of the chunk kinds, for logs and dumps.
class CAttrChunk {
public:
    static const int CHUNK_COUNT = 85;
    static const int INTERNAL_CHUNK_COUNT = 6;

    // The chunk kind's name, or "<Invalid>" for an unknown code.
    static const wchar_t* Lookup(int chunk);

private:
    static const wchar_t* const m_lookup[CHUNK_COUNT];
    static const wchar_t* const m_internalLookup[INTERNAL_CHUNK_COUNT];
};

}  // namespace VexlaLib
