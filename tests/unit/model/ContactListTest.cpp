#include "Model/Availability.h"
#include "Model/ContactChange.h"
#include "Model/Model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VexlaLib;

namespace {

class ContactListTest : public ::testing::Test
{
protected:
    CContact* Add(int index, int availability, const std::wstring& vexlaName, const std::wstring& callTarget = L"")
    {
        CContact* contact = m_model.GetOrCreateContactList()->CreateContact(m_model.GetNewObjectHandle(), index,
                                                                            availability, vexlaName, callTarget);
        if (contact != nullptr)
            m_model.AddObject(contact);
        return contact;
    }

    std::vector<std::wstring> SortedNames()
    {
        std::vector<std::wstring> names;
        for (const CContact* contact : m_model.GetContactList()->GetList(true))
            names.push_back(contact->GetDisplayString());
        return names;
    }

    CModel m_model;
};

TEST(ContactTest, DisplayStringAndCallTargetFallBackInOrder)
{
    CContact contact(1, 5, CAvailability::ONLINE, L"bob", L"");
    EXPECT_EQ(L"bob", contact.GetDisplayString());
    EXPECT_EQ(L"bob", contact.GetCallTarget());
    contact.SetFullName(L"Bob Smith");
    EXPECT_EQ(L"Bob Smith", contact.GetDisplayString());
    contact.SetDisplayName(L"Bobby");
    EXPECT_EQ(L"Bobby", contact.GetDisplayString());

    CContact number(2, 6, CAvailability::VEXLAOUT, L"", L"+4420123");
    EXPECT_EQ(L"+4420123", number.GetDisplayString());
    EXPECT_EQ(L"+4420123", number.GetCallTarget());
    EXPECT_TRUE(number.IsVexlaOut());
    number.SetAvailability(CAvailability::BLOCKED_VEXLAOUT);
    EXPECT_TRUE(number.IsVexlaOut());
}

TEST(ContactTest, SortIndexGroupsReachableUsersThenNumbersThenTheRest)
{
    const std::vector<std::pair<int, int>> expected = {
        {0, 2}, {1, 2}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 2}, {7, 0}, {8, 2},
        {9, 2}, {10, 1}, {11, 2}, {12, 2}, {13, 2}, {14, 2}, {99, 2}};
    for (const auto& [availability, sortIndex] : expected) {
        CContact contact(1, 1, availability, L"x", L"");
        EXPECT_EQ(sortIndex, contact.GetSortIndex()) << "availability " << availability;
    }
}

TEST(ContactTest, SettersReportOnlyRealChanges)
{
    CContact contact(1, 5, CAvailability::OFFLINE, L"echo123", L"");
    EXPECT_TRUE(contact.IsEcho123());
    EXPECT_FALSE(contact.SetAvailability(CAvailability::OFFLINE));
    EXPECT_TRUE(contact.SetAvailability(CAvailability::ONLINE));
    EXPECT_TRUE(contact.SetMoodText(L"happy"));
    EXPECT_FALSE(contact.SetMoodText(L"happy"));
    EXPECT_FALSE(contact.SetAvatarCrc(0));
    EXPECT_TRUE(contact.SetAvatarCrc(-17));
    EXPECT_TRUE(contact.SetGender(static_cast<CContact::eGender>(2)));
    EXPECT_FALSE(contact.SetGender(static_cast<CContact::eGender>(2)));

    CContact copy = contact;
    EXPECT_EQ(contact.GetHandle(), copy.GetHandle());
    EXPECT_EQ(L"happy", copy.GetMoodText());
    EXPECT_FALSE(CContact(1, 1, 2, L"Echo123", L"").IsEcho123());
}

TEST(ContactTest, ChangeMaskHasOneDistinctBitPerField)
{
    const int bits[] = {CHANGE_AVAILABILITY, CHANGE_FULLNAME, CHANGE_DISPLAYNAME, CHANGE_MOODTEXT,
                        CHANGE_AUTHMSG, CHANGE_PHONE_HOME, CHANGE_PHONE_OFFICE, CHANGE_PHONE_MOBILE,
                        CHANGE_COUNTRY, CHANGE_CITY, CHANGE_PROVINCE, CHANGE_LANGUAGES, CHANGE_GENDER,
                        CHANGE_BIRTHDAY, CHANGE_AVATAR, CHANGE_EMAILS, CHANGE_HOMEPAGE, CHANGE_ABOUT,
                        CHANGE_NROFCONTACTS};
    int all = 0;
    for (size_t i = 0; i < sizeof(bits) / sizeof(bits[0]); ++i) {
        EXPECT_EQ(1 << i, bits[i]);
        all |= bits[i];
    }
    EXPECT_EQ(0x7FFFF, all);
}

