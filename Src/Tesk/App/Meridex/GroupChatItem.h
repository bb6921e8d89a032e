#pragma once

#include <string>

#include "Tesk/Core/JSONArray.h"

// One unit of group chat work: a message of a group chat on its way to the group chat record and the
// message database.
struct lGroupChatStruct {
    std::wstring groupName;
    CJSONArray members;  // member objects of the record, the user left out
    int messageType = 0;
    std::wstring topic;
    std::wstring body;
    std::wstring author;
    long long serverTime = 0;
    long long localTime = 0;
    int chatHandle = 0;
    std::wstring uniqueName;
    // The message is the first the phone holds of the chat: a member list naming the user announces that
    // the user joined. Later lists name the user only because they list every member.
    bool userJoined = false;
    // The marker batch of the transport that waits for this message to be written.
    int batch = 0;
};
