#include "ContactDirectory.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace ServerSim {

namespace {

const int AVAILABILITY_OFFLINE = 1;
const int AVAILABILITY_INVISIBLE = 6;
const int AVAILABILITY_PENDINGAUTH = 8;
const int AVAILABILITY_VEXLAOUT = 10;
const int AVAILABILITY_DELETED = 99;

const int ERROR_NO_SUCH_USER = 9;
const int ERROR_ALREADY_LISTED = 10;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool ParseHex(const std::string& hex, std::vector<unsigned char>& bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const std::string pair = hex.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || !std::isxdigit(static_cast<unsigned char>(pair[1])))
            return false;
        bytes.push_back(static_cast<unsigned char>(std::stoi(pair, nullptr, 16)));
    }
    return true;
}

}  // namespace

CContactDirectory::CContactDirectory()
{
    SSimUser echo;
    echo.name = "echo123";
    echo.fullName = "Echo / Sound Test Service";
    echo.availability = 2;
    m_users[echo.name] = echo;
}

bool CContactDirectory::ParseUser(json_object* object, SSimUser& user, std::string& error)
{
    user.name = CJson::GetString(object, "name", "");
    if (user.name.empty()) {
        error = "a user needs a \"name\"";
        return false;
    }
    user.fullName = CJson::GetString(object, "fullName", user.fullName);
    user.country = CJson::GetString(object, "country", user.country);
    user.city = CJson::GetString(object, "city", user.city);
    user.mood = CJson::GetString(object, "mood", user.mood);
    user.about = CJson::GetString(object, "about", user.about);
    user.birthday = static_cast<int>(CJson::GetInt(object, "birthday", user.birthday));
    user.availability = static_cast<int>(CJson::GetInt(object, "availability", user.availability));
    if (CJson::Get(object, "picture") != nullptr && !ParseHex(CJson::GetString(object, "picture", ""), user.picture)) {
        error = "\"picture\" is hex text";
        return false;
    }
    return true;
}

bool CContactDirectory::Load(const std::string& path, std::string& error)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    TJsonPtr scenario = CJson::Parse(text.str());
    if (!file || !scenario || !json_object_is_type(scenario.get(), json_type_object)) {
        error = "cannot read the contacts of scenario file " + path;
        return false;
    }
    return Apply(scenario.get(), error);
}

bool CContactDirectory::Apply(json_object* scenario, std::string& error)
{
    if (json_object* users = CJson::Get(scenario, "users")) {
        for (size_t i = 0; i < json_object_array_length(users); ++i) {
            SSimUser user;
            if (!ParseUser(json_object_array_get_idx(users, i), user, error))
                return false;
            SetUser(user);
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_pageSize = std::max(1, static_cast<int>(CJson::GetInt(scenario, "page_size", m_pageSize)));
    m_emptyPages = std::max(0, static_cast<int>(CJson::GetInt(scenario, "empty_pages", m_emptyPages)));
    m_searchPageSize = std::max(1, static_cast<int>(CJson::GetInt(scenario, "search_page_size", m_searchPageSize)));
    if (json_object* poll = CJson::Get(scenario, "presence_settings")) {
        m_foregroundPoll = static_cast<int>(CJson::GetInt(poll, "foreground", 0));
        m_backgroundPoll = static_cast<int>(CJson::GetInt(poll, "background", 0));
    }
    if (json_object* buddies = CJson::Get(scenario, "buddies")) {
        json_object_object_foreach(buddies, account, entries)
        {
            SBuddyList& list = ListOf(account);
            for (size_t i = 0; i < json_object_array_length(entries); ++i) {
                json_object* entry = json_object_array_get_idx(entries, i);
                SSimBuddy buddy;
                buddy.name = CJson::GetString(entry, "name", "");
                buddy.number = CJson::GetString(entry, "number", "");
                buddy.fullName = CJson::GetString(entry, "fullName", "");
                buddy.authorized = CJson::GetBool(entry, "authorized", true);
                if (buddy.name.empty() == buddy.number.empty()) {
                    error = "a buddy has either a \"name\" or a \"number\"";
                    return false;
                }
                Append(list, buddy);
            }
        }
    }
    if (json_object* balances = CJson::Get(scenario, "balances")) {
        json_object_object_foreach(balances, account, balance)
        {
            m_balances[account] = {CJson::GetString(balance, "currency", "EUR"),
                                   static_cast<int>(CJson::GetInt(balance, "amount", 0))};
        }
    }
    return true;
}

void CContactDirectory::SetUser(const SSimUser& user)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_users[user.name] = user;
    for (auto& list : m_lists)
        if (SSimBuddy* buddy = Entry(list.second, user.name))
            Touch(list.second, *buddy);
}

bool CContactDirectory::FindUser(const std::string& name, SSimUser& user) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_users.find(name);
    if (found == m_users.end())
        return false;
    user = found->second;
    return true;
}

