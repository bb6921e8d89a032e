// The avatar cache: file names, the directory listing, the throttled fetch and the cache files.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <set>

#include "Model/ContactList.h"
#include "Tesk/App/Meridex/AvatarCache.h"
#include "Tesk/App/Meridex/IAvatarChangeListener.h"
#include "TempDir.h"
#include "support/LibraryFixture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

const int KEY_AVATAR_CRC = 152;

struct CChangeRecorder : IAvatarChangeListener {
    void OnAvatarChanged(std::wstring name, int crc) override { m_changes.emplace_back(name, crc); }
    std::vector<std::pair<std::wstring, int>> m_changes;
};

class CAvatarCacheTest : public CLibraryFixture {
protected:
    void SetUp() override
    {
        CLibraryFixture::SetUp();
        ASSERT_FALSE(m_dir.Path().empty());
    }
    void TearDown() override { m_cache.reset(); }

    void StartCache()
    {
        m_cache.reset(new CAvatarCache(m_dir.WidePath(), &m_lib));
        ASSERT_TRUE(m_cache->Initialize());
        m_cache->AddListener(&m_recorder);
    }
    static CTestPacket Buddy(int index, const std::wstring& name, int crc)
    {
        return BuddyRecord(index, name).Int(KEY_AVATAR_CRC, crc);
    }
    void ReceiveAvatar(int index, const std::vector<unsigned char>& bytes)
    {
        Receive(CTestPacket(CHUNK_AVATAR).Int(KEY_BUDDYINDEX, index).Bytes(KEY_AVATARIMAGE, bytes));
        Drain();
    }
    void ChangeCrc(int index, const std::wstring& name, int crc)
    {
        Receive(BuddyList(0, {Buddy(index, name, crc)}));
        Drain();
    }
    size_t AvatarRequests() const { return m_net->SentOfChunk(CHUNK_GETAVATAR).size(); }
    const CContact& Contact(int index) { return *m_lib.GetModel().GetContactList()->FindContact(index); }

    CTempDir m_dir;
    CChangeRecorder m_recorder;
    std::unique_ptr<CAvatarCache> m_cache;
};

}  // namespace

TEST(AvatarFileNameTest, ReadsNameAndChecksumBack)
{
    std::wstring name;
    int crc = 0;
    ASSERT_TRUE(CAvatarCache::InitAvatarFromFileName(L"AVATAR_0x0000002a_bob.smith.jpg", &name, &crc));
    EXPECT_EQ(L"bob.smith", name);
    EXPECT_EQ(42, crc);
    ASSERT_TRUE(CAvatarCache::InitAvatarFromFileName(L"AVATAR_0xfffffffe_x_y.jpg", &name, &crc));
    EXPECT_EQ(L"x_y", name);
    EXPECT_EQ(-2, crc);
}

TEST(AvatarFileNameTest, OtherNamesAreNotCacheFiles)
{
    std::wstring name = L"untouched";
    int crc = 7;
    for (const wchar_t* fileName :
         {L"AVATAR_0x2a.jpg", L"avatar_0x2a_bob.jpg", L"AVATAR_0x_bob.jpg", L"AVATAR_0xzz_bob.jpg",
          L"AVATAR_0x123456789_bob.jpg", L"AVATAR_0x2a_bob", L"AVATAR_0x2a_.jpg", L"AVATAR_0x2a_.hidden.jpg",
          L"AVATAR_0000000000_bob.jpg", L"notes.txt"})
        EXPECT_FALSE(CAvatarCache::InitAvatarFromFileName(fileName, &name, &crc)) << fileName;
    EXPECT_EQ(L"untouched", name);
    EXPECT_EQ(7, crc);
}

TEST(AvatarFileNameTest, OnlySafeNamesBecomeFileNames)
{
    EXPECT_TRUE(CAvatarCache::IsSafeFileNamePart(L"bob.smith"));
    EXPECT_TRUE(CAvatarCache::IsSafeFileNamePart(L"b\u00f6b"));
    for (const std::wstring& name : {std::wstring(L"../x"), std::wstring(L"a/b"), std::wstring(L".."),
                                     std::wstring(L".hidden"), std::wstring(L""), std::wstring(L"a\nb"),
                                     std::wstring(L"a\x7f"), std::wstring(L"a\0b", 3),
                                     std::wstring(L"a") + static_cast<wchar_t>(0x110000) + L"b",
                                     std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"b",
                                     std::wstring(L"a") + static_cast<wchar_t>(-1)})
        EXPECT_FALSE(CAvatarCache::IsSafeFileNamePart(name));
    EXPECT_TRUE(CAvatarCache::IsSafeFileNamePart(std::wstring(L"a") + static_cast<wchar_t>(0x10FFFF)));
}

