#include "Tesk/App/Meridex/IMCommands.h"

#include <ctime>
#include <vector>

#include "Model/Chat.h"
#include "Model/Contact.h"
#include "Model/ContactList.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMActivities.h"
#include "Tesk/App/Meridex/IMChatHandles.h"
#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/App/Meridex/IMRecordFields.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

using VexlaLib::CChat;
using VexlaLib::LogInfo;
using VexlaLib::LogNotice;

CIMCommands::CIMCommands(VexlaLib::CVexlaLib* library, IIMChatBus* bus, const std::wstring& userName,
                         CIMChatHandles& handles, CGroupChatQueue& queue)
    : m_pLibrary(library), m_pBus(bus), m_userName(userName), m_handles(handles), m_queue(queue)
{}

void CIMCommands::Process()
{
    m_pBus->Call(CIMChatRequests::FindTransportCommands(), [this](const CBusReply& reply) {
        std::vector<std::wstring> ids;
        for (const CJSONObject& command : CDbResults::Records(reply)) {
            ProcessCommand(command);
            ids.push_back(CIMRecordFields::Text(command, "_id"));
        }
        if (!ids.empty())
            m_pBus->Call(CIMChatRequests::DeleteCommands(ids), nullptr);
        m_pBus->Call(CIMActivities::IMCommand(), nullptr);
    });
}

void CIMCommands::ProcessCommand(const CJSONObject& command)
{
    std::wstring payload;
    command.ToString(&payload);
    LogInfo() << "-- imcommand, payload = " << payload << std::endl;
    std::wstring name = CIMRecordFields::Text(command, "command");
    std::wstring target = CIMRecordFields::Text(command, "targetUsername");
    std::wstring from = CIMRecordFields::Text(command, "fromUsername");
    CJSONObject params;
    command.GetObject("params", &params);

    if (name == L"sendBuddyInvite") {
        m_pLibrary->AddContact(target, CIMRecordFields::Text(params, "message"));
    } else if (name == L"deleteBuddy") {
        DeleteBuddy(VexlaLib::CUtils::ToLowerCase(target));
    } else if (name == L"receivedBuddyInvite") {
        bool accept = false;
        if (!params.GetBool("accept", &accept)) {
            LogNotice() << "-- buddy invite answer from " << from << " without \"accept\", ignored" << std::endl;
        } else if (accept) {
            LogInfo() << "-- authorized buddy invite from " << from << std::endl;
            m_pLibrary->AuthorizeContact(from);
        } else {
            LogInfo() << "-- rejected buddy invite from " << from << std::endl;
            m_pLibrary->RejectContact(from);
        }
    } else if (name == L"createGroupChat") {
        CreateGroupChat(params);
    } else if (name == L"setGroupTopic" || name == L"inviteToGroup" || name == L"leaveGroupChat") {
        m_pBus->Call(CIMChatRequests::Get(CIMRecordFields::Text(params, "groupChatId")),
                     [this, name, params](const CBusReply& reply) { imcommand_processObject(name, params, reply); });
    } else {
        LogInfo() << "-- unhandled imcommand " << name << ", target " << target << ", from " << from << std::endl;
    }
}

void CIMCommands::DeleteBuddy(const std::wstring& lowerCaseName)
{
    if (VexlaLib::CContact* contact = m_pLibrary->FindContact(lowerCaseName)) {
        LogInfo() << "-- deleting contact" << std::endl;
        m_pLibrary->DeleteContact(contact->GetHandle());
    } else if (!ContactListComplete()) {
        // Commands written while signed out are read as soon as the user signs in, before the buddy list.
        LogInfo() << "-- deleting contact " << lowerCaseName << " once the buddy list is in" << std::endl;
        m_pendingDeletions.insert(lowerCaseName);
    }
}

bool CIMCommands::ContactListComplete()
{
    const VexlaLib::CContactList* list = m_pLibrary->GetModel().GetContactList();
    return list != nullptr && list->IsComplete();
}

