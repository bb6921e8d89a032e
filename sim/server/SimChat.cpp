#include "SimChat.h"

#include <algorithm>

namespace ServerSim {

bool SSimChat::HasMember(const std::string& name) const
{
    return std::find(members.begin(), members.end(), name) != members.end();
}

int SSimChat::UnreadFor(const std::string& name) const
{
    auto mark = readSeq.find(name);
    const int read = mark == readSeq.end() ? 0 : mark->second;
    return static_cast<int>(std::count_if(msgs.begin(), msgs.end(), [&](const SSimChatMsg& msg) {
        return msg.seq > read && msg.author != name;
    }));
}

std::string SSimChat::FriendlyNameFor(const std::string& name) const
{
    if (type == eChatDialog) {
        for (const std::string& member : members) {
            if (member != name)
                return member;
        }
    }
    if (!topic.empty())
        return topic;
    std::string others;
    for (const std::string& member : members) {
        if (member == name)
            continue;
        others += (others.empty() ? "" : ", ") + member;
    }
    return others;
}

std::string SSimChat::JoinedMembers() const
{
    std::string joined;
    for (const std::string& member : members)
        joined += (joined.empty() ? "" : " ") + member;
    return joined;
}

}  // namespace ServerSim
