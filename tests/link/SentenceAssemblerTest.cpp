#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "link/SentenceAssembler.h"
#include "text/Text.h"

namespace velmor {
namespace {

struct RecordingSink : ISentenceSink {
    std::vector<std::pair<std::string, bool>> m_sentences;
    int m_nMismatches = 0;
    std::function<void(const std::string&)> m_onSentence;
    void OnSentence(const std::string& body, bool verified) override
    {
        m_sentences.emplace_back(body, verified);
        if (m_onSentence) m_onSentence(body);
    }
    void OnChecksumMismatch() override { ++m_nMismatches; }
};

std::string Checksummed(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    return "$" + body + "*" + Format("%02X", sum) + "\r\n";
}

void FeedText(CSentenceAssembler& assembler, const std::string& text, ISentenceSink& sink)
{
    assembler.Feed(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), sink);
}

using Sentences = std::vector<std::pair<std::string, bool>>;

TEST(SentenceAssembler, ChecksumGoodBadAndLowerCase)
{
    CSentenceAssembler assembler;
    RecordingSink sink;
    FeedText(assembler, Checksummed("PRID,Z12"), sink);
    EXPECT_EQ(sink.m_sentences, (Sentences{{"PRID,Z12", true}, {"\r", false}}));

    sink = RecordingSink();
    FeedText(assembler, "$ABC*41\r\n", sink);  // the XOR of ABC is 0x40
    EXPECT_EQ(sink.m_nMismatches, 1);
    EXPECT_EQ(sink.m_sentences, (Sentences{{"\r", false}}));

    // 'Z' is 0x5A; a lower-case low digit decodes to 0x2A and mismatches.
    sink = RecordingSink();
    FeedText(assembler, "$Z*5a\r\n", sink);
    EXPECT_EQ(sink.m_nMismatches, 1);
    EXPECT_EQ(sink.m_sentences.size(), 1u);

    // In the high digit the extra bits fall off the 8-bit shift: "a5" == "A5".
    sink = RecordingSink();
    FeedText(assembler, "$\xA5*a5\r\n", sink);
    EXPECT_EQ(sink.m_nMismatches, 0);
    EXPECT_EQ(sink.m_sentences.front(), (std::pair<std::string, bool>{"\xA5", true}));
}

TEST(SentenceAssembler, UncheckedAndDollarlessBodies)
{
    CSentenceAssembler assembler;
    RecordingSink sink;
    FeedText(assembler, "$ABC\r", sink);
    FeedText(assembler, "ABC*40", sink);  // no "$" needed
    FeedText(assembler, "\n\n", sink);     // an empty body, delivered too
    EXPECT_EQ(sink.m_sentences, (Sentences{{"ABC", false}, {"ABC", true}, {"", false}}));
}

TEST(SentenceAssembler, ChecksummedSentenceAfterUncheckedCrLf)
{
    CSentenceAssembler assembler;
    RecordingSink sink;
    FeedText(assembler, "$UNCHECKED\r\n" + Checksummed("TIME,12"), sink);
    EXPECT_EQ(sink.m_nMismatches, 0);
    EXPECT_EQ(sink.m_sentences, (Sentences{{"UNCHECKED", false}, {"TIME,12", true}, {"\r", false}}));
}

TEST(SentenceAssembler, SplitAtEveryBytePositionMatchesOneRead)
{
    const std::string stream = Checksummed("PRID,Z12,3") + Checksummed("TIME,1") + "$NOSUM\r\n";
    CSentenceAssembler whole;
    RecordingSink expected;
    FeedText(whole, stream, expected);
    ASSERT_EQ(expected.m_sentences.size(), 5u);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        CSentenceAssembler assembler;
        RecordingSink sink;
        FeedText(assembler, stream.substr(0, cut), sink);
        FeedText(assembler, stream.substr(cut), sink);
        EXPECT_EQ(sink.m_sentences, expected.m_sentences) << "cut at " << cut;
        EXPECT_EQ(sink.m_nMismatches, 0);
    }
}

TEST(SentenceAssembler, LongestBodyAndOverlongBody)
{
    CSentenceAssembler assembler;
    RecordingSink sink;
    const std::string longest(255, 'A');
    FeedText(assembler, Checksummed(longest), sink);
    ASSERT_FALSE(sink.m_sentences.empty());
    EXPECT_EQ(sink.m_sentences[0], (std::pair<std::string, bool>{longest, true}));

    // 256 characters: dropped without a sound; resynchronised at a LF or "$".
    for (const std::string resync : {"\n", "$"}) {
        sink = RecordingSink();
        std::string next = Checksummed("OK");
        FeedText(assembler, "$" + std::string(256, 'B') + resync + (resync == "$" ? next.substr(1) : next), sink);
        EXPECT_EQ(sink.m_nMismatches, 0);
        EXPECT_EQ(sink.m_sentences, (Sentences{{"OK", true}, {"\r", false}})) << "resync " << resync;
    }
}

TEST(SentenceAssembler, TwoSentencesInOneRead)
{
    CSentenceAssembler assembler;
    RecordingSink sink;
    FeedText(assembler, Checksummed("ONE") + Checksummed("TWO"), sink);
    EXPECT_EQ(sink.m_sentences, (Sentences{{"ONE", true}, {"\r", false}, {"TWO", true}, {"\r", false}}));
}

TEST(SentenceAssembler, ReentrantFeedFromInsideDelivery)
{
    CSentenceAssembler assembler;
    RecordingSink sink;
    bool fed = false;
    sink.m_onSentence = [&](const std::string& body) {
        if (body == "OUTER" && !fed) {
            fed = true;  // a nested poll tick while the dispatcher shows a box
            FeedText(assembler, Checksummed("INNER"), sink);
        }
    };
    FeedText(assembler, Checksummed("OUTER") + Checksummed("AFTER"), sink);
    EXPECT_EQ(sink.m_nMismatches, 0);
    EXPECT_EQ(sink.m_sentences, (Sentences{{"OUTER", true},
                                           {"INNER", true},
                                           {"\r", false},
                                           {"\r", false},
                                           {"AFTER", true},
                                           {"\r", false}}));
}

TEST(SentenceAssembler, RandomBytesNeverBreakTheNextSentence)
{
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byteDist(0, 255), lengthDist(0, 700);
    CSentenceAssembler assembler;
    for (int round = 0; round < 500; ++round) {
        RecordingSink sink;
        std::string garbage(static_cast<std::size_t>(lengthDist(random)), '\0');
        for (char& c : garbage) c = static_cast<char>(byteDist(random));
        FeedText(assembler, garbage, sink);
        for (const auto& s : sink.m_sentences) EXPECT_LE(s.first.size(), CSentenceAssembler::kMaxBody);
        sink = RecordingSink();
        // A partial checksum may still be pending: two digits and a LF end anything.
        FeedText(assembler, "00\n" + Checksummed("GOOD,1"), sink);
        ASSERT_GE(sink.m_sentences.size(), 2u) << "round " << round;
        EXPECT_EQ(sink.m_sentences[sink.m_sentences.size() - 2], (std::pair<std::string, bool>{"GOOD,1", true}));
    }
}

}  // namespace
}  // namespace velmor
