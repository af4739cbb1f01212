// The counter's two line grammars, the lines it skips or counts, the format
// detection and the exact arithmetic on its timestamps.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "counter/CounterParser.h"

namespace velmor {
namespace {

std::vector<CCounterLine> FeedAll(CCounterParser& parser, std::string_view text)
{
    std::vector<CCounterLine> out;
    parser.Feed(text, out);
    return out;
}

TEST(CounterParser, TimestampFractionsOfElevenAndTwelveDigitsAreExact)
{
    auto eleven = ParseTimestampLine("86399.12345678901 chA");
    ASSERT_TRUE(eleven);
    EXPECT_EQ(eleven->m_channel, 'A');
    EXPECT_EQ(eleven->m_value, (CCounterTime{86399, 123456789010}));
    EXPECT_EQ(eleven->m_strText, "86399.12345678901");
    auto twelve = ParseTimestampLine("  86399.123456789012 chB\t");
    ASSERT_TRUE(twelve);
    EXPECT_EQ(twelve->m_value, (CCounterTime{86399, 123456789012}));
    // A day's worth of seconds plus picoseconds is 17 digits: a double
    // would lose the last ones, the difference must not.
    EXPECT_EQ(CCounterTime::DiffPs(twelve->m_value, eleven->m_value), 2);
    auto a = ParseTimestampLine("1000000.000000000001 chA");
    auto b = ParseTimestampLine("999999.999999999999 chB");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(CCounterTime::DiffPs(a->m_value, b->m_value), 2);

    for (const char* bad : {"12.1234567890 chA", "12.1234567890123 chA", "12.12345678901 chE", "12.12345678901",
                            "-12.12345678901 chA", "12.12345678901 chA extra", ".12345678901 chA",
                            "12.12345678901 cha", "1234567890123456789.12345678901 chA", "12,12345678901 chA"})
        EXPECT_FALSE(ParseTimestampLine(bad)) << bad;
}

TEST(CounterParser, ReadingsWithSignExponentAndTags)
{
    struct Case {
        const char* line;
        CCounterTime value;
        char channel;
        const char* tag;
    } cases[] = {
        {"1.5e-9", {0, 1500}, 0, ""},
        {"-1.5e-9 TI(A->B)", {-1, 1000000000000 - 1500}, 0, "TI(A->B)"},
        {"-2", {-2, 0}, 0, ""},
        {"0.000000000000499", {0, 0}, 0, ""},      // rounds to nearest ps
        {"0.0000000000005", {0, 1}, 0, ""},
        {"0.9999999999996", {1, 0}, 0, ""},        // the carry into seconds
        {"12E+2 chC", {1200, 0}, 'C', "chC"},
        {"3.25e1 chB", {32, 500000000000}, 'B', "chB"},
        {"-0 ", {0, 0}, 0, ""},
    };
    for (const Case& c : cases) {
        auto line = ParseReadingLine(c.line);
        ASSERT_TRUE(line) << c.line;
        EXPECT_EQ(line->m_value, c.value) << c.line;
        EXPECT_EQ(line->m_channel, c.channel) << c.line;
        EXPECT_EQ(line->m_strTag, c.tag) << c.line;
    }
    for (const char* bad : {"", "-", "1.", ".5", "1e", "1e+", "1e1234", "1.5 A B", "+1", "1x", "1e400000",
                            "1e30", "--1", "1.5e-9e2"})
        EXPECT_FALSE(ParseReadingLine(bad)) << bad;
}

TEST(CounterParser, BannerCommentsAndLaterGarbage)
{
    CCounterParser parser(CounterFormat::Timestamp);
    auto out = FeedAll(parser,
                       "TAPR TICC boot\r\n"
                       "Mode: timestamp 1.0 ok\r\n"
                       "\r\n"
                       "5.00000000000 chA\r\n"
                       "# a comment\r\n"
                       "\r\n"
                       "garbage line\r\n"
                       "5.000000000001 chB\r\n"
                       "1.5e-9\r\n"  // a reading where timestamps are forced
                       "6.00000000000 chA\n");
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].m_channel, 'B');
    EXPECT_EQ(parser.ParseErrors(), 2u);
    EXPECT_EQ(parser.SkippedLines(), 5u);
}

TEST(CounterParser, OverlongLinesAreDroppedAcrossChunks)
{
    CCounterParser parser(CounterFormat::Reading);
    std::vector<CCounterLine> out;
    parser.Feed("1.0\r\n", out);
    std::string longLine(300, '1');
    // Fed in small pieces, so the length is counted across reads.
    for (std::size_t i = 0; i < longLine.size(); i += 7) parser.Feed(std::string_view(longLine).substr(i, 7), out);
    parser.Feed("\r\n2.0\r\n", out);
    // A line of exactly the limit still counts.
    parser.Feed("3." + std::string(CCounterParser::kMaxLine - 2, '0') + "\n", out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].m_value.m_sec, 2);
    EXPECT_EQ(parser.OverlongLines(), 1u);
    EXPECT_EQ(parser.ParseErrors(), 1u);
}

TEST(CounterParser, FormatDetectedFromTheFirstFiveValidLines)
{
    // A TICC in timestamp mode: tagged, timestamp-shaped, increasing per
    // channel. Nothing comes out until the fifth valid line decides.
    CCounterParser ticc;
    std::vector<CCounterLine> out;
    ticc.Feed("booting\r\n1.10000000000 chA\r\n1.20000000000 chB\r\n", out, 1000);
    ticc.Feed("2.10000000000 chA\r\n2.20000000000 chB\r\n", out, 2000);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(ticc.Format(), CounterFormat::Auto);
    ticc.Feed("3.10000000000 chA\r\n", out, 3000);
    EXPECT_EQ(ticc.Format(), CounterFormat::Timestamp);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[4].m_value, (CCounterTime{3, 100000000000}));
    // The lines held back keep the time they arrived.
    EXPECT_EQ(out[1].m_qwTick, 1000u);
    EXPECT_EQ(out[2].m_qwTick, 2000u);
    EXPECT_EQ(out[4].m_qwTick, 3000u);
    // Once decided, a reading no longer is valid.
    ticc.Feed("1.5e-9\r\n", out);
    EXPECT_EQ(ticc.ParseErrors(), 1u);

    // Tagged, timestamp-shaped, but not increasing: a TICC in interval mode.
    CCounterParser interval;
    auto readings = FeedAll(interval, "0.00000001234 chA\r\n0.00000001200 chA\r\n");
    EXPECT_EQ(interval.Format(), CounterFormat::Reading);
    EXPECT_EQ(readings.size(), 2u);

    // An untagged line settles it at once.
    CCounterParser plain;
    auto first = FeedAll(plain, "1.00000000000 chA\r\n-2.5e-8\r\n");
    EXPECT_EQ(plain.Format(), CounterFormat::Reading);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].m_channel, 'A');
}

}  // namespace
}  // namespace velmor
