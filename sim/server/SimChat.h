#pragma once

#include <map>
#include <string>
#include <vector>

namespace ServerSim {

// Message types on the wire (KEY_CHATMSG_TYPE).
enum TSimChatMsgType {
    eMsgMembers = 1,  // the member list after a change, in KEY_MEMBERS
    eMsgText = 3,
    eMsgMemberLeft = 4,
    eMsgTopic = 5,
    eMsgEmote = 7
};

// Chat types (KEY_TYPE): a dialog of two, or a group.
enum TSimChatType {
    eChatGroup = 1,
    eChatDialog = 2
};

// One message of a simulated chat. seq is the chat's bookmark after this message.
struct SSimChatMsg {
    int seq = 0;
    int timestamp = 0;
    std::string author;
    int type = eMsgText;
    int status = 2;
    std::string body;
    int requestId = 0;        // the sender's KEY_REQUEST_ID, echoed to the sending connection only
    int senderConn = -1;      // connection that sent it; -1 for scripted users
};

// A chat of the simulated network with its members (user names) and its whole history.
struct SSimChat {
    int id = 0;
    int type = eChatDialog;
    std::string uniqueName;
    std::string topic;
    int created = 0;
    std::vector<std::string> members;
    std::vector<SSimChatMsg> msgs;
    std::map<std::string, int> readSeq;  // per member: the last message seq marked read

    int LastSeq() const { return msgs.empty() ? 0 : msgs.back().seq; }
    int ActivityTime() const { return msgs.empty() ? created : msgs.back().timestamp; }
    bool HasMember(const std::string& name) const;
    // Messages of others after the member's read mark.
    int UnreadFor(const std::string& name) const;
    // What the chat is called for one member: the partner of a dialog, else the topic or the others.
    std::string FriendlyNameFor(const std::string& name) const;
    std::string JoinedMembers() const;
};

}  // namespace ServerSim
