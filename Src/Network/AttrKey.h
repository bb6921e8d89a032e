#pragma once

namespace VexlaLib {

// Attribute keys by code, with the names that dumps print. 152 to 154 have no name.
#define VEXLA_ATTR_KEY_LIST(KEY, UNNAMED)        \
    KEY(KEY_ATTR_ROOT_PRIVATE_KEY, 0)            \
    KEY(KEY_ATTR_ROOT_PUBLIC_KEY, 1)             \
    KEY(KEY_ATTR_SERVER_PRIVATE_KEY, 2)          \
    KEY(KEY_ATTR_SERVER_PUBLIC_KEY, 3)           \
    KEY(KEY_ATTR_SERVER_SIGNED_PUBLIC_KEY, 4)    \
    KEY(KEY_CHUNKTYPE, 5)                        \
    KEY(KEY_BUDDYINDEX, 6)                       \
    KEY(KEY_TIMESTAMP, 7)                        \
    KEY(KEY_VEXLANAME, 8)                        \
    KEY(KEY_FULLNAME, 9)                         \
    KEY(KEY_CONTACTAVAILABILITY, 10)             \
    KEY(KEY_BOOKMARK, 11)                        \
    KEY(KEY_ONLINESTATUSES, 12)                  \
    KEY(KEY_RECORDCOUNT, 13)                     \
    KEY(KEY_BALANCE_CURRENCY, 14)                \
    KEY(KEY_BALANCE_AMOUNT, 15)                  \
    KEY(KEY_POLL_INITIATOR, 16)                  \
    KEY(KEY_NOTIFY_NODES, 17)                    \
    KEY(KEY_CALLTARGET, 18)                      \
    KEY(KEY_CHAT, 19)                            \
    KEY(KEY_CHAT_FRIENDLYNAME, 20)               \
    KEY(KEY_UNREAD_MSGS, 21)                     \
    KEY(KEY_CHAT_NAME, 22)                       \
    KEY(KEY_ACTIVITY_TIMESTAMP, 23)              \
    KEY(KEY_TYPE, 24)                            \
    KEY(KEY_MEMBERS, 25)                         \
    KEY(KEY_TOPIC, 26)                           \
    KEY(KEY_CHATMSG_BODY, 27)                    \
    KEY(KEY_CHATMSG_LEAVEREASON, 28)             \
    KEY(KEY_CLIENTCHATID, 29)                    \
    KEY(KEY_AUTHMSG, 30)                         \
    KEY(KEY_AUTHORIZATIONTYPE, 31)               \
    KEY(KEY_PSTNNUMBERS, 32)                     \
    KEY(KEY_SMS_MESSAGE, 33)                     \
    KEY(KEY_BIRTHDAY, 34)                        \
    KEY(KEY_GENDER, 35)                          \
    KEY(KEY_LANGUAGES, 36)                       \
    KEY(KEY_COUNTRY, 37)                         \
    KEY(KEY_PROVINCE, 38)                        \
    KEY(KEY_CITY, 39)                            \
    KEY(KEY_PHONE_HOME, 40)                      \
    KEY(KEY_PHONE_OFFICE, 41)                    \
    KEY(KEY_PHONE_MOBILE, 42)                    \
    KEY(KEY_EMAILS, 43)                          \
    KEY(KEY_HOMEPAGE, 44)                        \
    KEY(KEY_ABOUT, 45)                           \
    KEY(KEY_MOOD_TEXT, 46)                       \
    KEY(KEY_TIMEZONE, 47)                        \
    KEY(KEY_CONTACTCAPABILITIES, 48)             \
    KEY(KEY_NROF_AUTHED_BUDDIES, 49)             \
    KEY(KEY_IPCOUNTRY, 50)                       \
    KEY(KEY_UNDER_LEGAL_AGE, 51)                 \
    KEY(KEY_VEXLAIN_NUMBERS, 52)                 \
    KEY(KEY_OFFLINE_CALLFORWARD, 53)             \
    KEY(KEY_CHAT_POLICY, 54)                     \
    KEY(KEY_VEXLA_CALL_POLICY, 55)               \
    KEY(KEY_PSTN_CALL_POLICY, 56)                \
    KEY(KEY_AVATAR_POLICY, 57)                   \
    KEY(KEY_BUDDYCOUNT_POLICY, 58)               \
    KEY(KEY_TIMEZONE_POLICY, 59)                 \
    KEY(KEY_WEBPRESENCE_POLICY, 60)              \
    KEY(KEY_SESSION_ID, 61)                      \
    KEY(KEY_MAXENTRIES, 62)                      \
    KEY(KEY_MAXRECORDS, 63)                      \
    KEY(KEY_PASSWORD, 64)                        \
    KEY(KEY_DEVICE_PSTNNUMBER, 65)               \
    KEY(KEY_EMAIL, 66)                           \
    KEY(KEY_AVATARIMAGE, 67)                     \
    KEY(KEY_AVATARWIDTH, 68)                     \
    KEY(KEY_AVATARHEIGHT, 69)                    \
    KEY(KEY_SEARCHSTRING, 70)                    \
    KEY(KEY_SEARCH_ID, 71)                       \
    KEY(KEY_VMINDEX, 72)                         \
    KEY(KEY_SUBJECT, 73)                         \
    KEY(KEY_DURATION, 74)                        \
    KEY(KEY_PROTOCOLVERSION, 75)                 \
    KEY(KEY_CLIENT_RANDOM, 76)                   \
    KEY(KEY_PLATFORMID, 77)                      \
    KEY(KEY_SERVER_RANDOM, 78)                   \
    KEY(KEY_SECRETMASTER, 79)                    \
    KEY(KEY_CAPABILITIES, 80)                    \
    KEY(KEY_LANGUAGE, 81)                        \
    KEY(KEY_SERVER_PUBLIC_KEY, 82)               \
    KEY(KEY_CRYPTO_SETUP, 83)                    \
    KEY(KEY_SERVER_CRYPTO_KEY, 84)               \
    KEY(KEY_CLIENT_PRIVATE_IP_ADDRESS, 85)       \
    KEY(KEY_CLIENT_CRYPTO_KEY, 86)               \
    KEY(KEY_CLIENT_PUBLIC_IP_ADDRESS, 87)        \
    KEY(KEY_LATEST_VERSION, 88)                  \
    KEY(KEY_UPGRADEURL, 89)                      \
    KEY(KEY_SERVER_NAME, 90)                     \
    KEY(KEY_SERVER_IDENTITY, 91)                 \
    KEY(KEY_CALLMETHOD, 92)                      \
    KEY(KEY_DIALIN_NUMBER_PREFIX, 93)            \
    KEY(KEY_DIALIN_NUMBER_RANGE_SIZE, 94)        \
    KEY(KEY_VOICEMAIL_NUMBER_PREFIX, 95)         \
    KEY(KEY_VOICEMAIL_NUMBER_RANGE_SIZE, 96)     \
    KEY(KEY_NEW_SERVER, 97)                      \
    KEY(KEY_ERROR_CODE, 98)                      \
    KEY(KEY_ERROR_MESSAGE, 99)                   \
    KEY(KEY_ALLOWSPAM, 100)                      \
    KEY(KEY_NEWPASSWORD, 101)                    \
    KEY(KEY_VMRECORDS, 102)                      \
    KEY(KEY_BUDDYRECORDS, 103)                   \
    KEY(KEY_BUDDYLIST_STATUS, 104)               \
    KEY(KEY_SEARCHRESULTRECORDS, 105)            \
    KEY(KEY_SEARCHSTATUS, 106)                   \
    KEY(KEY_CHATRECORDS, 107)                    \
    KEY(KEY_CHATRECORD, 108)                     \
    KEY(KEY_CHATMSG_RECORDS, 109)                \
    KEY(KEY_CALLRECORDS, 110)                    \
    KEY(KEY_CHATMSG_TYPE, 111)                   \
    KEY(KEY_CHATMSG_STATUS, 112)                 \
    KEY(KEY_PROFILE_TIMESTAMP, 113)              \
    KEY(KEY_CALLPSTNNUMBER, 114)                 \
    KEY(KEY_AUTOSYNC, 115)                       \
    KEY(KEY_UNREAD_COUNT, 116)                   \
    KEY(KEY_SAVEPASSWORD, 117)                   \
    KEY(KEY_SAVEDDATA, 118)                      \
    KEY(KEY_LOCALPRIVS, 119)                     \
    KEY(KEY_CREDENTIALS, 120)                    \
    KEY(KEY_NODEID, 121)                         \
    KEY(KEY_SDFSESSIONID, 122)                   \
    KEY(KEY_ENCRYPTED_USERDATA, 123)             \
    KEY(KEY_LOGOUTREASON, 124)                   \
    KEY(KEY_SUGGESTED_VEXLANAMES, 125)           \
    KEY(KEY_CALLMETHODS, 126)                    \
    KEY(KEY_DEVICE_MCC, 127)                     \
    KEY(KEY_DEVICE_MNC, 128)                     \
    KEY(KEY_HOME_MCC, 129)                       \
    KEY(KEY_HOME_MNC, 130)                       \
    KEY(KEY_WARNING_CODE, 131)                   \
    KEY(KEY_WARNING_MESSAGE, 132)                \
    KEY(KEY_HELP_URL, 133)                       \
    KEY(KEY_VI_GATEWAY_NAME, 134)                \
    KEY(KEY_VI_GATEWAY_NUMBER, 135)              \
    KEY(KEY_VO_ENABLED, 136)                     \
    KEY(KEY_CALLING_URI_EXTENSIONS_ENABLED, 137) \
    KEY(KEY_PUSHIDENTIFIER, 138)                 \
    KEY(KEY_DISPLAYNAME, 139)                    \
    KEY(KEY_FG_POLL_INTERVAL, 140)               \
    KEY(KEY_BG_POLL_INTERVAL, 141)               \
    KEY(KEY_CLIENTSTATE, 142)                    \
    KEY(KEY_SETBOOKMARK, 143)                    \
    KEY(KEY_SERVER_UTC_TIME, 144)                \
    KEY(KEY_REQUEST_ID, 145)                     \
    KEY(KEY_SUBSCRIPTION_ERROR_MESSAGE, 146)     \
    KEY(KEY_SUBSCRIPTION_LSK, 147)               \
    KEY(KEY_SUBSCRIPTION_URL, 148)               \
    KEY(KEY_UPGRADE_MESSAGE, 149)                \
    KEY(KEY_UPGRADE_LSK, 150)                    \
    KEY(KEY_CHATS, 151)                          \
    UNNAMED(152)                                 \
    UNNAMED(153)                                 \
    UNNAMED(154)                                 \
    KEY(KEY_OPERATOR_ID, 155)

#define VEXLA_ATTR_KEY_ENUMERATOR(name, code) name = code,
#define VEXLA_ATTR_KEY_NO_ENUMERATOR(code)
enum TAttrKey {
    VEXLA_ATTR_KEY_LIST(VEXLA_ATTR_KEY_ENUMERATOR, VEXLA_ATTR_KEY_NO_ENUMERATOR)

    // Keys of internal packets only, never sent; they have no name.
    // INT32: the chunk kind of the request that was waiting for a connection, -1 if none.
    KEY_WAITING_REQUEST_CHUNK = 1000,
    // STRING: the local IPv4 address to connect from, or "NOT_READY".
    KEY_LOCAL_INTERFACE_ADDRESS = 1001,
};
#undef VEXLA_ATTR_KEY_ENUMERATOR
#undef VEXLA_ATTR_KEY_NO_ENUMERATOR

// The names of the attribute keys, for logs and dumps.
class CAttrKey {
public:
    static const int KEY_COUNT = 156;

    // The key's name, or "<Invalid>" for a code without one.
    static const wchar_t* Lookup(int key);

private:
    static const wchar_t* const m_lookup[KEY_COUNT];
};

}  // namespace VexlaLib