std::vector<std::string> CContactDirectory::SetAvailability(const std::string& name, int availability)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SSimUser& user = m_users[name];
    user.name = name;
    user.availability = availability == AVAILABILITY_INVISIBLE ? AVAILABILITY_OFFLINE : availability;
    ++m_presenceVersion;
    std::vector<std::string> watchers;
    for (auto& list : m_lists)
        if (Entry(list.second, name) != nullptr)
            watchers.push_back(list.first);
    return watchers;
}

std::vector<SSimUser> CContactDirectory::Search(const std::string& text, const std::string& except) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::string wanted = Lower(text);
    std::vector<SSimUser> found;
    for (const auto& user : m_users) {
        if (user.first == except)
            continue;
        if (Lower(user.first).find(wanted) != std::string::npos ||
            Lower(user.second.fullName).find(wanted) != std::string::npos)
            found.push_back(user.second);
    }
    return found;
}

CContactDirectory::SBuddyList& CContactDirectory::ListOf(const std::string& account)
{
    auto found = m_lists.find(account);
    if (found != m_lists.end())
        return found->second;
    SBuddyList& list = m_lists[account];
    list.emptyPagesLeft = m_emptyPages;
    return list;
}

SSimBuddy* CContactDirectory::Entry(SBuddyList& list, const std::string& name)
{
    for (SSimBuddy& buddy : list.entries)
        if (!buddy.deleted && !name.empty() && (buddy.name == name || buddy.number == name))
            return &buddy;
    return nullptr;
}

void CContactDirectory::Touch(SBuddyList& list, SSimBuddy& buddy)
{
    buddy.version = ++list.version;
}

int CContactDirectory::Append(SBuddyList& list, SSimBuddy buddy)
{
    buddy.index = list.nextIndex++;
    Touch(list, buddy);
    list.entries.push_back(buddy);
    return buddy.index;
}

SBuddyRecord CContactDirectory::MakeRecord(const SSimBuddy& buddy) const
{
    SBuddyRecord record;
    record.buddy = buddy;
    if (buddy.deleted) {
        record.availability = AVAILABILITY_DELETED;
    } else if (!buddy.number.empty()) {
        record.availability = AVAILABILITY_VEXLAOUT;
    } else if (!buddy.authorized) {
        record.availability = AVAILABILITY_PENDINGAUTH;
    } else {
        auto user = m_users.find(buddy.name);
        record.availability = user == m_users.end() ? AVAILABILITY_OFFLINE : user->second.availability;
    }
    auto user = m_users.find(buddy.name);
    if (user != m_users.end())
        record.user = user->second;
    return record;
}

SBuddyPage CContactDirectory::Page(const std::string& account, int bookmark)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SBuddyList& list = ListOf(account);
    SBuddyPage page;
    page.bookmark = bookmark;
    if (list.emptyPagesLeft > 0) {
        // Announces more records and carries none, as a busy server may.
        --list.emptyPagesLeft;
        page.more = true;
        return page;
    }
    std::vector<const SSimBuddy*> changed;
    for (const SSimBuddy& buddy : list.entries)
        if (buddy.version > bookmark)
            changed.push_back(&buddy);
    std::sort(changed.begin(), changed.end(),
              [](const SSimBuddy* a, const SSimBuddy* b) { return a->version < b->version; });
    const size_t count = std::min(changed.size(), static_cast<size_t>(m_pageSize));
    for (size_t i = 0; i < count; ++i)
        page.records.push_back(MakeRecord(*changed[i]));
    page.more = count < changed.size();
    page.bookmark = page.more ? static_cast<int>(changed[count - 1]->version) : static_cast<int>(list.version);
    return page;
}

int CContactDirectory::AddBuddy(const std::string& account, const std::string& name, bool authorized, int& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_users.find(name) == m_users.end()) {
        error = ERROR_NO_SUCH_USER;
        return 0;
    }
    SBuddyList& list = ListOf(account);
    if (Entry(list, name) != nullptr) {
        error = ERROR_ALREADY_LISTED;
        return 0;
    }
    SSimBuddy buddy;
    buddy.name = name;
    buddy.authorized = authorized;
    return Append(list, buddy);
}

int CContactDirectory::AddNumber(const std::string& account, const std::string& number, const std::string& fullName)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SBuddyList& list = ListOf(account);
    if (SSimBuddy* existing = Entry(list, number))
        return existing->index;
    SSimBuddy buddy;
    buddy.number = number;
    buddy.fullName = fullName;
    return Append(list, buddy);
}

