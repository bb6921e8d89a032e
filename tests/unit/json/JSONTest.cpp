// CJSONObject and CJSONArray: parsing, the getter rules, shared copies and serialisation.

#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace
{
std::string Text(const CJSONValue& value)
{
    std::string text;
    EXPECT_TRUE(value.ToString(&text));
    return text;
}
} // namespace

TEST(JSONObjectTest, NumbersAreReadOnlyWhenTheyConvertWithoutLoss)
{
    CJSONObject object(R"({"half":1.5,"whole":2.0,"big":4294967296,"huge":18446744073709551615,"neg":-7,"text":"5"})");
    int i = 42;
    long long l = 42;
    EXPECT_FALSE(object.GetInt("half", &i));
    EXPECT_EQ(i, 42);
    EXPECT_TRUE(object.GetInt("whole", &i));
    EXPECT_EQ(i, 2);
    EXPECT_FALSE(object.GetInt("big", &i));
    EXPECT_TRUE(object.GetLong("big", &l));
    EXPECT_EQ(l, 4294967296LL);
    EXPECT_FALSE(object.GetLong("huge", &l));
    EXPECT_TRUE(object.GetInt("neg", &i));
    EXPECT_EQ(i, -7);
    EXPECT_FALSE(object.GetInt("text", &i));
    EXPECT_FALSE(object.GetInt("missing", &i));
    double d = 0;
    EXPECT_TRUE(object.GetReal("half", &d));
    EXPECT_EQ(d, 1.5);
    EXPECT_TRUE(object.GetReal("neg", &d));
    EXPECT_EQ(d, -7.0);
}

TEST(JSONObjectTest, StringsComeOnlyFromStringMembersAndAreConvertedFromUtf8)
{
    CJSONObject object(R"({"name":"h\u00e9llo \u20ac","number":5,"flag":true})");
    std::wstring text = L"untouched";
    EXPECT_FALSE(object.GetString("number", &text));
    EXPECT_FALSE(object.GetString("flag", &text));
    EXPECT_EQ(text, L"untouched");
    ASSERT_TRUE(object.GetString("name", &text));
    EXPECT_EQ(text, L"h\u00e9llo \u20ac");
    char* raw = nullptr;
    ASSERT_TRUE(object.GetString("name", &raw));
    EXPECT_STREQ(raw, "h\xc3\xa9llo \xe2\x82\xac");
    free(raw);
    bool flag = false;
    EXPECT_FALSE(object.GetBool("number", &flag));
    EXPECT_TRUE(object.GetBool("flag", &flag));
    EXPECT_TRUE(flag);
}

TEST(JSONObjectTest, TextThatIsNotOneObjectMakesEveryGetterFail)
{
    for (const char* text : {"", "{", "[1]", "5", "{} {}", "{\"a\":1} x", "nul", static_cast<const char*>(nullptr)})
    {
        CJSONObject object(text);
        int i = 0;
        EXPECT_FALSE(object.IsValid()) << (text ? text : "null");
        EXPECT_FALSE(object.GetInt("a", &i));
        EXPECT_FALSE(object.SetInt("a", 1));
        std::string out = "kept";
        EXPECT_FALSE(object.ToString(&out));
        EXPECT_EQ(out, "kept");
    }
    EXPECT_TRUE(CJSONObject("  {\"a\":1}\n").IsValid());
}

TEST(JSONObjectTest, DeepNestingIsRefusedNotFollowed)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    CJSONObject object(("{\"a\":" + deep + "}").c_str());
    EXPECT_FALSE(object.IsValid());
}

TEST(JSONObjectTest, CopiesShareTheirValue)
{
    CJSONObject original;
    CJSONObject copy = original;
    copy.SetInt("n", 1);
    int n = 0;
    EXPECT_TRUE(original.GetInt("n", &n));
    EXPECT_EQ(n, 1);

    CJSONObject inner;
    original.SetObject("inner", inner);
    inner.SetBool("late", true);
    EXPECT_EQ(Text(original), R"({"n":1,"inner":{"late":true}})");
    EXPECT_FALSE(original.SetObject("self", original));
}

TEST(JSONObjectTest, BuildsAndSerialisesEveryMemberType)
{
    CJSONObject object;
    CJSONArray list;
    list.AddString("a/b");
    list.AddString(std::wstring(L"\u00e9"));
    list.AddInt(-1);
    list.AddLong(1LL << 40);
    list.AddReal(0.5);
    list.AddBool(false);
    list.AddObject(CJSONObject());
    list.AddArray(CJSONArray());
    object.SetString("s", L"x\"y");
    object.SetArray("list", list);
    object.SetString("s", "replaced");
    EXPECT_EQ(Text(object), "{\"s\":\"replaced\",\"list\":[\"a/b\",\"\xc3\xa9\",-1,1099511627776,0.5,false,{},[]]}");
    std::wstring wide;
    ASSERT_TRUE(object.ToString(&wide));
    EXPECT_NE(wide.find(L"\u00e9"), std::wstring::npos);
    char* raw = nullptr;
    ASSERT_TRUE(object.ToString(&raw));
    EXPECT_EQ(std::string(raw), Text(object));
    free(raw);
}

TEST(JSONArrayTest, ElementsAreReadByPositionWithTheSameRules)
{
    CJSONArray array(R"([1.5, "s", {"k":1}, [2], true])");
    ASSERT_TRUE(array.IsValid());
    EXPECT_EQ(array.arraySize(), 5);
    int i = 9;
    EXPECT_FALSE(array.GetInt(0, &i));
    EXPECT_FALSE(array.GetInt(-1, &i));
    EXPECT_FALSE(array.GetInt(5, &i));
    EXPECT_EQ(i, 9);
    std::wstring s;
    EXPECT_TRUE(array.GetString(1, &s));
    EXPECT_EQ(s, L"s");
    CJSONObject object;
    EXPECT_FALSE(array.GetObject(3, &object));
    ASSERT_TRUE(array.GetObject(2, &object));
    EXPECT_TRUE(object.GetInt("k", &i));
    CJSONArray inner;
    ASSERT_TRUE(array.GetArray(3, &inner));
    EXPECT_TRUE(inner.GetInt(0, &i));
    EXPECT_EQ(i, 2);
    bool flag = false;
    EXPECT_TRUE(array.GetBool(4, &flag));
    EXPECT_FALSE(CJSONArray("{}").IsValid());
    EXPECT_EQ(CJSONObject().arraySize(), 0);
}