TEST_F(CAvatarCacheTest, InitializeReadsOnlyCacheFilesOfTheListing)
{
    m_dir.Touch("AVATAR_0x0000002a_bob.jpg");
    m_dir.Touch("AVATAR_0x2a.jpg");
    m_dir.Touch("notes.txt");
    StartCache();
    SignInWithList({Buddy(1, L"bob", 42), Buddy(2, L"carol", 0)});
    EXPECT_TRUE(m_cache->HasCachedAvatar(Contact(1)));
    EXPECT_EQ(42, m_cache->GetCachedAvatarCRC(Contact(1)));
    std::wstring path;
    ASSERT_TRUE(m_cache->GetCachedAvatarFileName(Contact(1), &path));
    EXPECT_EQ(m_dir.WidePath() + L"/AVATAR_0x0000002a_bob.jpg", path);
    EXPECT_FALSE(m_cache->HasCachedAvatar(Contact(2)));
    EXPECT_EQ(0, m_cache->GetCachedAvatarCRC(Contact(2)));
    EXPECT_FALSE(m_cache->GetCachedAvatarFileName(Contact(2), &path));
    // Nothing to fetch: bob's picture is current, carol has none.
    Advance(CAvatarCache::TICK_PERIOD_MS);
    EXPECT_EQ(0u, AvatarRequests());
    EXPECT_EQ(3u, m_dir.Files().size());
}

TEST_F(CAvatarCacheTest, InitializeFailsOnAMissingDirectory)
{
    CAvatarCache cache(m_dir.WidePath() + L"/missing", &m_lib);
    EXPECT_FALSE(cache.Initialize());
}

TEST_F(CAvatarCacheTest, FetchesTwoPicturesEveryTick)
{
    StartCache();
    SignInWithList({Buddy(1, L"bob", 1), Buddy(2, L"carol", 2), Buddy(3, L"dave", 3), Buddy(4, L"erin", 0)});
    Advance(CAvatarCache::TICK_PERIOD_MS - 1);
    EXPECT_EQ(0u, AvatarRequests());
    Advance(1);
    EXPECT_EQ(2u, AvatarRequests());
    Advance(CAvatarCache::TICK_PERIOD_MS);
    EXPECT_EQ(3u, AvatarRequests());
    Advance(CAvatarCache::TICK_PERIOD_MS);
    EXPECT_EQ(3u, AvatarRequests());
}

TEST_F(CAvatarCacheTest, WritesThePictureWithoutALeadingZeroByteAndNotifies)
{
    StartCache();
    SignInWithList({Buddy(1, L"bob", 0x12abcd)});
    ReceiveAvatar(1, {0, 0xff, 0xd8, 0});
    EXPECT_EQ((std::set<std::string>{"AVATAR_0x0012abcd_bob.jpg"}), m_dir.Files());
    EXPECT_EQ(std::string("\xff\xd8\0", 3), m_dir.Read("AVATAR_0x0012abcd_bob.jpg"));
    EXPECT_EQ(0x12abcd, m_cache->GetCachedAvatarCRC(Contact(1)));
    ASSERT_EQ(1u, m_recorder.m_changes.size());
    EXPECT_EQ(std::make_pair(std::wstring(L"bob"), 0x12abcd), m_recorder.m_changes[0]);

    // A picture that starts with another byte is written whole.
    ReceiveAvatar(1, {1, 2});
    EXPECT_EQ(std::string("\x01\x02"), m_dir.Read("AVATAR_0x0012abcd_bob.jpg"));
}

TEST_F(CAvatarCacheTest, APictureForChecksumZeroIsFoundAgainAtTheNextStart)
{
    // A picture the server sends while the contact's checksum is 0 still gets a cache file name that
    // the next start reads back, instead of a file no start recognises.
    StartCache();
    SignInWithList({Buddy(1, L"bob", 0)});
    ReceiveAvatar(1, {0xff, 0xd8});
    EXPECT_EQ((std::set<std::string>{"AVATAR_0x00000000_bob.jpg"}), m_dir.Files());
    std::wstring name;
    int crc = -1;
    EXPECT_TRUE(CAvatarCache::InitAvatarFromFileName(L"AVATAR_0x00000000_bob.jpg", &name, &crc));
    EXPECT_EQ(L"bob", name);
    EXPECT_EQ(0, crc);
}

