#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/TelnetCodec.h"

namespace velmor {
namespace {

using namespace telnet;
using Bytes = std::vector<std::uint8_t>;

Bytes Of(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// Feeds |stream| to a fresh decoder in pieces of the given sizes (the rest
// in one piece) and collects what comes out.
struct Decoded {
    Bytes m_data;
    std::vector<CTelnetEvent> m_events;
};
Decoded DecodeInPieces(const Bytes& stream, const std::vector<std::size_t>& pieces)
{
    CTelnetDecoder decoder;
    Decoded out;
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        piece = std::min(piece, stream.size() - at);
        decoder.Decode(stream.data() + at, piece, out.m_data, out.m_events);
        at += piece;
    }
    decoder.Decode(stream.data() + at, stream.size() - at, out.m_data, out.m_events);
    return out;
}

TEST(TelnetCodec, DataWithEveryByteValueSurvivesEscapingAndAnySplit)
{
    Bytes data;
    for (int round = 0; round < 3; ++round)
        for (int v = 0; v < 256; ++v) data.push_back(static_cast<std::uint8_t>(v));
    data.push_back(kIac);
    data.push_back(kIac);  // two data 0xFF in a row
    Bytes wire;
    TelnetEscape(data.data(), data.size(), wire);
    EXPECT_EQ(wire.size(), data.size() + 3 + 2);

    // Every split point, including between the two bytes of an IAC IAC.
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        const Decoded out = DecodeInPieces(wire, {cut});
        ASSERT_EQ(out.m_data, data) << "cut at " << cut;
        ASSERT_TRUE(out.m_events.empty());
    }
    // Random piece sizes, down to single bytes.
    std::mt19937 random(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<std::size_t> pieces;
        for (std::size_t total = 0; total < wire.size();) {
            pieces.push_back(1 + random() % 5);
            total += pieces.back();
        }
        ASSERT_EQ(DecodeInPieces(wire, pieces).m_data, data) << "trial " << trial;
    }
}

TEST(TelnetCodec, CommandsAndSubnegotiationsAreTakenOutOfTheDataWhereverTheReadsEnd)
{
    // What a server sends on connecting and when confirming a rate (9600,
    // whose bytes include none of the special values) and a purge, with data
    // around it and a baud rate whose encoding contains 0xFF (escaped).
    const Bytes stream = Of({'$', kIac, kWill, kOptSuppressGoAhead, 'A', kIac, kDo, kOptComPort, kIac, kNop,
                             kIac, kSb, kOptComPort, 101, 0, 0, 0x25, 0x80, kIac, kSe, 'B', kIac, kIac,
                             kIac, kSb, kOptComPort, 101, 0, 0, kIac, kIac, 0x10, kIac, kSe, '\r', '\n'});
    for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1)
        for (std::size_t cut2 = 0; cut1 + cut2 <= stream.size(); cut2 += 3) {
            const Decoded out = DecodeInPieces(stream, {cut1, cut2});
            ASSERT_EQ(out.m_data, Of({'$', 'A', 'B', 0xFF, '\r', '\n'})) << cut1 << "," << cut2;
            ASSERT_EQ(out.m_events.size(), 5u);
            EXPECT_EQ(out.m_events[0].m_kind, CTelnetEvent::Kind::Negotiation);
            EXPECT_EQ(out.m_events[0].m_chVerb, kWill);
            EXPECT_EQ(out.m_events[0].m_chOption, kOptSuppressGoAhead);
            EXPECT_EQ(out.m_events[1].m_chVerb, kDo);
            EXPECT_EQ(out.m_events[2].m_kind, CTelnetEvent::Kind::Command);
            EXPECT_EQ(out.m_events[2].m_chVerb, kNop);
            std::uint32_t baud = 0;
            ASSERT_EQ(out.m_events[3].m_kind, CTelnetEvent::Kind::Subnegotiation);
            EXPECT_EQ(out.m_events[3].m_chOption, kOptComPort);
            ASSERT_TRUE(rfc2217::ParseBaudRateAck(out.m_events[3].m_payload, baud));
            EXPECT_EQ(baud, 9600u);
            ASSERT_TRUE(rfc2217::ParseBaudRateAck(out.m_events[4].m_payload, baud));
            EXPECT_EQ(baud, 0xFF10u);
        }
}

