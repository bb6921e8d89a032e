#include "PlatformSim/RecordStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

using namespace PlatformSim;

namespace
{
class RecordStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_store.Open(":memory:", &error)) << error;
    }

    std::vector<std::string> Put(const std::string& objects)
    {
        CRecordStore::TRecords written;
        std::string error;
        TJsonPtr json = ParseJson(objects);
        EXPECT_TRUE(m_store.Put(json.get(), &written, &error)) << error;
        std::vector<std::string> ids;
        for (const TJsonPtr& record : written)
        {
            ids.push_back(JsonStringMember(record.get(), "_id"));
        }
        return ids;
    }

    std::string Find(const std::string& query)
    {
        CRecordQuery parsed;
        std::string error;
        TJsonPtr json = ParseJson(query);
        EXPECT_TRUE(CRecordQuery::Parse(json.get(), &parsed, &error)) << error;
        CRecordStore::TRecords found;
        EXPECT_TRUE(m_store.Find(parsed, &found, &error)) << error;
        std::string text;
        for (const TJsonPtr& record : found)
        {
            text += JsonText(JsonMember(record.get(), "name")) + " ";
        }
        return text;
    }

    static CRecordQuery Query(const std::string& text)
    {
        CRecordQuery parsed;
        std::string error;
        TJsonPtr json = ParseJson(text);
        EXPECT_TRUE(CRecordQuery::Parse(json.get(), &parsed, &error)) << error;
        return parsed;
    }

    CRecordStore m_store;
};
} // namespace

TEST_F(RecordStoreTest, PutGivesIdsAndAGlobalRevThatEveryWriteRaises)
{
    const auto ids = Put(R"([{"_kind": "a:1", "name": "x"}, {"_kind": "b:1", "name": "y"}])");
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_NE(ids[0], ids[1]);

    CRecordStore::TRecords found;
    std::string error;
    TJsonPtr idList = ParseJson("[\"" + ids[1] + "\", \"nope\", \"" + ids[0] + "\"]");
    ASSERT_TRUE(m_store.Get(idList.get(), &found, &error)) << error;
    ASSERT_EQ(found.size(), 2u);
    const int64_t revY = json_object_get_int64(JsonMember(found[0].get(), "_rev"));
    const int64_t revX = json_object_get_int64(JsonMember(found[1].get(), "_rev"));
    EXPECT_GT(revY, revX);

    CRecordStore::TRecords merged;
    TJsonPtr patch = ParseJson("[{\"_id\": \"" + ids[0] + "\", \"name\": \"x2\"}]");
    ASSERT_TRUE(m_store.Merge(patch.get(), &merged, &error)) << error;
    EXPECT_GT(json_object_get_int64(JsonMember(merged[0].get(), "_rev")), revY);
}

TEST_F(RecordStoreTest, MergeByQueryTouchesOnlyMatchesAndMergesNestedObjects)
{
    Put(R"([{"_kind": "g:1", "name": "a", "u": "", "flags": {"locked": false, "muted": true}},
            {"_kind": "g:1", "name": "b", "u": "bob", "flags": {"locked": false}},
            {"_kind": "h:1", "name": "c", "u": ""}])");
    CRecordStore::TRecords merged;
    std::string error;
    TJsonPtr props = ParseJson(R"({"flags": {"locked": true}, "_kind": "evil", "chatHandle": 0})");
    ASSERT_TRUE(m_store.Merge(Query(R"({"from": "g:1", "where": [{"prop": "u", "op": "=", "val": ""}]})"), props.get(),
                              &merged, &error))
        << error;
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(JsonText(JsonMember(merged[0].get(), "flags")), R"({"locked":true,"muted":true})");
    EXPECT_STREQ(JsonStringMember(merged[0].get(), "_kind"), "g:1");

    EXPECT_EQ(Find(R"({"from": "g:1", "where": [{"prop": "flags.locked", "op": "=", "val": true}]})"), "\"a\" ");
    EXPECT_EQ(Find(R"({"from": "g:1", "where": [{"prop": "chatHandle", "op": "=", "val": 0}]})"), "\"a\" ");
    EXPECT_EQ(Find(R"({"from": "h:1"})"), "\"c\" ");
}

