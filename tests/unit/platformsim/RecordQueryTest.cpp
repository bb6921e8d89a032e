#include "PlatformSim/RecordQuery.h"

#include <gtest/gtest.h>

using namespace PlatformSim;

namespace
{
CRecordQuery Query(const std::string& text)
{
    CRecordQuery query;
    std::string error;
    TJsonPtr json = ParseJson(text);
    EXPECT_TRUE(CRecordQuery::Parse(json.get(), &query, &error)) << error;
    return query;
}

bool Matches(const std::string& where, const std::string& record)
{
    TJsonPtr json = ParseJson(record);
    return Query(R"({"from": "k:1", "where": [)" + where + "]}").Matches(json.get());
}

std::string ParseError(const std::string& text)
{
    CRecordQuery query;
    std::string error;
    TJsonPtr json = ParseJson(text);
    EXPECT_FALSE(CRecordQuery::Parse(json.get(), &query, &error));
    return error;
}
} // namespace

TEST(RecordQuery, EveryOperatorOnNumbersStringsAndBooleans)
{
    const std::string record = R"({"_kind": "k:1", "n": 5, "s": "abc", "b": true, "d": 2.5})";
    struct
    {
        const char* where;
        bool expected;
    } cases[] = {
        {R"({"prop": "n", "op": "=", "val": 5})", true},     {R"({"prop": "n", "op": "=", "val": 5.0})", true},
        {R"({"prop": "n", "op": "!=", "val": 5})", false},   {R"({"prop": "n", "op": "<", "val": 6})", true},
        {R"({"prop": "n", "op": "<", "val": 5})", false},    {R"({"prop": "n", "op": "<=", "val": 5})", true},
        {R"({"prop": "n", "op": ">", "val": 4.5})", true},   {R"({"prop": "n", "op": ">=", "val": 6})", false},
        {R"({"prop": "d", "op": ">", "val": 2})", true},     {R"({"prop": "s", "op": "=", "val": "abc"})", true},
        {R"({"prop": "s", "op": "<", "val": "abd"})", true}, {R"({"prop": "s", "op": ">", "val": "ab"})", true},
        {R"({"prop": "s", "op": "!=", "val": "ABC"})", true}, {R"({"prop": "b", "op": "=", "val": true})", true},
        {R"({"prop": "b", "op": ">", "val": false})", true},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Matches(c.where, record), c.expected) << c.where;
    }
}

TEST(RecordQuery, MixedTypesAndMissingMembersAreUnequalAndUnordered)
{
    const std::string record = R"({"_kind": "k:1", "n": 5, "s": "5"})";
    EXPECT_FALSE(Matches(R"({"prop": "s", "op": "=", "val": 5})", record));
    EXPECT_TRUE(Matches(R"({"prop": "s", "op": "!=", "val": 5})", record));
    EXPECT_FALSE(Matches(R"({"prop": "s", "op": "<", "val": 6})", record));
    EXPECT_FALSE(Matches(R"({"prop": "missing", "op": ">", "val": 0})", record));
    EXPECT_TRUE(Matches(R"({"prop": "missing", "op": "!=", "val": 0})", record));
    EXPECT_TRUE(Matches(R"({"prop": "missing", "op": "=", "val": null})", record));
}

TEST(RecordQuery, NestedPathsAllClausesAndTheKind)
{
    const std::string record = R"({"_kind": "k:1", "from": {"addr": "bob"}, "flags": {"locked": false}, "folder": "outbox"})";
    EXPECT_TRUE(Matches(R"({"prop": "from.addr", "op": "=", "val": "bob"})", record));
    EXPECT_FALSE(Matches(R"({"prop": "from.addr.x", "op": "=", "val": "bob"})", record));
    EXPECT_TRUE(Matches(R"({"prop": "flags", "op": "=", "val": {"locked": false}})", record));
    EXPECT_FALSE(Matches(R"({"prop": "folder", "op": "=", "val": "outbox"}, {"prop": "from.addr", "op": "=", "val": "eve"})", record));

    TJsonPtr otherKind = ParseJson(R"({"_kind": "k:2", "folder": "outbox"})");
    EXPECT_FALSE(Query(R"({"from": "k:1"})").Matches(otherKind.get()));
}

TEST(RecordQuery, MalformedQueriesAreRefused)
{
    EXPECT_NE(ParseError(R"({"where": []})").find("from"), std::string::npos);
    EXPECT_NE(ParseError(R"({"from": "k:1", "where": [{"prop": "a", "op": "~", "val": 1}]})").find("~"), std::string::npos);
    ParseError(R"({"from": "k:1", "where": [{"prop": "a", "op": "="}]})");
    ParseError(R"({"from": "k:1", "where": {"prop": "a"}})");
    ParseError(R"("k:1")");
}
