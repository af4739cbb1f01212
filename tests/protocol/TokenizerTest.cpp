#include <gtest/gtest.h>

#include "protocol/Tokenizer.h"

namespace velmor {
namespace {

TEST(Tokenizer, EmptyFieldsCollapseAndLeadingCommasAreSkipped)
{
    CTokenizer tok("POS1,,33,,,11.1111");
    std::string t;
    ASSERT_TRUE(tok.Keyword(t));
    EXPECT_EQ(t, "POS1");
    ASSERT_TRUE(tok.Field(t));
    EXPECT_EQ(t, "33");
    ASSERT_TRUE(tok.Field(t));
    EXPECT_EQ(t, "11.1111");
    EXPECT_FALSE(tok.Field(t));
    EXPECT_FALSE(tok.Rest(t)) << "nothing is left after the end";
}

TEST(Tokenizer, RestIsEverythingAfterTheSeparatorUnchanged)
{
    CTokenizer tok("ANTD,-000150, x,y");
    std::string t;
    ASSERT_TRUE(tok.Keyword(t));
    ASSERT_TRUE(tok.Rest(t));
    EXPECT_EQ(t, "-000150, x,y");

    CTokenizer after("VERS,1,2 3");
    ASSERT_TRUE(after.Keyword(t));
    ASSERT_TRUE(after.Field(t));
    ASSERT_TRUE(after.Rest(t));
    EXPECT_EQ(t, "2 3");

    // A rest keeps leading separators: only the one that ended the keyword goes.
    CTokenizer commas("DACV,,5");
    ASSERT_TRUE(commas.Keyword(t));
    ASSERT_TRUE(commas.Rest(t));
    EXPECT_EQ(t, ",5");
}

TEST(Tokenizer, KeywordEndsAtSpaceCommaOrAsterisk)
{
    std::string t;
    CTokenizer legacy("LL N037341234W117221234");
    ASSERT_TRUE(legacy.Keyword(t));
    EXPECT_EQ(t, "LL");
    ASSERT_TRUE(legacy.Field(t));
    EXPECT_EQ(t, "N037341234W117221234");

    CTokenizer star("PRID*junk");
    ASSERT_TRUE(star.Keyword(t));
    EXPECT_EQ(t, "PRID");
}

TEST(Tokenizer, EmptyOrDelimiterOnlyBodiesYieldNothing)
{
    std::string t;
    for (const char* body : {"", " ", ",,, ,", "*"}) {
        CTokenizer tok(body);
        EXPECT_FALSE(tok.Keyword(t)) << '"' << body << '"';
    }
}

TEST(Tokenizer, DelimiterSetMayChangeBetweenSteps)
{
    CTokenizer tok("EVTG,1,0.500000,1");
    std::string t;
    ASSERT_TRUE(tok.Keyword(t));
    ASSERT_TRUE(tok.Field(t));
    EXPECT_EQ(t, "1");
    ASSERT_TRUE(tok.Next(".", t));
    EXPECT_EQ(t, "0");
    ASSERT_TRUE(tok.Next(",", t));
    EXPECT_EQ(t, "500000");
    ASSERT_TRUE(tok.Rest(t));
    EXPECT_EQ(t, "1");
}

}  // namespace
}  // namespace velmor