TEST_F(ContactListTest, DuplicateIndexIsRefusedAndLeavesTheFirstContact)
{
    CContact* first = Add(7, CAvailability::ONLINE, L"alice");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(nullptr, Add(7, CAvailability::OFFLINE, L"mallory"));
    CContactList* list = m_model.GetContactList();
    EXPECT_EQ(first, list->FindContact(7));
    EXPECT_EQ(L"alice", first->GetVexlaName());
    EXPECT_EQ(CAvailability::ONLINE, first->GetAvailability());
    EXPECT_EQ(1u, list->GetCount());
    EXPECT_EQ(nullptr, list->FindContact(8));
}

TEST_F(ContactListTest, TextLookupFindsNumbersOnlyByTargetAndUsersByNameOrPhone)
{
    CContact* number = Add(3, CAvailability::VEXLAOUT, L"outuser", L"+15550100");
    CContact* user = Add(5, CAvailability::ONLINE, L"bob");
    user->SetPhoneHome(L"111");
    user->SetPhoneOffice(L"222");
    user->SetPhoneMobile(L"333");
    number->SetPhoneHome(L"444");
    CContactList* list = m_model.GetContactList();

    EXPECT_EQ(number, list->FindContact(std::wstring(L"+15550100")));
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"outuser")));
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"444")));
    EXPECT_EQ(user, list->FindContact(std::wstring(L"bob")));
    EXPECT_EQ(user, list->FindContact(std::wstring(L"111")));
    EXPECT_EQ(user, list->FindContact(std::wstring(L"222")));
    EXPECT_EQ(user, list->FindContact(std::wstring(L"333")));
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"Bob")));
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"")));
    // Nor does empty text find a user whose phone numbers are unset.
    Add(6, CAvailability::ONLINE, L"carol");
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"")));
}

TEST_F(ContactListTest, TextLookupPrefersTheLowestIndex)
{
    Add(9, CAvailability::ONLINE, L"carol")->SetPhoneMobile(L"555");
    CContact* lower = Add(2, CAvailability::OFFLINE, L"dave");
    lower->SetPhoneOffice(L"555");
    EXPECT_EQ(lower, m_model.GetContactList()->FindContact(std::wstring(L"555")));
}

TEST_F(ContactListTest, TextLookupFollowsAddsDeletesAndNotedChangesAfterTheFirstLookup)
{
    CContact* carol = Add(9, CAvailability::ONLINE, L"carol");
    CContactList* list = m_model.GetContactList();
    EXPECT_EQ(carol, list->FindContact(std::wstring(L"carol")));

    CContact* lower = Add(2, CAvailability::VEXLAOUT, L"carol", L"carol");
    EXPECT_EQ(lower, list->FindContact(std::wstring(L"carol")));
    m_model.DeleteContact(lower);
    EXPECT_EQ(carol, list->FindContact(std::wstring(L"carol")));

    carol->SetPhoneMobile(L"555");
    list->NoteChange(*carol, CHANGE_PHONE_MOBILE, false);
    EXPECT_EQ(carol, list->FindContact(std::wstring(L"555")));

    carol->SetAvailability(CAvailability::VEXLAOUT);
    list->NoteChange(*carol, CHANGE_AVAILABILITY, false);
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"555")));
    EXPECT_EQ(carol, list->FindContact(carol->GetCallTarget()));
}

TEST_F(ContactListTest, SortsReachableThenNumbersThenOthersIgnoringCase)
{
    Add(1, CAvailability::ONLINE, L"bob");
    Add(2, CAvailability::AWAY, L"Alice");
    Add(3, CAvailability::VEXLAOUT, L"", L"+4420");
    Add(4, CAvailability::OFFLINE, L"carol");
    EXPECT_EQ((std::vector<std::wstring>{L"Alice", L"bob", L"+4420", L"carol"}), SortedNames());

    std::vector<int> indexes;
    for (const CContact* contact : m_model.GetContactList()->GetList(false))
        indexes.push_back(contact->GetIndex());
    EXPECT_EQ((std::vector<int>{2, 1, 3, 4}), indexes) << "the cached list stays sorted until invalidated";
}

TEST_F(ContactListTest, NamesEqualButForCaseKeepIndexOrderEvenAfterResorting)
{
    CContact* zed = Add(1, CAvailability::ONLINE, L"zed");
    Add(2, CAvailability::ONLINE, L"BOB");
    Add(3, CAvailability::ONLINE, L"bob");
    EXPECT_EQ((std::vector<std::wstring>{L"BOB", L"bob", L"zed"}), SortedNames());

    // Index 1 now ties with 2 and 3: it goes first although the cached order has it last.
    zed->SetDisplayName(L"Bob");
    m_model.GetContactList()->InvalidateSorting();
    std::vector<int> indexes;
    for (const CContact* contact : m_model.GetContactList()->GetList(true))
        indexes.push_back(contact->GetIndex());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), indexes);
}

