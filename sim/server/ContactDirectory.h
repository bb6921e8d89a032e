#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Json.h"

namespace ServerSim {

// A user of the simulated network as others see it.
struct SSimUser {
    std::string name;
    std::string fullName;
    std::string country;
    std::string city;
    std::string mood;
    std::string about;
    int birthday = 0;
    int availability = 1;                // what others see: 1 offline, 2 online, 3 away...
    std::vector<unsigned char> picture;  // may be empty
};

// One entry of an account's buddy list.
struct SSimBuddy {
    int index = 0;
    std::string name;     // a network user, or empty for a telephone number
    std::string number;   // the telephone number of a Vexla-out entry
    std::string fullName; // the name given with a number
    bool authorized = true;
    bool deleted = false;
    long version = 0;     // list version of the last change; the client's bookmark compares with it
};

// What an account's client is told about one buddy.
struct SBuddyRecord {
    SSimBuddy buddy;
    SSimUser user;  // empty for numbers and unknown users
    int availability = 1;
};

// A page of an account's buddy list.
struct SBuddyPage {
    std::vector<SBuddyRecord> records;
    int bookmark = 0;
    bool more = false;
};

// An authorisation request waiting for an account's answer.
struct SAuthRequest {
    std::string from;
    std::string message;
};

// The contacts side of the simulated network: users, each account's buddy list with versions for the
// bookmarks, authorisation requests, balances and which connection serves which account. Shared by the
// connection threads and the control socket, so every access is locked.
class CContactDirectory {
public:
    // The network's test-call user, "echo123", is always there.
    CContactDirectory();

    // Reads the contacts members of a scenario file (the other members belong to CScenario).
    bool Load(const std::string& path, std::string& error);
    // Reads the scenario's "users", "buddies", "balances", "page_size", "empty_pages",
    // "search_page_size" and "presence_settings" members.
    bool Apply(json_object* scenario, std::string& error);
    static bool ParseUser(json_object* object, SSimUser& user, std::string& error);

    // Users.
    void SetUser(const SSimUser& user);
    bool FindUser(const std::string& name, SSimUser& user) const;
    // Sets what others see of the user; returns the accounts that list the user (to be told).
    std::vector<std::string> SetAvailability(const std::string& name, int availability);
    // Users whose name or full name contains the text, case ignored, in name order.
    std::vector<SSimUser> Search(const std::string& text, const std::string& except) const;

    // Buddy lists. Each change raises the list's version; a page holds the entries changed since a bookmark.
    SBuddyPage Page(const std::string& account, int bookmark);
    // Adds a network user (pending until the user authorises) or returns the index it has; 0 with an
    // error code (9 unknown user, 10 already listed) when refused.
    int AddBuddy(const std::string& account, const std::string& name, bool authorized, int& error);
    int AddNumber(const std::string& account, const std::string& number, const std::string& fullName);
    // Marks the entry deleted; false when the account has no such index.
    bool DeleteBuddy(const std::string& account, int index);
    int IndexOf(const std::string& account, const std::string& name) const;
    bool FindBuddy(const std::string& account, int index, SBuddyRecord& record) const;
    // The record of an entry as the account sees it now.
    bool Record(const std::string& account, const std::string& name, SBuddyRecord& record) const;
    // Packed presence entries (index << 8 | availability) of every listed user, and the presence version.
    std::vector<int> Presence(const std::string& account, int& bookmark) const;
    // The accounts that list the user.
    std::vector<std::string> Watchers(const std::string& name) const;

    // Authorisation. A request to a user the network does not know is refused (false).
    bool RequestAuthorization(const std::string& from, const std::string& to, const std::string& message);
    // The answer of `account` to `from`: 1 authorises (both list each other), 2 blocks, 0 rejects.
    void Answer(const std::string& account, const std::string& from, int type);
    std::vector<SAuthRequest> Requests(const std::string& account) const;

    // Credit.
    void Balance(const std::string& account, std::string& currency, int& amount) const;

    // Which account each connection serves, noted as its requests arrive; the account's user shows
    // online from then on.
    void NoteConnection(int connection, const std::string& account);
    std::string AccountOf(int connection) const;

    int SearchPageSize() const;
    // The poll intervals (seconds) the network tells each client at the start of its buddy list;
    // false when the scenario sets none.
    bool PresenceSettings(int& foreground, int& background) const;

private:
    struct SBuddyList {
        std::vector<SSimBuddy> entries;
        long version = 0;
        int nextIndex = 1;
        int emptyPagesLeft = 0;
    };
    SBuddyList& ListOf(const std::string& account);
    SSimBuddy* Entry(SBuddyList& list, const std::string& name);
    SBuddyRecord MakeRecord(const SSimBuddy& buddy) const;
    void Touch(SBuddyList& list, SSimBuddy& buddy);
    // Gives the buddy the list's next index and version and appends it; its index.
    int Append(SBuddyList& list, SSimBuddy buddy);

    mutable std::mutex m_lock;
    std::map<std::string, SSimUser> m_users;
    std::map<std::string, SBuddyList> m_lists;
    std::map<std::string, std::vector<SAuthRequest>> m_requests;
    std::map<std::string, std::pair<std::string, int>> m_balances;
    std::map<int, std::string> m_connections;
    long m_presenceVersion = 1;
    int m_pageSize = 100;
    int m_emptyPages = 0;
    int m_searchPageSize = 10;
    int m_foregroundPoll = 0;
    int m_backgroundPoll = 0;
};

}  // namespace ServerSim
