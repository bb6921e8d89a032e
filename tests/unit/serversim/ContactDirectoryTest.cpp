#include <gtest/gtest.h>

#include "ContactDirectory.h"
#include "Json.h"
#include "RegistrationRules.h"

using namespace ServerSim;

namespace {

void Apply(CContactDirectory& directory, const std::string& scenario)
{
    TJsonPtr json = CJson::Parse(scenario);
    std::string error;
    EXPECT_TRUE(directory.Apply(json.get(), error)) << error;
}

std::vector<std::string> Names(const SBuddyPage& page)
{
    std::vector<std::string> names;
    for (const SBuddyRecord& record : page.records)
        names.push_back(record.buddy.name.empty() ? record.buddy.number : record.buddy.name);
    return names;
}

const char* const kScenario = R"({
  "users": [{"name": "bob", "availability": 2}, {"name": "carol"}, {"name": "dave", "availability": 3}],
  "buddies": {"alice": [{"name": "bob"}, {"name": "carol", "authorized": false}, {"name": "dave"},
                        {"number": "+3115", "fullName": "Office"}, {"name": "echo123"}]},
  "page_size": 2})";

}  // namespace

TEST(ContactDirectoryTest, PagesFollowTheBookmark)
{
    CContactDirectory directory;
    Apply(directory, kScenario);
    SBuddyPage first = directory.Page("alice", 0);
    EXPECT_EQ(Names(first), (std::vector<std::string>{"bob", "carol"}));
    EXPECT_TRUE(first.more);
    SBuddyPage second = directory.Page("alice", first.bookmark);
    EXPECT_EQ(Names(second), (std::vector<std::string>{"dave", "+3115"}));
    SBuddyPage last = directory.Page("alice", second.bookmark);
    EXPECT_EQ(Names(last), (std::vector<std::string>{"echo123"}));
    EXPECT_FALSE(last.more);
    SBuddyPage nothing = directory.Page("alice", last.bookmark);
    EXPECT_TRUE(nothing.records.empty());
    EXPECT_FALSE(nothing.more);
    EXPECT_EQ(nothing.bookmark, last.bookmark);

    // What each entry shows: presence, awaiting authorisation, Vexla-out.
    EXPECT_EQ(first.records[0].availability, 2);
    EXPECT_EQ(first.records[1].availability, 8);
    EXPECT_EQ(second.records[1].availability, 10);
    EXPECT_EQ(second.records[1].buddy.fullName, "Office");
}

TEST(ContactDirectoryTest, EmptyPagesAnnounceMoreAndCarryNothing)
{
    CContactDirectory directory;
    Apply(directory, R"({"buddies": {"alice": [{"name": "bob"}]}, "empty_pages": 2})");
    for (int i = 0; i < 2; ++i) {
        SBuddyPage page = directory.Page("alice", 0);
        EXPECT_TRUE(page.more);
        EXPECT_TRUE(page.records.empty());
    }
    EXPECT_EQ(Names(directory.Page("alice", 0)), (std::vector<std::string>{"bob"}));
}

TEST(ContactDirectoryTest, AddsDeletesAndTheirErrors)
{
    CContactDirectory directory;
    Apply(directory, kScenario);
    SBuddyPage page = directory.Page("alice", 0);
    while (page.more)
        page = directory.Page("alice", page.bookmark);
    int error = 0;
    EXPECT_EQ(directory.AddBuddy("alice", "nobody", false, error), 0);
    EXPECT_EQ(error, 9);
    EXPECT_EQ(directory.AddBuddy("alice", "bob", false, error), 0);
    EXPECT_EQ(error, 10);
    EXPECT_TRUE(directory.DeleteBuddy("alice", directory.IndexOf("alice", "bob")));
    EXPECT_FALSE(directory.DeleteBuddy("alice", 99));
    SBuddyPage changed = directory.Page("alice", page.bookmark);
    ASSERT_EQ(changed.records.size(), 1u);
    EXPECT_EQ(changed.records[0].availability, 99);
    // A deleted user can be added again, under a new index.
    EXPECT_EQ(directory.AddBuddy("alice", "bob", true, error), 6);
}

TEST(ContactDirectoryTest, AuthorisationListsBothAndPresenceIsPacked)
{
    CContactDirectory directory;
    Apply(directory, kScenario);
    EXPECT_TRUE(directory.RequestAuthorization("alice", "carol", "hi"));
    EXPECT_FALSE(directory.RequestAuthorization("alice", "stranger", "hi"));
    ASSERT_EQ(directory.Requests("carol").size(), 1u);
    directory.Answer("carol", "alice", 1);
    EXPECT_TRUE(directory.Requests("carol").empty());
    SBuddyRecord record;
    ASSERT_TRUE(directory.Record("alice", "carol", record));
    EXPECT_EQ(record.availability, 1);
    EXPECT_NE(directory.IndexOf("carol", "alice"), 0);

    EXPECT_EQ(directory.SetAvailability("dave", 6), (std::vector<std::string>{"alice"}));
    int bookmark = 0;
    const std::vector<int> entries = directory.Presence("alice", bookmark);
    EXPECT_EQ(entries, (std::vector<int>{(1 << 8) | 2, (2 << 8) | 1, (3 << 8) | 1, (5 << 8) | 2}));
}

TEST(ContactDirectoryTest, SearchFindsNamesAndFullNamesIgnoringCase)
{
    CContactDirectory directory;
    Apply(directory, R"({"users": [{"name": "jsmith"}, {"name": "ann", "fullName": "Ann SMITH"},
                                                          {"name": "me", "fullName": "Smithy"}]})");
    std::vector<std::string> names;
    for (const SSimUser& user : directory.Search("Smith", "me"))
        names.push_back(user.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ann", "jsmith"}));
}

TEST(RegistrationRulesTest, EachRuleHasItsCode)
{
    const std::string email = "new@example.org";
    const std::string bad = "new@example";
    EXPECT_EQ(CRegistrationRules::Check("newuser", "secret1", &email), 0);
    EXPECT_EQ(CRegistrationRules::Check("newuser", "secret1", nullptr), 0);
    EXPECT_EQ(CRegistrationRules::Check("1user", "secret1", &email), 9);
    EXPECT_EQ(CRegistrationRules::Check("ab", "secret1", &email), 9);
    EXPECT_EQ(CRegistrationRules::Check("newuser", std::string(21, 'a'), &email), 28);
    EXPECT_EQ(CRegistrationRules::Check("newuser", "short", &email), 29);
    EXPECT_EQ(CRegistrationRules::Check("newuser", "caf\xc3\xa9-pw", &email), 30);
    EXPECT_EQ(CRegistrationRules::Check("newuser", "my secret", &email), 31);
    EXPECT_EQ(CRegistrationRules::Check("newuser", "newuser", &email), 32);
    EXPECT_EQ(CRegistrationRules::Check("newuser", "secret1", &bad), 45);
}
