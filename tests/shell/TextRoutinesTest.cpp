#include "shell/TextRoutines.h"

#include <gtest/gtest.h>

using namespace quadrantel::shell;

TEST(TakeToken, CutsAtTheDelimitersFirstCharacter)
{
    struct Case {
        const char *text, *delimiter, *token, *rest;
    };
    // A two-character delimiter leaves its second character in front of the rest.
    for (const Case& c :
         {Case{"KJFK N040.38.23.000", " ", "KJFK", "N040.38.23.000"}, Case{"a\r\nb\r\n", "\r\n", "a", "\nb\r\n"},
          Case{"no delimiter", ",", "no delimiter", ""}, Case{",x", ",", "", "x"}}) {
        std::string s = c.text;
        EXPECT_EQ(TakeToken(s, c.delimiter), c.token);
        EXPECT_EQ(s, c.rest);
    }
}

TEST(GetField, CountsFromOneAndReturnsEmptyWhenMissing)
{
    EXPECT_EQ(GetField("a\tb\tc", 3, '\t'), "c");
    EXPECT_EQ(GetField("a\tb\tc", 4, '\t'), "");
    EXPECT_EQ(GetField("a,,c", 2), "");
    EXPECT_EQ(GetField("abc", 0), "");
}

TEST(ReplaceText, StartCountCompareModeAndNoRescan)
{
    EXPECT_EQ(ReplaceText("aXbxc", "x", "-"), "aXb-c");
    EXPECT_EQ(ReplaceText("aXbxc", "x", "-", 1, -1, Compare::Text), "a-b-c");
    EXPECT_EQ(ReplaceText("Abc", "aBC", "x", 1, -1, Compare::Text), "x"); // the whole text is a match
    EXPECT_EQ(ReplaceText("xxxx", "x", "y", 1, 2), "yyxx");
    EXPECT_EQ(ReplaceText("abcabc", "a", "z", 2), "bczbc"); // text before start is dropped
    EXPECT_EQ(ReplaceText("abc", "", "z"), "abc");
    EXPECT_EQ(ReplaceText("abc", "b", "x", 10), "");
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa"); // inserted text is not searched again
    EXPECT_EQ(ReplaceAll("abab", "ab", "b"), "bb");
}

TEST(SplitText, KeepsEmptyPiecesAndHonoursTheLimit)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitText("", ":"), V{});
    EXPECT_EQ(SplitText("a:b", ""), V{"a:b"});
    EXPECT_EQ(SplitText("::a:", ":"), (V{"", "", "a", ""}));
    EXPECT_EQ(SplitText("a:b:c:d", ":", 3), (V{"a", "b", "c:d"}));
    EXPECT_EQ(SplitText("aXbxc", "x", -1, Compare::Text), (V{"a", "b", "c"}));
    EXPECT_EQ(SplitText("aXbxc", "x"), (V{"aXb", "c"}));
    EXPECT_EQ(SplitText("a--b", "--"), (V{"a", "b"}));
}