void CIMCommands::ContactListUpdated()
{
    if (m_pendingDeletions.empty() || !ContactListComplete())
        return;
    std::set<std::wstring> names;
    names.swap(m_pendingDeletions);
    for (const std::wstring& name : names)
        DeleteBuddy(name);
}

void CIMCommands::CreateGroupChat(const CJSONObject& params)
{
    CJSONArray userArray;
    params.GetArray("usernames", &userArray);
    std::vector<std::wstring> users = CIMRecordFields::Strings(userArray);
    if (users.empty())
        return;
    int handle = 0;
    std::wstring uniqueName;
    if (m_handles.Has(users.front())) {
        handle = m_handles.Find(users.front());
    } else if (CChat* chat = m_pLibrary->CreateOrOpenChat(users.front())) {
        handle = chat->GetHandle();
        uniqueName = chat->GetUniqueName();
    }
    if (handle == 0) {
        LogNotice() << "-- no chat with " << users.front() << ", group chat not created" << std::endl;
        return;
    }
    m_queue.Pause();
    if (users.size() > 1)
        m_pLibrary->AddChatMembers(handle, std::vector<std::wstring>(users.begin() + 1, users.end()));

    CJSONArray members;
    for (const std::wstring& user : users)
        members.AddObject(CIMChatRequests::Member(user));
    std::wstring message = CIMRecordFields::Text(params, "message");
    std::wstring groupName = m_userName + std::to_wstring(static_cast<long long>(std::time(nullptr)));
    m_handles.Set(groupName, handle);
    CJSONObject record = CIMChatRequests::NewGroupChat(groupName, uniqueName, message, members, handle);
    std::wstring chatThreadId = CIMRecordFields::Text(params, "chatThreadId");
    if (!chatThreadId.empty())
        record.SetString("chatThreadId", chatThreadId);
    m_pLibrary->SetChatTopic(handle, message);
    m_pBus->Call(CIMChatRequests::Put(record), [this](const CBusReply&) { m_queue.Resume(); });
}

void CIMCommands::imcommand_processObject(const std::wstring& command, const CJSONObject& params,
                                          const CBusReply& reply)
{
    std::vector<CJSONObject> records = CDbResults::Records(reply);
    if (records.size() != 1)
        return;
    const CJSONObject& record = records.front();
    std::wstring uniqueName = CIMRecordFields::Text(record, "vexlaUniqueName");
    std::wstring groupName = CIMRecordFields::Text(record, "groupName");
    int handle = 0;
    record.GetInt("chatHandle", &handle);
    if (handle == 0) {
        if (m_handles.Has(uniqueName)) {
            handle = m_handles.Find(uniqueName);
            LogInfo() << "--- found chathandle in vexlaUniqueName, " << handle << std::endl;
        } else if (m_handles.Has(groupName)) {
            handle = m_handles.Find(groupName);
            LogInfo() << "--- found chathandle in groupName, " << handle << std::endl;
        } else if (CChat* chat = uniqueName.empty() ? nullptr : m_pLibrary->CreateOrOpenChat(uniqueName)) {
            handle = chat->GetHandle();
        }
    }
    if (command == L"setGroupTopic") {
        m_pLibrary->SetChatTopic(handle, CIMRecordFields::Text(params, "message"));
    } else if (command == L"inviteToGroup") {
        CJSONArray users;
        params.GetArray("usernames", &users);
        m_pLibrary->AddChatMembers(handle, CIMRecordFields::Strings(users));
    } else {
        m_pLibrary->LeaveChat(handle);
        m_handles.Unbind(handle);
        m_handles.Forget(uniqueName);
        m_handles.Forget(groupName);
        m_pBus->Call(CIMChatRequests::LockGroupChat(CIMRecordFields::Id(record)), nullptr);
    }
}
