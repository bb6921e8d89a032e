#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Json.h"
#include "SimChat.h"

namespace ServerSim {

class CConnection;
class CServerSim;

// The simulated network's chats, shared by every connection and the control socket (so every
// access is locked). Clients are served on their own connection; a change to a chat goes to each
// connected member: as a message batch from its last bookmark when it synchronises the chat
// automatically (and always to the sender, which gets its request ids back), else as an unread-chats
// record so that it learns of the news. Scripted users are plain names without a connection.
class CChatStore {
public:
    explicit CChatStore(int timeOffset = 0);
    CChatStore(const CChatStore&) = delete;
    CChatStore& operator=(const CChatStore&) = delete;

    // The server whose connections receive the changes; none until set.
    void SetServer(CServerSim* server);
    // Adds the chats of a scenario's "chats" array (see README.md); false with a reason.
    bool Load(json_object* chats, std::string& error);
    // Keeps the chats in the file at path from now on; reads them from it when it exists (true) and
    // writes it otherwise. error is set when the file exists but cannot be used.
    bool Restore(const std::string& path, std::string& error);

    // Client requests, on the connection's thread; the connection's signed-in account is the user.
    void SendList(CConnection& connection, bool unreadOnly);
    void SendInfo(CConnection& connection, int chatId);
    // Sends the messages after bookmark and switches automatic synchronisation; maxEntries 0 only
    // switches it.
    void FetchMessages(CConnection& connection, int chatId, int bookmark, bool autosync, int maxEntries);
    void CreateDialog(CConnection& connection, const std::string& partner, int clientChatId, bool autosync);
    void SendMessage(CConnection& connection, int chatId, const std::string& body, int requestId);
    void AddMembers(CConnection& connection, int chatId, const std::vector<std::string>& names);
    void SetTopic(CConnection& connection, int chatId, const std::string& topic);
    void MarkRead(CConnection& connection, const std::vector<int>& chatIds);
    void Leave(CConnection& connection, int chatId);

    // Control commands, as scripted users. Each returns the chat id, or -1 with a reason.
    // chatId < 0 names the dialog between from and to, created when missing.
    int Deliver(const std::string& from, const std::string& to, int chatId, int type, const std::string& text,
                std::string& error);
    int Rename(const std::string& from, int chatId, const std::string& topic, std::string& error);
    int ChangeMember(const std::string& from, int chatId, const std::string& name, bool add, std::string& error);
    // Every chat with its members, the accounts synchronising it, and its messages.
    TJsonPtr ToJson() const;

private:
    // What the store knows of one client connection.
    struct SLink {
        std::string account;
        std::map<int, int> synced;   // chat id → last seq sent to it
        std::set<int> autosync;      // chats it synchronises automatically
    };

    // The connection's link, with its current account; null when it is not signed in.
    SLink* LinkLocked(CConnection& connection);
    // The chat when the account is a member; null otherwise.
    SSimChat* MemberChatLocked(int chatId, const std::string& account);
    SSimChat& NewChatLocked(int type, const std::vector<std::string>& members, const std::string& creator);
    SSimChat* FindDialogLocked(const std::string& a, const std::string& b);
    SSimChatMsg& AppendLocked(SSimChat& chat, const std::string& author, int type, const std::string& body);
    // Sends the chat's news to its connected members; sender is the connection that caused it.
    void DistributeLocked(const SSimChat& chat, int senderConn);
    void SendBatchLocked(CConnection& connection, SLink& link, const SSimChat& chat);
    int Now() const;
    void SaveLocked() const;

    mutable std::mutex m_lock;
    const int m_timeOffset;
    CServerSim* m_server = nullptr;
    std::string m_statePath;
    int m_nextChatId = 100;
    std::map<int, SSimChat> m_chats;
    std::map<int, SLink> m_links;
};

}  // namespace ServerSim
