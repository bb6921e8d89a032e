#include "StorageTestFixture.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "Utils/SHA1.h"

using VexlaLib::CPersistentFileStorage;
using VexlaLib::CSHA1;
using Bytes = std::vector<unsigned char>;

long long StorageTest::s_nowMs = 0;

namespace {

void AppendInt32(Bytes& out, int value)
{
    for (int n = 0; n < 4; ++n)
        out.push_back(static_cast<unsigned char>(uint32_t(value) >> (8 * n)));
}

// A store file image built independently of the code under test; `records` are raw (length, bytes) fields.
Bytes Image(int time, int count, const Bytes& records)
{
    Bytes image{'T', 'C', 'S', 'L', 'V', '0', '.', '1'};
    AppendInt32(image, time);
    AppendInt32(image, count);
    image.insert(image.end(), records.begin(), records.end());
    Bytes digest = CSHA1::Calc(image);
    image.insert(image.end(), digest.begin(), digest.end());
    return image;
}

Bytes Field(const std::string& text)
{
    Bytes field;
    AppendInt32(field, int(text.size()));
    field.insert(field.end(), text.begin(), text.end());
    return field;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

class PersistentFileStorageTest : public StorageTest
{
protected:
    // Opens the store at the test path, as a fresh start of the daemon would.
    std::unique_ptr<CPersistentFileStorage> Open()
    {
        auto store = std::make_unique<CPersistentFileStorage>(WidePath());
        store->Initialize();
        return store;
    }

    // Writes a store holding one string under "NAME" at the given time; returns the file's bytes.
    Bytes WriteStoreWithName(const std::wstring& name, long long timeSec)
    {
        s_nowMs = timeSec * 1000;
        auto store = Open();
        store->SetString(L"NAME", name);
        store->Terminate();
        return ReadFile(m_path);
    }

    bool IsEmpty(CPersistentFileStorage& store)
    {
        Bytes value;
        return !store.GetBytes(L"NAME", &value) && !store.GetBytes(L"USESAVEDDATA", &value);
    }
};

TEST_F(PersistentFileStorageTest, EmptyStoreWrites36BytesWithMode0600)
{
    mode_t previous = umask(0);
    Open()->Terminate();
    umask(previous);

    EXPECT_EQ(Image(1700000000, 0, Bytes()), ReadFile(m_path));
    struct stat info;
    ASSERT_EQ(0, stat(m_path.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    EXPECT_EQ(std::set<std::string>{"vexla.dat"}, Listing());
    EXPECT_TRUE(IsEmpty(*Open()));
}

TEST_F(PersistentFileStorageTest, ValuesOfEveryTypeSurviveARestart)
{
    const std::wstring text = L"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600";
    auto store = Open();
    store->SetString(L"TEXT", text);
    store->SetString(L"\u00e9KEY", L"accented key");
    store->SetBytes(L"BYTES", Bytes{0, 1, 2, 0xFF});
    store->SetBytes(L"EMPTY", Bytes());
    store->SetInt32(L"INT32", -123456789);
    store->SetInt64(L"INT64", -1234567890123456789LL);
    store->SetFloat(L"FLOAT", 3.25f);
    store->SetBool(L"USESAVEDDATA", true);
    store->SetInt32(L"DELETED", 1);
    store->Delete(L"DELETED");
    store->Terminate();
    store.reset();

    store = Open();
    std::wstring readText;
    Bytes bytes;
    int int32 = 0;
    long long int64 = 0;
    float real = 0;
    bool flag = false;
    EXPECT_TRUE(store->GetString(L"TEXT", &readText));
    EXPECT_EQ(text, readText);
    EXPECT_TRUE(store->GetBytes(L"TEXT", &bytes));
    EXPECT_EQ(VexlaLib::CUtils::ConvertWideToChar(text), std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(store->GetString(L"\u00e9KEY", &readText));
    EXPECT_EQ(L"accented key", readText);
    EXPECT_TRUE(store->GetBytes(L"BYTES", &bytes));
    EXPECT_EQ((Bytes{0, 1, 2, 0xFF}), bytes);
    EXPECT_TRUE(store->GetBytes(L"EMPTY", &bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(store->GetInt32(L"INT32", &int32));
    EXPECT_EQ(-123456789, int32);
    EXPECT_TRUE(store->GetInt64(L"INT64", &int64));
    EXPECT_EQ(-1234567890123456789LL, int64);
    EXPECT_TRUE(store->GetFloat(L"FLOAT", &real));
    EXPECT_EQ(3.25f, real);
    EXPECT_TRUE(store->GetBool(L"USESAVEDDATA", &flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(store->GetInt32(L"DELETED", &int32));
    store->Terminate();
}

TEST_F(PersistentFileStorageTest, GettersOfTheWrongWidthFailAndLeaveTheOutputAlone)
{
    auto store = Open();
    store->SetBool(L"USESAVEDDATA", true);
    store->SetInt32(L"INT32", 7);
    store->SetInt64(L"INT64", 7);

    Bytes bytes;
    ASSERT_TRUE(store->GetBytes(L"USESAVEDDATA", &bytes));
    EXPECT_EQ(Bytes{1}, bytes);
    int int32 = 42;
    long long int64 = 42;
    float real = 4.5f;
    bool flag = true;
    EXPECT_FALSE(store->GetInt32(L"USESAVEDDATA", &int32));
    EXPECT_FALSE(store->GetInt64(L"INT32", &int64));
    EXPECT_FALSE(store->GetInt32(L"INT64", &int32));
    EXPECT_FALSE(store->GetFloat(L"INT64", &real));
    EXPECT_FALSE(store->GetBool(L"INT32", &flag));
    EXPECT_FALSE(store->GetInt32(L"MISSING", &int32));
    std::wstring text = L"unchanged";
    EXPECT_FALSE(store->GetString(L"MISSING", &text));
    EXPECT_EQ(42, int32);
    EXPECT_EQ(42, int64);
    EXPECT_EQ(4.5f, real);
    EXPECT_TRUE(flag);
    EXPECT_EQ(L"unchanged", text);

    // Setting a key replaces its value whatever its earlier type.
    store->SetString(L"INT32", L"text");
    EXPECT_TRUE(store->GetInt32(L"INT32", &int32));  // four bytes read as a number
    store->SetString(L"INT32", L"longer text");
    EXPECT_FALSE(store->GetInt32(L"INT32", &int32));
    store->Terminate();
}

TEST_F(PersistentFileStorageTest, AnyChangedOrMissingByteMakesTheNextStartIgnoreTheFile)
{
    const Bytes written = WriteStoreWithName(L"alice", 1700000000);
    ASSERT_FALSE(written.empty());
    for (size_t offset = 0; offset < written.size(); ++offset) {
        for (unsigned char flip : {0x01, 0x80}) {
            Bytes damaged = written;
            damaged[offset] ^= flip;
            WriteFile(m_path, damaged);
            ASSERT_TRUE(IsEmpty(*Open())) << "byte " << offset << " flipped by " << int(flip);
        }
    }
    for (size_t length = 0; length < written.size(); ++length) {
        WriteFile(m_path, Bytes(written.begin(), written.begin() + length));
        ASSERT_TRUE(IsEmpty(*Open())) << "cut to " << length;
    }
}

TEST_F(PersistentFileStorageTest, MalformedRecordsInvalidateTheWholeFile)
{
    const Bytes record = Concat({Field("NAME"), Field("bob")});
    Bytes negativeLength = Field("NAME");
    AppendInt32(negativeLength, -1);
    Bytes oversized = Field("NAME");
    AppendInt32(oversized, 1000);
    oversized.push_back('x');

    for (const Bytes& image : {Image(1, 2, record), Image(1, -1, Bytes()), Image(1, 1, negativeLength),
                               Image(1, 1, oversized), Image(1, 1, Bytes{0, 0})}) {
        WriteFile(m_path, image);
        EXPECT_TRUE(IsEmpty(*Open()));
    }
    Bytes wrongMagic = Image(1, 1, record);
    wrongMagic[7] = '2';
    Bytes digest = CSHA1::Calc(Bytes(wrongMagic.begin(), wrongMagic.end() - 20));
    std::copy(digest.begin(), digest.end(), wrongMagic.end() - 20);
    WriteFile(m_path, wrongMagic);
    EXPECT_TRUE(IsEmpty(*Open()));
}

TEST_F(PersistentFileStorageTest, TrailingBytesAreIgnoredAndALaterRepeatedKeyWins)
{
    WriteFile(m_path, Image(1, 2, Concat({Field("NAME"), Field("bob"), Field("NAME"), Field("carol"), Bytes{9, 9}})));
    std::wstring name;
    EXPECT_TRUE(Open()->GetString(L"NAME", &name));
    EXPECT_EQ(L"carol", name);
}

TEST_F(PersistentFileStorageTest, NewerTemporaryFileWinsAndLeavesOnlyTheMainFile)
{
    const Bytes older = WriteStoreWithName(L"old", 1000);
    const Bytes newer = WriteStoreWithName(L"new", 2000);
    WriteFile(m_path, older);
    WriteFile(m_tempPath, newer);

    std::wstring name;
    EXPECT_TRUE(Open()->GetString(L"NAME", &name));
    EXPECT_EQ(L"new", name);
    EXPECT_EQ(std::set<std::string>{"vexla.dat"}, Listing());
    EXPECT_EQ(newer, ReadFile(m_path));
}

TEST_F(PersistentFileStorageTest, OlderOrEqualTemporaryFileLosesAndIsRemoved)
{
    const Bytes older = WriteStoreWithName(L"old", 1000);
    const Bytes newer = WriteStoreWithName(L"new", 2000);
    const Bytes sameTime = WriteStoreWithName(L"same", 2000);
    for (const Bytes* temp : {&older, &sameTime}) {
        WriteFile(m_path, newer);
        WriteFile(m_tempPath, *temp);
        std::wstring name;
        EXPECT_TRUE(Open()->GetString(L"NAME", &name));
        EXPECT_EQ(L"new", name);
        EXPECT_EQ(std::set<std::string>{"vexla.dat"}, Listing());
        EXPECT_EQ(newer, ReadFile(m_path));
    }
}

TEST_F(PersistentFileStorageTest, ValidTemporaryFileAloneIsTakenOver)
{
    const Bytes written = WriteStoreWithName(L"only", 1000);
    ASSERT_EQ(0, rename(m_path.c_str(), m_tempPath.c_str()));
    WriteFile(m_path, Bytes{1, 2, 3});
    std::wstring name;
    EXPECT_TRUE(Open()->GetString(L"NAME", &name));
    EXPECT_EQ(L"only", name);
    EXPECT_EQ(written, ReadFile(m_path));
    EXPECT_EQ(std::set<std::string>{"vexla.dat"}, Listing());
}

TEST_F(PersistentFileStorageTest, FailedWriteLeavesTheMainFileIntact)
{
    const Bytes written = WriteStoreWithName(L"kept", 1000);
    auto store = Open();
    store->SetString(L"NAME", L"lost");
    ASSERT_EQ(0, mkdir(m_tempPath.c_str(), 0700));  // the temporary file cannot be created
    EXPECT_FALSE(store->Synchronize());
    EXPECT_EQ(written, ReadFile(m_path));

    ASSERT_EQ(0, rmdir(m_tempPath.c_str()));
    EXPECT_TRUE(store->Synchronize());
    std::wstring name;
    EXPECT_TRUE(Open()->GetString(L"NAME", &name));
    EXPECT_EQ(L"lost", name);
    store->Terminate();
}

TEST_F(PersistentFileStorageTest, StaleTemporaryFileDoesNotLendItsMode)
{
    mode_t previous = umask(0);
    auto store = Open();
    WriteFile(m_tempPath, Bytes{1});
    chmod(m_tempPath.c_str(), 0666);
    EXPECT_TRUE(store->Synchronize());
    umask(previous);
    struct stat info;
    ASSERT_EQ(0, stat(m_path.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    EXPECT_EQ(std::set<std::string>{"vexla.dat"}, Listing());
    store->Terminate();
}

TEST_F(PersistentFileStorageTest, OnlyTheFirstTerminateWrites)
{
    auto store = Open();
    store->Terminate();
    ASSERT_EQ(0, unlink(m_path.c_str()));
    store->Terminate();
    EXPECT_TRUE(Listing().empty());
}

namespace {

// A store whose writes can be held on the writer thread, to see what the other threads may do meanwhile.
class HeldWriteStorage : public CPersistentFileStorage
{
public:
    using CPersistentFileStorage::CPersistentFileStorage;

    void Hold() { Set(true); }
    void Release() { Set(false); }
    void WaitForWrites(int count)
    {
        std::unique_lock<std::mutex> guard(m_gate);
        m_changed.wait(guard, [this, count] { return m_writes >= count; });
    }

protected:
    bool WriteImage(const Bytes& image) override
    {
        {
            std::unique_lock<std::mutex> guard(m_gate);
            ++m_writes;
            m_changed.notify_all();
            m_changed.wait(guard, [this] { return !m_held; });
        }
        return CPersistentFileStorage::WriteImage(image);
    }

private:
    void Set(bool held)
    {
        {
            std::lock_guard<std::mutex> guard(m_gate);
            m_held = held;
        }
        m_changed.notify_all();
    }

    std::mutex m_gate;
    std::condition_variable m_changed;
    bool m_held = false;
    int m_writes = 0;
};

}  // namespace

TEST_F(PersistentFileStorageTest, ReadersAndWritersGoOnWhileTheFileIsWritten)
{
    HeldWriteStorage store(WidePath());
    store.Initialize();
    store.SetString(L"NAME", L"first");
    store.Hold();
    store.RequestSynchronize();
    store.WaitForWrites(1);

    // The write is stuck on the disk; the entries are not.
    std::wstring name;
    EXPECT_TRUE(store.GetString(L"NAME", &name));
    EXPECT_EQ(L"first", name);
    for (int n = 0; n < 20; ++n) {
        store.SetString(L"NAME", L"burst " + std::to_wstring(n));
        store.RequestSynchronize();
    }
    store.Release();
    EXPECT_TRUE(store.Synchronize());
    EXPECT_TRUE(Open()->GetString(L"NAME", &name));
    EXPECT_EQ(L"burst 19", name);
    store.Terminate();
}

// A daemon whose start-up fails never starts its store's writes: the files stay as they were, even a
// newer temporary file that loading would otherwise have renamed.
TEST_F(PersistentFileStorageTest, TheFilesAreTouchedOnlyOnceWritingHasStarted)
{
    const Bytes older = WriteStoreWithName(L"old", 1000);
    const Bytes newer = WriteStoreWithName(L"new", 2000);
    WriteFile(m_path, older);
    WriteFile(m_tempPath, newer);

    CPersistentFileStorage neverStarted(WidePath(), CPersistentFileStorage::WRITE_ONCE_STARTED);
    neverStarted.Initialize();
    std::wstring name;
    EXPECT_TRUE(neverStarted.GetString(L"NAME", &name));
    EXPECT_EQ(L"new", name);
    neverStarted.SetString(L"NAME", L"changed");
    neverStarted.RequestSynchronize();
    EXPECT_FALSE(neverStarted.Synchronize());
    neverStarted.Terminate();
    EXPECT_EQ(older, ReadFile(m_path));
    EXPECT_EQ(newer, ReadFile(m_tempPath));

    // Started, the store finishes the load first, then writes what was asked before the start.
    HeldWriteStorage store(WidePath(), CPersistentFileStorage::WRITE_ONCE_STARTED);
    store.Initialize();
    store.SetString(L"OTHER", L"asked before the start");
    store.RequestSynchronize();
    store.Hold();
    store.StartWriting();
    store.WaitForWrites(1);
    EXPECT_EQ(newer, ReadFile(m_path));
    store.Release();
    EXPECT_TRUE(store.Synchronize());
    store.Terminate();

    std::wstring value;
    EXPECT_TRUE(Open()->GetString(L"OTHER", &value));
    EXPECT_EQ(L"asked before the start", value);
    EXPECT_EQ(std::set<std::string>{"vexla.dat"}, Listing());
}
