// The markup sanitiser of chat texts, in its strip and escape modes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Tesk/App/Meridex/HtmlSanitizer.h"

namespace {

std::string Sanitized(const char* text, int strip)
{
    char* result = sanitizeHtmlUtf8(text, trustedTags, strip);
    std::string copy = result;
    std::free(result);
    return copy;
}

}  // namespace

TEST(HtmlSanitizerTest, StripRemovesUntrustedTagsWithTheirTextAndKeepsTrustedOnes)
{
    EXPECT_EQ(Sanitized("a<b>c</b><font x>d</font>e>", 1), "a<b>c</b>de>");
    EXPECT_EQ(Sanitized("<I>x</I><br><BR/>y", 1), "<I>x</I><br>y");
    EXPECT_EQ(Sanitized("<script>alert(1)</script>hi", 1), "alert(1)hi");
}

TEST(HtmlSanitizerTest, EscapeTurnsMarkupIntoEntitiesButCopiesTrustedTags)
{
    EXPECT_EQ(Sanitized("<x>&", 0), "&lt;x&gt;&amp;");
    EXPECT_EQ(Sanitized("say \"<b>hi</b>\"", 0), "say &quot;<b>hi</b>&quot;");
}

TEST(HtmlSanitizerTest, AnEmptyTagCountsAsTrustedInBothModes)
{
    EXPECT_EQ(Sanitized("a<>b", 1), "a<>b");
    EXPECT_EQ(Sanitized("a<>b", 0), "a<>b");
}

TEST(HtmlSanitizerTest, AnUnterminatedTagHidesTheRestWhenStrippingAndIsEscapedOtherwise)
{
    EXPECT_EQ(Sanitized("ok <b", 1), "ok ");
    EXPECT_EQ(Sanitized("ok <b", 0), "ok &lt;b");
    // A second "<" ends the first tag's chance: "<a" is no tag, "<b>" is.
    EXPECT_EQ(Sanitized("<a<b>x", 0), "&lt;a<b>x");
}

TEST(HtmlSanitizerTest, NestedUntrustedTagsDisappearAndOnlyTheOuterTextStays)
{
    EXPECT_EQ(Sanitized("1<font <span>>2</font>3", 1), "123");
    EXPECT_EQ(Sanitized("x>>y", 1), "x>>y");
}

TEST(HtmlSanitizerTest, MultiByteCharactersNextToTagsAreKeptWhole)
{
    EXPECT_EQ(Sanitized("\xc3\xa9<b>\xe2\x82\xac</b><i x>\xf0\x9f\x98\x80</i>\xc3\xbc", 1),
              "\xc3\xa9<b>\xe2\x82\xac</b>\xf0\x9f\x98\x80</i>\xc3\xbc");
    EXPECT_EQ(Sanitized("\xe2\x82\xac<q>\xc3\xa9", 0), "\xe2\x82\xac&lt;q&gt;\xc3\xa9");
}

TEST(HtmlSanitizerTest, EmptyAndNullInputsGiveAnEmptyString)
{
    EXPECT_EQ(Sanitized("", 1), "");
    EXPECT_EQ(Sanitized("", 0), "");
    char* result = sanitizeHtmlUtf8(nullptr, trustedTags, 1);
    EXPECT_STREQ(result, "");
    std::free(result);
    result = sanitizeHtmlUtf8("<b>x", nullptr, 1);
    EXPECT_STREQ(result, "x");
    std::free(result);
}

TEST(HtmlSanitizerTest, SanitizeMessageStripsAWideText)
{
    std::wstring text = L"\u00e9t\u00e9 <b>chaud</b><blink>!</blink>";
    sanitizeMessage(text);
    EXPECT_EQ(text, L"\u00e9t\u00e9 <b>chaud</b>!");
}