TEST_F(RecordStoreTest, AFailedWriteChangesNothing)
{
    const auto ids = Put(R"([{"_kind": "a:1", "name": "x"}])");
    CRecordStore::TRecords written;
    std::string error;
    TJsonPtr objects = ParseJson(R"([{"_kind": "a:1", "name": "y"}, {"name": "no kind"}])");
    EXPECT_FALSE(m_store.Put(objects.get(), &written, &error));
    TJsonPtr patch = ParseJson("[{\"_id\": \"" + ids[0] + "\", \"name\": \"z\"}, {\"_id\": \"missing\"}]");
    EXPECT_FALSE(m_store.Merge(patch.get(), &written, &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_EQ(Find(R"({"from": "a:1"})"), "\"x\" ");
}

TEST_F(RecordStoreTest, DeleteByIdsAndByQuery)
{
    const auto ids = Put(R"([{"_kind": "a:1", "name": "x"}, {"_kind": "a:1", "name": "y"}, {"_kind": "b:1", "name": "z"}])");
    CRecordStore::TRecords deleted;
    std::string error;
    TJsonPtr idList = ParseJson("[\"" + ids[0] + "\", \"unknown\"]");
    ASSERT_TRUE(m_store.Delete(idList.get(), &deleted, &error)) << error;
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_STREQ(JsonStringMember(deleted[0].get(), "name"), "x");
    deleted.clear();
    ASSERT_TRUE(m_store.Delete(Query(R"({"from": "a:1"})"), &deleted, &error)) << error;
    EXPECT_EQ(deleted.size(), 1u);
    EXPECT_EQ(Find(R"({"from": "a:1"})"), "");
    EXPECT_EQ(Find(R"({"from": "b:1"})"), "\"z\" ");
}

TEST(RecordStoreFile, RecordsAndTheRevCounterSurviveReopening)
{
    char path[] = "/tmp/platformsim-store-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string error;
    int64_t lastRev = 0;
    {
        CRecordStore store;
        ASSERT_TRUE(store.Open(path, &error)) << error;
        CRecordStore::TRecords written;
        TJsonPtr objects = ParseJson(R"([{"_kind": "a:1"}, {"_kind": "a:1"}])");
        ASSERT_TRUE(store.Put(objects.get(), &written, &error)) << error;
        lastRev = json_object_get_int64(JsonMember(written[1].get(), "_rev"));
    }
    CRecordStore store;
    ASSERT_TRUE(store.Open(path, &error)) << error;
    CRecordStore::TRecords written;
    TJsonPtr objects = ParseJson(R"([{"_kind": "a:1"}])");
    ASSERT_TRUE(store.Put(objects.get(), &written, &error)) << error;
    EXPECT_GT(json_object_get_int64(JsonMember(written[0].get(), "_rev")), lastRev);
    CRecordQuery all;
    TJsonPtr query = ParseJson(R"({"from": "a:1"})");
    ASSERT_TRUE(CRecordQuery::Parse(query.get(), &all, &error));
    CRecordStore::TRecords found;
    ASSERT_TRUE(store.Find(all, &found, &error));
    EXPECT_EQ(found.size(), 3u);
    unlink(path);
}

TEST(RecordStoreFile, RowsEditedByHandAreReadSafely)
{
    char path[] = "/tmp/platformsim-store-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string error;
    {
        CRecordStore store;
        ASSERT_TRUE(store.Open(path, &error)) << error;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path, &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO records VALUES ('x1', 'a:1', '{\"_kind\": 5, \"n\": 1}');"
                           "INSERT INTO records VALUES ('x2', 'a:1', '[1, 2]');"
                           "INSERT INTO records VALUES ('x3', 'a:1', 'not json');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    CRecordStore store;
    ASSERT_TRUE(store.Open(path, &error)) << error;
    CRecordStore::TRecords found;
    TJsonPtr ids = ParseJson(R"(["x1", "x2", "x3"])");
    ASSERT_TRUE(store.Get(ids.get(), &found, &error)) << error;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(JsonStringMember(found[0].get(), "_kind"), "a:1");
    CRecordStore::TRecords merged;
    TJsonPtr patch = ParseJson(R"([{"_id": "x1", "n": 2}])");
    ASSERT_TRUE(store.Merge(patch.get(), &merged, &error)) << error;
    EXPECT_EQ(JsonText(merged[0].get()), R"({"_kind":"a:1","n":2,"_id":"x1","_rev":1})");
    unlink(path);
}