bool CContactDirectory::DeleteBuddy(const std::string& account, int index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SBuddyList& list = ListOf(account);
    for (SSimBuddy& buddy : list.entries) {
        if (buddy.index == index && !buddy.deleted) {
            buddy.deleted = true;
            Touch(list, buddy);
            return true;
        }
    }
    return false;
}

int CContactDirectory::IndexOf(const std::string& account, const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto list = m_lists.find(account);
    if (list == m_lists.end())
        return 0;
    for (const SSimBuddy& buddy : list->second.entries)
        if (!buddy.deleted && (buddy.name == name || buddy.number == name))
            return buddy.index;
    return 0;
}

bool CContactDirectory::FindBuddy(const std::string& account, int index, SBuddyRecord& record) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto list = m_lists.find(account);
    if (list == m_lists.end())
        return false;
    for (const SSimBuddy& buddy : list->second.entries) {
        if (buddy.index == index && !buddy.deleted) {
            record = MakeRecord(buddy);
            return true;
        }
    }
    return false;
}

bool CContactDirectory::Record(const std::string& account, const std::string& name, SBuddyRecord& record) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto list = m_lists.find(account);
    if (list == m_lists.end())
        return false;
    const SSimBuddy* latest = nullptr;
    for (const SSimBuddy& buddy : list->second.entries)
        if (buddy.name == name || buddy.number == name)
            latest = &buddy;
    if (latest == nullptr)
        return false;
    record = MakeRecord(*latest);
    return true;
}

std::vector<int> CContactDirectory::Presence(const std::string& account, int& bookmark) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<int> entries;
    bookmark = static_cast<int>(m_presenceVersion);
    auto list = m_lists.find(account);
    if (list == m_lists.end())
        return entries;
    for (const SSimBuddy& buddy : list->second.entries) {
        if (buddy.deleted || !buddy.number.empty())
            continue;
        entries.push_back((buddy.index & 0xFFFF) << 8 | (MakeRecord(buddy).availability & 0xFF));
    }
    return entries;
}

std::vector<std::string> CContactDirectory::Watchers(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> watchers;
    for (const auto& list : m_lists)
        for (const SSimBuddy& buddy : list.second.entries)
            if (!buddy.deleted && buddy.name == name) {
                watchers.push_back(list.first);
                break;
            }
    return watchers;
}

bool CContactDirectory::RequestAuthorization(const std::string& from, const std::string& to, const std::string& message)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_users.find(to) == m_users.end() && m_lists.find(to) == m_lists.end())
        return false;
    std::vector<SAuthRequest>& requests = m_requests[to];
    for (SAuthRequest& request : requests)
        if (request.from == from) {
            request.message = message;
            return true;
        }
    requests.push_back(SAuthRequest{from, message});
    return true;
}

void CContactDirectory::Answer(const std::string& account, const std::string& from, int type)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<SAuthRequest>& requests = m_requests[account];
    requests.erase(std::remove_if(requests.begin(), requests.end(),
                                  [&](const SAuthRequest& request) { return request.from == from; }),
                   requests.end());
    if (type != 1)
        return;
    // Authorised: the requester sees the account, and the account lists the requester.
    SBuddyList& theirs = ListOf(from);
    if (SSimBuddy* entry = Entry(theirs, account)) {
        entry->authorized = true;
        Touch(theirs, *entry);
    }
    SBuddyList& mine = ListOf(account);
    if (Entry(mine, from) == nullptr) {
        SSimBuddy buddy;
        buddy.name = from;
        Append(mine, buddy);
    }
}

std::vector<SAuthRequest> CContactDirectory::Requests(const std::string& account) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_requests.find(account);
    return found == m_requests.end() ? std::vector<SAuthRequest>() : found->second;
}

void CContactDirectory::Balance(const std::string& account, std::string& currency, int& amount) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_balances.find(account);
    currency = found == m_balances.end() ? "EUR" : found->second.first;
    amount = found == m_balances.end() ? 0 : found->second.second;
}

void CContactDirectory::NoteConnection(int connection, const std::string& account)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_connections[connection] = account;
    SSimUser& user = m_users[account];
    if (user.name.empty()) {
        user.name = account;
        user.availability = 2;
    }
}

std::string CContactDirectory::AccountOf(int connection) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_connections.find(connection);
    return found == m_connections.end() ? std::string() : found->second;
}

bool CContactDirectory::PresenceSettings(int& foreground, int& background) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    foreground = m_foregroundPoll;
    background = m_backgroundPoll;
    return foreground > 0 || background > 0;
}

int CContactDirectory::SearchPageSize() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_searchPageSize;
}

}  // namespace ServerSim
