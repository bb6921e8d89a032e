// The bounded memory of what the message database holds per server time and sender.

#include <gtest/gtest.h>

#include <vector>

#include "Tesk/App/Meridex/IMMessageIndex.h"

namespace {

CIMMessageRecord Message(const std::wstring& from, long long serverTime, const std::wstring& text)
{
    return CIMMessageRecord::Chat(L"me", from, from, L"", text, serverTime, serverTime);
}

}  // namespace

TEST(IMMessageIndexTest, AKeyIsKnownOnceLearnedWithItsStoredRecordsAndWhatIsAdded)
{
    CIMMessageIndex index;
    const CIMMessageRecord stored = Message(L"bob", 10, L"there");
    EXPECT_FALSE(index.Knows(stored));
    index.Add(stored);  // an unknown key learns nothing from a write
    EXPECT_FALSE(index.Knows(stored));

    index.Learn(stored, {stored.ToJSON(), CJSONObject()});
    EXPECT_TRUE(index.Knows(stored));
    EXPECT_TRUE(index.Holds(stored));
    EXPECT_FALSE(index.Holds(Message(L"bob", 10, L"new")));
    EXPECT_FALSE(index.Knows(Message(L"bob", 11, L"there")));
    EXPECT_FALSE(index.Knows(Message(L"carol", 10, L"there")));
    index.Add(Message(L"bob", 10, L"new"));
    EXPECT_TRUE(index.Holds(Message(L"bob", 10, L"new")));

    index.Forget(stored);
    EXPECT_FALSE(index.Knows(stored));
    EXPECT_FALSE(index.Holds(Message(L"bob", 10, L"new")));
}

TEST(IMMessageIndexTest, TheLeastRecentlyUsedKeysGoFirstAndTheKeyInUseStays)
{
    CIMMessageIndex index(2, 3);
    const CIMMessageRecord a = Message(L"bob", 1, L"a");
    const CIMMessageRecord b = Message(L"bob", 2, L"b");
    index.Learn(a, {});
    index.Learn(b, {});
    EXPECT_TRUE(index.Knows(a));  // used: b is now the oldest
    index.Learn(Message(L"bob", 3, L"c"), {});
    EXPECT_TRUE(index.Knows(a));
    EXPECT_FALSE(index.Knows(b));

    // Past the bound of fingerprints, older keys go; the key written to stays, however full.
    index.Add(a);
    index.Add(Message(L"bob", 3, L"c"));
    index.Add(Message(L"bob", 3, L"d"));
    EXPECT_TRUE(index.Knows(Message(L"bob", 3, L"c")));
    EXPECT_TRUE(index.Holds(a)) << "three fingerprints are within the bound";
    index.Add(Message(L"bob", 3, L"e"));
    EXPECT_FALSE(index.Knows(a));
    for (const wchar_t* text : {L"f", L"g"})
        index.Add(Message(L"bob", 3, text));
    EXPECT_EQ(index.KeyCount(), 1u);
    EXPECT_TRUE(index.Holds(Message(L"bob", 3, L"g")));

    index.Clear();
    EXPECT_EQ(index.KeyCount(), 0u);
}
