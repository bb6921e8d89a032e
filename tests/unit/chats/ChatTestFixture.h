#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Model/Chat.h"
#include "Utils/Utils.h"
#include "support/LibraryFixture.h"

namespace VexlaTest {

// Hears the chat events the shared recording listener leaves out.
class CChatEventListener : public VexlaLib::IVexlaLibListener {
public:
    void OnGetChatFailed(bool timedOut) override { m_events.push_back("OnGetChatFailed(" + std::to_string(timedOut) + ")"); }
    void OnChatMessagesAdded(const VexlaLib::CChat& chat, int count) override
    {
        m_events.push_back("OnChatMessagesAdded(" + std::to_string(chat.GetHandle()) + "," + std::to_string(count) + ")");
    }
    void OnChatMessageDelivered(const VexlaLib::CChat& /*chat*/, const VexlaLib::CChatMsg& message) override
    {
        m_events.push_back("OnChatMessageDelivered(" + VexlaLib::CUtils::ConvertWideToChar(message.GetMsgBody()) + ")");
    }
    void OnChatMessageFailed(const VexlaLib::CChat& /*chat*/, const VexlaLib::CChatMsg& message) override
    {
        m_events.push_back("OnChatMessageFailed(" + VexlaLib::CUtils::ConvertWideToChar(message.GetMsgBody()) + ")");
    }
    std::vector<std::string> m_events;
};

// A library signed in as alice, with builders for the chat packets the server sends.
class CChatFixture : public CLibraryFixture {
protected:
    void SetUp() override
    {
        CLibraryFixture::SetUp();
        m_lib.AddListener(&m_chatEvents);
        SignIn(L"alice");
        m_listener.Clear();
    }

    static CTestPacket ChatRecord(int chatId, int unread = -1)
    {
        CTestPacket record = CTestPacket::Record();
        record.Int(VexlaLib::KEY_CHAT, chatId);
        if (unread >= 0)
            record.Int(VexlaLib::KEY_UNREAD_MSGS, unread);
        return record;
    }
    static CTestPacket ChatList(const std::vector<CTestPacket>& records, int chunk = VexlaLib::CHUNK_RECENTCHATS)
    {
        CTestPacket container = CTestPacket::Record();
        for (const CTestPacket& record : records)
            container.Sub(VexlaLib::KEY_CHATRECORD, record);
        return CTestPacket(chunk).Sub(VexlaLib::KEY_CHATRECORDS, container);
    }
    static CTestPacket ChatInfo(int chatId, const std::wstring& members)
    {
        return CTestPacket(VexlaLib::CHUNK_CHATINFO).Int(VexlaLib::KEY_CHAT, chatId).Str(VexlaLib::KEY_MEMBERS, members);
    }
    static CTestPacket Msg(int type, const std::wstring& author, int timestamp, const std::wstring& body)
    {
        return CTestPacket::Record()
            .Int(VexlaLib::KEY_TIMESTAMP, timestamp)
            .Str(VexlaLib::KEY_VEXLANAME, author)
            .Int(VexlaLib::KEY_CHATMSG_TYPE, type)
            .Int(VexlaLib::KEY_CHATMSG_STATUS, 2)
            .Str(VexlaLib::KEY_CHATMSG_BODY, body);
    }
    static CTestPacket Messages(int chatId, int bookmark, const std::vector<CTestPacket>& records)
    {
        CTestPacket container = CTestPacket::Record();
        for (const CTestPacket& record : records)
            container.Sub(VexlaLib::KEY_CHATRECORD, record);
        return CTestPacket(VexlaLib::CHUNK_CHATMESSAGES)
            .Int(VexlaLib::KEY_CHAT, chatId)
            .Int(VexlaLib::KEY_BOOKMARK, bookmark)
            .Sub(VexlaLib::KEY_CHATMSG_RECORDS, container);
    }
    static CTestPacket Created(int localId, int chatId)
    {
        return CTestPacket(VexlaLib::CHUNK_CREATEDCHAT)
            .Int(VexlaLib::KEY_CLIENTCHATID, localId)
            .Sub(VexlaLib::KEY_CHATRECORD, ChatRecord(chatId));
    }

    void Deliver(const CTestPacket& packet)
    {
        Receive(packet);
        Drain();
    }
    VexlaLib::CChat* FindChat(int chatId)
    {
        VexlaLib::CEventList* list = m_lib.GetModel().GetEventList();
        return list ? list->FindChat(chatId) : nullptr;
    }
    // A server chat whose details have arrived, with alice and the given other members.
    VexlaLib::CChat* KnownChat(int chatId, const std::wstring& others = L"bob")
    {
        Deliver(ChatList({ChatRecord(chatId)}));
        Deliver(ChatInfo(chatId, L"alice " + others));
        m_listener.Clear();
        m_chatEvents.m_events.clear();
        return FindChat(chatId);
    }
    size_t SentCount(int chunk) const { return m_net->SentOfChunk(chunk).size(); }
    VexlaLib::TPacketSPtr LastSentOf(int chunk) const
    {
        const std::vector<VexlaLib::TPacketSPtr> sent = m_net->SentOfChunk(chunk);
        return sent.empty() ? VexlaLib::TPacketSPtr() : sent.back();
    }
    static std::vector<int> IntsOf(const VexlaLib::TPacketSPtr& packet, int key)
    {
        int* values = nullptr;
        int count = 0;
        if (!packet->GetAttrIntArray(key, &values, &count))
            return {};
        return std::vector<int>(values, values + count);
    }
    static std::vector<std::wstring> Bodies(const VexlaLib::CChat& chat)
    {
        std::vector<std::wstring> bodies;
        for (const auto& msg : chat.GetMsgList())
            bodies.push_back(msg->GetMsgBody());
        return bodies;
    }

    CChatEventListener m_chatEvents;
};

}  // namespace VexlaTest
