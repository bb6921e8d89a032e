#pragma once

#include <set>
#include <string>

namespace VexlaLib {
class CVexlaLib;
}
class CBusReply;
class CGroupChatQueue;
class CIMChatHandles;
class CJSONObject;
class IIMChatBus;

// The application's commands to the messaging transport, read from the platform's command records and
// deleted once carried out: buddy invitations sent and answered, buddies deleted (a command read before
// the buddy list is in waits for it), group chats created, their topic set, users invited, chats left.
// Main-loop thread only.
class CIMCommands
{
public:
    // `userName` is read when needed. Nothing is owned.
    CIMCommands(VexlaLib::CVexlaLib* library, IIMChatBus* bus, const std::wstring& userName, CIMChatHandles& handles,
                CGroupChatQueue& queue);

    // "Vexla imcommand" fired: carries out the commands addressed to the transport and deletes them.
    void Process();
    // The complete buddy list carries out the deletions that were waiting for it.
    void ContactListUpdated();

private:
    void ProcessCommand(const CJSONObject& command);
    // Deletes the buddy; while the buddy list is still arriving, once it is complete.
    void DeleteBuddy(const std::wstring& lowerCaseName);
    bool ContactListComplete();
    void CreateGroupChat(const CJSONObject& params);
    void imcommand_processObject(const std::wstring& command, const CJSONObject& params, const CBusReply& reply);

    VexlaLib::CVexlaLib* m_pLibrary;
    IIMChatBus* m_pBus;
    const std::wstring& m_userName;
    CIMChatHandles& m_handles;
    CGroupChatQueue& m_queue;
    std::set<std::wstring> m_pendingDeletions;  // lower-case buddy names
};