TEST(TelnetCodec, BrokenAndOversizedSubnegotiationsDoNotSwallowTheStream)
{
    // IAC inside a subnegotiation followed by anything but IAC or SE ends
    // it; the interrupting command still counts.
    Decoded out = DecodeInPieces(Of({kIac, kSb, kOptComPort, 101, 1, kIac, kWill, kOptBinary, 'x'}), {});
    EXPECT_EQ(out.m_data, Of({'x'}));
    ASSERT_EQ(out.m_events.size(), 1u);
    EXPECT_EQ(out.m_events[0].m_kind, CTelnetEvent::Kind::Negotiation);

    Bytes huge = Of({kIac, kSb, kOptComPort});
    huge.insert(huge.end(), 100000, 'z');
    const Bytes tail = Of({kIac, kSe, 'y', kIac, kSb, kOptComPort, 112, 3, kIac, kSe});
    huge.insert(huge.end(), tail.begin(), tail.end());
    out = DecodeInPieces(huge, {4000, 4000});
    EXPECT_EQ(out.m_data, Of({'y'}));
    ASSERT_EQ(out.m_events.size(), 1u);  // the oversized one is dropped, the next one kept
    EXPECT_EQ(out.m_events[0].m_payload, Of({112, 3}));

    // A stream that ends inside a subnegotiation yields nothing, and a reset
    // decoder starts clean.
    CTelnetDecoder decoder;
    Bytes data;
    std::vector<CTelnetEvent> events;
    const Bytes cut = Of({kIac, kSb, kOptComPort, 'q'});
    decoder.Decode(cut.data(), cut.size(), data, events);
    decoder.Reset();
    const Bytes next = Of({'o', 'k'});
    decoder.Decode(next.data(), next.size(), data, events);
    EXPECT_EQ(data, Of({'o', 'k'}));
    EXPECT_TRUE(events.empty());
}

TEST(TelnetCodec, OptionNegotiationSettlesWithoutLooping)
{
    CTelnetOptions options;
    const Bytes offers = options.Start();
    EXPECT_EQ(offers, Of({kIac, kWill, kOptBinary, kIac, kDo, kOptBinary, kIac, kWill, kOptSuppressGoAhead, kIac,
                          kDo, kOptSuppressGoAhead, kIac, kWill, kOptComPort}));
    EXPECT_FALSE(options.ComPortAccepted());

    // A server that offers before it reads ours, then answers ours again:
    // only the options we refuse get a reply, and each only once per change.
    const struct {
        int m_nVerb, m_nOption;
        Bytes m_reply;
    } steps[] = {
        {kWill, kOptSuppressGoAhead, {}},
        {kDo, kOptSuppressGoAhead, {}},
        {kWill, kOptEcho, Of({kIac, kDont, kOptEcho})},
        {kDont, kOptEcho, {}},
        {kDo, kOptBinary, {}},
        {kWill, kOptBinary, {}},
        {kDo, kOptComPort, {}},
        {kDo, kOptSuppressGoAhead, {}},  // the answer to our own offer: nothing changes
        {kWont, kOptEcho, {}},
        {kDo, 24, Of({kIac, kWont, 24})},  // terminal type: not ours to give
    };
    for (const auto& step : steps)
        EXPECT_EQ(options.OnNegotiation(static_cast<std::uint8_t>(step.m_nVerb),
                                        static_cast<std::uint8_t>(step.m_nOption)),
                  step.m_reply)
            << step.m_nVerb << " " << step.m_nOption;
    EXPECT_TRUE(options.ComPortAccepted());
    EXPECT_TRUE(options.IsRemoteEnabled(kOptBinary));
    EXPECT_TRUE(options.IsLocalEnabled(kOptBinary));
    EXPECT_FALSE(options.ComPortRefused());

    // Switching an enabled option off is acknowledged once; a server that
    // refuses the port option is remembered.
    EXPECT_EQ(options.OnNegotiation(kDont, kOptBinary), Of({kIac, kWont, kOptBinary}));
    EXPECT_TRUE(options.OnNegotiation(kDont, kOptBinary).empty());
    EXPECT_EQ(options.OnNegotiation(kDont, kOptComPort), Of({kIac, kWont, kOptComPort}));
    EXPECT_TRUE(options.ComPortRefused());
    EXPECT_FALSE(options.ComPortAccepted());
}

}  // namespace
}  // namespace velmor
