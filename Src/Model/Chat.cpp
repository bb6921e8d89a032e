#include "Model/Chat.h"

#include "Model/AssignIfChanged.h"
#include "Utils/Utils.h"

#include <algorithm>
#include <cassert>
#include <set>

namespace VexlaLib {

int CChat::m_localIdCounter = 1;

CChat::CChat(int handle, int chatId)
    : CEventBase(OBJECT_CHAT, handle)
    , m_localId(-1)
    , m_chatId(chatId)
    , m_hasChatId(true)
    , m_createTimestamp(static_cast<int>(CUtils::CurrentTimeInSec()))
{
}

CChat::CChat(int handle)
    : CEventBase(OBJECT_CHAT, handle)
    , m_localId(m_localIdCounter++)
    , m_chatId(-1)
    , m_hasChatId(false)
    , m_createTimestamp(static_cast<int>(CUtils::CurrentTimeInSec()))
{
}

const std::wstring& CChat::GetDisplayString() const
{
    return m_topic.empty() ? m_friendlyName : m_topic;
}

int CChat::GetChatId() const
{
    assert(m_hasChatId);
    return m_chatId;
}

int CChat::GetLocalId() const
{
    assert(!m_hasChatId);
    return m_localId;
}

void CChat::SetChatId(int chatId)
{
    assert(!m_hasChatId);
    m_chatId = chatId;
    m_hasChatId = true;
}

bool CChat::SetChatType(int chatType) { return AssignIfChanged(m_chatType, chatType); }
bool CChat::SetCreateTimestamp(int timestamp) { return AssignIfChanged(m_createTimestamp, timestamp); }
bool CChat::SetTopic(const std::wstring& topic) { return AssignIfChanged(m_topic, topic); }
bool CChat::SetUniqueName(const std::wstring& name) { return AssignIfChanged(m_uniqueName, name); }
bool CChat::SetFriendlyName(const std::wstring& name) { return AssignIfChanged(m_friendlyName, name); }

bool CChat::SetUnreadMsgCnt(int count, bool onlyIncrease)
{
    if (onlyIncrease && count <= m_unreadMsgCnt)
        return false;
    return AssignIfChanged(m_unreadMsgCnt, count);
}

CChatMember* CChat::GetFirstMember() const
{
    return m_members.empty() ? nullptr : m_members[0].get();
}

CChatMember* CChat::GetSecondMember() const
{
    return m_members.size() < 2 ? nullptr : m_members[1].get();
}

CChatMember* CChat::FindMember(CChatMember::eMemberStatus status) const
{
    for (const auto& member : m_members) {
        if (member->GetStatus() == status)
            return member.get();
    }
    return nullptr;
}

CChatMember* CChat::FindMember(const std::wstring& vexlaName, bool includeLeft) const
{
    for (const auto& member : m_members) {
        if (member->GetVexlaName() == vexlaName && (includeLeft || !member->HasLeft()))
            return member.get();
    }
    return nullptr;
}

bool CChat::IsMember(const std::wstring& vexlaName, bool includeLeft) const
{
    return FindMember(vexlaName, includeLeft) != nullptr;
}

CChatMember* CChat::FindOrCreateMember(CChatMember::eMemberStatus status, const std::wstring& vexlaName)
{
    CChatMember* member = FindMember(vexlaName, true);
    if (member != nullptr) {
        if (member->HasLeft())
            member->SetStatus(status);
        return member;
    }
    m_members.push_back(std::make_unique<CChatMember>(status, vexlaName));
    return m_members.back().get();
}

std::wstring CChat::BuildChatName(const std::wstring& excludeName) const
{
    std::wstring name;
    for (const auto& member : m_members) {
        if (member->HasLeft() || member->GetVexlaName() == excludeName)
            continue;
        if (!name.empty())
            name += L", ";
        name += member->GetDisplayString();
    }
    return name;
}

CChatMsg* CChat::CreateMsg(int msgType, int status, int timestamp, CChatMember* member)
{
    m_msgs.push_back(std::make_unique<CChatMsg>(msgType, status, timestamp, member));
    return m_msgs.back().get();
}

CChatMsg* CChat::FindMsgWithRequestId(int requestId) const
{
    // 0 means "no request": it must not match the messages that were never sent with one.
    if (requestId == 0)
        return nullptr;
    for (const auto& msg : m_msgs) {
        if (msg->GetRequestId() == requestId)
            return msg.get();
    }
    return nullptr;
}

CChatMsg* CChat::FindAwaitingEcho(const std::wstring& body) const
{
    for (const auto& msg : m_msgs) {
        if (msg->IsAwaitingEcho() && msg->GetMsgBody() == body)
            return msg.get();
    }
    return nullptr;
}

bool CChat::HasMsg(int msgType, const std::wstring& author, int serverTimestamp, const std::wstring& body) const
{
    for (const auto& msg : m_msgs) {
        if (msg->GetMsgType() == msgType && msg->GetServerTimestamp() == serverTimestamp && msg->GetMsgBody() == body &&
            msg->GetMember()->GetVexlaName() == author)
            return true;
    }
    return false;
}

void CChat::NoteFetchFrom(int bookmark)
{
    if (m_fetchStart < 0 || bookmark < m_fetchStart)
        m_fetchStart = bookmark;
}

void CChat::MergeChat(CChat* other)
{
    if (other == nullptr || other == this)
        return;
    for (auto& msg : other->m_msgs) {
        if (!msg)
            continue;
        const CChatMember* author = msg->GetMember();
        CChatMember* ownAuthor = FindMember(author->GetVexlaName(), true);
        if (ownAuthor == nullptr) {
            m_members.push_back(std::make_unique<CChatMember>(author->GetStatus(), author->GetVexlaName()));
            ownAuthor = m_members.back().get();
        }
        if (!author->GetFullName().empty())
            ownAuthor->SetFullName(author->GetFullName());
        msg->SetMember(ownAuthor);
        m_msgs.push_back(std::move(msg));
    }
    other->m_msgs.clear();
}

void CChat::Trim(size_t maxMessages)
{
    size_t excess = m_msgs.size() > maxMessages ? m_msgs.size() - maxMessages : 0;
    if (excess > 0) {
        TMsgList kept;
        kept.reserve(m_msgs.size() - excess);
        for (auto& msg : m_msgs) {
            if (excess > 0 && !msg->IsAwaitingEcho() && !msg->IsAwaitingResync()) {
                --excess;
                continue;
            }
            kept.push_back(std::move(msg));
        }
        m_msgs.swap(kept);
    }
    std::set<const CChatMember*> authors;
    for (const auto& msg : m_msgs)
        authors.insert(msg->GetMember());
    const size_t before = m_members.size();
    m_members.erase(std::remove_if(m_members.begin(), m_members.end(),
                                   [&authors](const std::unique_ptr<CChatMember>& member) {
                                       return member->HasLeft() && authors.count(member.get()) == 0;
                                   }),
                    m_members.end());
    m_trimmedMembers += before - m_members.size();
}

}  // namespace VexlaLib