TEST_F(ContactListTest, CachedListFollowsCreationDeletionAndInvalidation)
{
    CContactList* list = m_model.GetOrCreateContactList();
    EXPECT_TRUE(list->GetList(true).empty());
    CContact* bob = Add(4, CAvailability::ONLINE, L"bob");
    Add(2, CAvailability::ONLINE, L"amy");
    ASSERT_EQ(2u, list->GetList(false).size());
    EXPECT_EQ(2, list->GetList(false)[0]->GetIndex()) << "rebuilt in index order";

    EXPECT_EQ((std::vector<std::wstring>{L"amy", L"bob"}), SortedNames());
    bob->SetDisplayName(L"Aaron");
    EXPECT_EQ((std::vector<std::wstring>{L"amy", L"Aaron"}), SortedNames()) << "not re-sorted before invalidation";
    list->InvalidateSorting();
    EXPECT_EQ((std::vector<std::wstring>{L"Aaron", L"amy"}), SortedNames());

    m_model.DeleteContact(bob);
    EXPECT_EQ((std::vector<std::wstring>{L"amy"}), SortedNames());
}

TEST_F(ContactListTest, NullContactsNeverSortFirst)
{
    CContact contact(1, 1, CAvailability::ONLINE, L"a", L"");
    EXPECT_FALSE(CContactList::CompareFunc(nullptr, &contact));
    EXPECT_FALSE(CContactList::CompareFunc(&contact, nullptr));
    EXPECT_FALSE(CContactList::CompareFunc(&contact, &contact));
}

TEST_F(ContactListTest, DeletedContactStaysValidUntilReleasedAndIsThenFreed)
{
    CContact* bob = Add(4, CAvailability::ONLINE, L"bob");
    const int handle = bob->GetHandle();
    CContactList* list = m_model.GetContactList();

    m_model.DeleteContact(bob);
    EXPECT_EQ(nullptr, m_model.GetContact(handle));
    EXPECT_EQ(nullptr, list->FindContact(4));
    EXPECT_EQ(nullptr, list->FindContact(std::wstring(L"bob")));
    EXPECT_EQ(0u, list->GetCount());
    // A listener told of the deletion still reads the object.
    EXPECT_EQ(L"bob", bob->GetVexlaName());
    EXPECT_EQ(1u, list->GetDeletedContactCount());

    // The server may list the index again before the step ends.
    CContact* again = Add(4, CAvailability::AWAY, L"bob");
    ASSERT_NE(nullptr, again);
    EXPECT_NE(handle, again->GetHandle());

    m_model.ReleaseDeletedObjects();
    EXPECT_EQ(0u, list->GetDeletedContactCount());
    EXPECT_EQ(again, list->FindContact(4));
}

TEST_F(ContactListTest, DeletingAContactOfAnotherListChangesNothing)
{
    Add(4, CAvailability::ONLINE, L"bob");
    CContact stranger(999, 4, CAvailability::ONLINE, L"other", L"");
    m_model.GetContactList()->DeleteContact(&stranger);
    EXPECT_EQ(1u, m_model.GetContactList()->GetCount());
    EXPECT_EQ(0u, m_model.GetContactList()->GetDeletedContactCount());
}

TEST_F(ContactListTest, BookmarksAndCompletion)
{
    CContactList* list = m_model.GetOrCreateContactList();
    EXPECT_EQ(0, list->GetBookmark());
    EXPECT_EQ(0, list->GetPresenceBookmark());
    EXPECT_FALSE(list->IsComplete());
    list->SetBookmark(12);
    list->SetPresenceBookmark(34);
    list->SetToComplete();
    EXPECT_EQ(12, list->GetBookmark());
    EXPECT_EQ(34, list->GetPresenceBookmark());
    EXPECT_TRUE(list->IsComplete());
}

}  // namespace

TEST(ContactTest, ProfileTextsChangeOnlyWhenTheyDifferAndEachCopyHasItsOwn)
{
    CContact contact(1, 1, CAvailability::ONLINE, L"bob", L"");
    EXPECT_FALSE(contact.SetCity(L"")) << "an empty text on a contact without any is no change";
    EXPECT_TRUE(contact.SetCity(L"Oslo"));
    EXPECT_FALSE(contact.SetCity(L"Oslo"));
    EXPECT_TRUE(contact.SetAbout(L"hi"));
    EXPECT_EQ(L"", contact.GetCountry());

    CContact copy(contact);
    EXPECT_TRUE(copy.SetCity(L"Bergen"));
    EXPECT_EQ(L"Oslo", contact.GetCity());
    EXPECT_EQ(L"hi", copy.GetAbout());
    CContact other(2, 2, CAvailability::ONLINE, L"carol", L"");
    other = copy;
    EXPECT_EQ(L"Bergen", other.GetCity());
    EXPECT_EQ(L"bob", other.GetVexlaName());
    other = CContact(3, 3, CAvailability::ONLINE, L"dave", L"");
    EXPECT_EQ(L"", other.GetCity()) << "assigning a contact without texts drops them";
    EXPECT_TRUE(contact.SetCity(L"")) << "cleared";
    EXPECT_EQ(L"", contact.GetCity());
}