TEST_F(CAvatarCacheTest, ANewChecksumReplacesTheFile)
{
    m_dir.Touch("AVATAR_0x00000001_bob.jpg");
    StartCache();
    SignInWithList({Buddy(1, L"bob", 1)});
    ChangeCrc(1, L"bob", 2);
    Advance(CAvatarCache::TICK_PERIOD_MS);
    ASSERT_EQ(1u, AvatarRequests());
    ReceiveAvatar(1, {7});
    EXPECT_EQ((std::set<std::string>{"AVATAR_0x00000002_bob.jpg"}), m_dir.Files());
    EXPECT_EQ(2, m_cache->GetCachedAvatarCRC(Contact(1)));
    EXPECT_EQ(1u, m_recorder.m_changes.size());
}

TEST_F(CAvatarCacheTest, AChecksumOfZeroWithACachedPictureQueuesButRequestsNothing)
{
    m_dir.Touch("AVATAR_0x00000005_bob.jpg");
    StartCache();
    SignInWithList({Buddy(1, L"bob", 5)});
    ChangeCrc(1, L"bob", 0);
    Advance(CAvatarCache::TICK_PERIOD_MS);
    EXPECT_EQ(0u, AvatarRequests());
    EXPECT_TRUE(m_cache->HasCachedAvatar(Contact(1)));
}

TEST_F(CAvatarCacheTest, AnEmptyPictureDeletesTheCachedFileAndStillNotifies)
{
    m_dir.Touch("AVATAR_0x00000005_bob.jpg");
    StartCache();
    SignInWithList({Buddy(1, L"bob", 5)});
    ReceiveAvatar(1, {});
    EXPECT_TRUE(m_dir.Files().empty());
    EXPECT_FALSE(m_cache->HasCachedAvatar(Contact(1)));
    ASSERT_EQ(1u, m_recorder.m_changes.size());
    // With nothing cached, an empty picture changes nothing.
    ReceiveAvatar(1, {});
    EXPECT_EQ(1u, m_recorder.m_changes.size());
}

TEST_F(CAvatarCacheTest, AFailedWriteKeepsTheOldPictureAndNotifiesNobody)
{
    m_dir.Touch("AVATAR_0x00000001_bob.jpg", "old");
    StartCache();
    SignInWithList({Buddy(1, L"bob", 1)});
    ChangeCrc(1, L"bob", 2);
    // A directory where the temporary file should go makes opening it fail.
    ASSERT_EQ(0, mkdir((m_dir.Path() + "/AVATAR_0x00000002_bob.jpg.tmp").c_str(), 0755));
    ReceiveAvatar(1, {9});
    rmdir((m_dir.Path() + "/AVATAR_0x00000002_bob.jpg.tmp").c_str());
    EXPECT_EQ((std::set<std::string>{"AVATAR_0x00000001_bob.jpg"}), m_dir.Files());
    EXPECT_EQ("old", m_dir.Read("AVATAR_0x00000001_bob.jpg"));
    EXPECT_EQ(1, m_cache->GetCachedAvatarCRC(Contact(1)));
    EXPECT_TRUE(m_recorder.m_changes.empty());
}

TEST_F(CAvatarCacheTest, AnUnsafeUserNameGetsNoFile)
{
    StartCache();
    SignInWithList({Buddy(1, L"../x", 3), Buddy(2, L"a/b", 4)});
    Advance(CAvatarCache::TICK_PERIOD_MS);
    EXPECT_EQ(0u, AvatarRequests());
    std::wstring path;
    EXPECT_FALSE(m_cache->BuildAvatarFileName(Contact(1), &path));
    // Even a picture nobody asked for is not written.
    ReceiveAvatar(1, {1});
    ReceiveAvatar(2, {1});
    EXPECT_TRUE(m_dir.Files().empty());
    EXPECT_TRUE(m_recorder.m_changes.empty());
}

TEST_F(CAvatarCacheTest, ANewSessionEmptiesTheQueueAndListenersComeAndGo)
{
    StartCache();
    SignInWithList({Buddy(1, L"bob", 1)});
    m_cache->OnNewSession(true);
    m_cache->OnNewSession(false);
    Advance(CAvatarCache::TICK_PERIOD_MS);
    EXPECT_EQ(0u, AvatarRequests());

    EXPECT_FALSE(m_cache->AddListener(nullptr));
    EXPECT_FALSE(m_cache->AddListener(&m_recorder));
    EXPECT_TRUE(m_cache->RemoveListener(&m_recorder));
    EXPECT_FALSE(m_cache->RemoveListener(&m_recorder));
    ReceiveAvatar(1, {1});
    EXPECT_TRUE(m_recorder.m_changes.empty());
}
