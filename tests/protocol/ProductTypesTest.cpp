// Pins the product type table: for every trait, the exact set of codes that
// have it. The sets are written out here independently of the table, so a
// wrong row, a forgotten flag or a slipped column fails by name.

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "model/ProductTypes.h"

namespace velmor {
namespace {

struct CExpectedSet {
    const char* m_pszTrait;
    std::function<bool(int)> m_has;
    std::set<int> m_codes;
};

auto Cap(Capability c) { return [c](int code) { return HasCapability(code, c); }; }
auto Family(CommandFamily f) { return [f](int code) { return CommandFamilyOf(code) == f; }; }
auto Subscribes(SubscriptionSet set) { return [set](int code) { return ProductTypeInfo(code).m_eSubscriptions == set; }; }
auto Position(PositionSubscription p) { return [p](int code) { return ProductTypeInfo(code).m_ePositionReports == p; }; }
auto Delay(AntennaDelayCommand a) { return [a](int code) { return ProductTypeInfo(code).m_eAntennaDelay == a; }; }
auto Countdown(AveragingCountdown c) { return [c](int code) { return ProductTypeInfo(code).m_eCountdown == c; }; }

const std::set<int> kTrmoFamily = {0, 3, 6, 11, 15, 16, 17, 18, 25};
const std::set<int> kTmd1Family = {1, 2, 4, 5, 7, 12, 27};

const std::vector<CExpectedSet>& ExpectedSets()
{
    static const std::vector<CExpectedSet> sets = {
        {"legacy dialect", SpeaksLegacyDialect, {9}},
        {"unsupported", [](int code) { return !IsSupportedProduct(code); }, {26, 27, 28, 99, INT_MAX}},
        {"fixed name", [](int code) { return ProductTypeInfo(code).m_pszFixedName != nullptr; }, {22}},
        {"TRMO family", Family(CommandFamily::Trmo), kTrmoFamily},
        {"TMD1 family", Family(CommandFamily::Tmd1), kTmd1Family},
        {"legacy family", Family(CommandFamily::Legacy), {9}},
        {"TRMO subscriptions (group A)", Subscribes(SubscriptionSet::Trmo), {0, 3, 6, 15, 16, 17, 18, 25}},
        {"TMD1 subscriptions (group B)", Subscribes(SubscriptionSet::Tmd1), kTmd1Family},
        {"legacy subscriptions", Subscribes(SubscriptionSet::Legacy), {9}},
        {"emulation subscriptions", Subscribes(SubscriptionSet::Emulation), {11}},
        {"antenna delay subscription", Subscribes(SubscriptionSet::AntennaDelay), {22}},
        {"SPOS always on", Position(PositionSubscription::Spos), {0, 6, 11}},
        {"POS1 position", Position(PositionSubscription::Pos1), kTmd1Family},
        {"EL/LL position", Position(PositionSubscription::Legacy), {9}},
        {"PAVG position", Position(PositionSubscription::Pavg), {15, 16, 17, 18, 25}},
        {"delay by part number", Delay(AntennaDelayCommand::ByPartNumber), {0, 3, 6, 11, 15, 25}},
        {"delay ANT1", Delay(AntennaDelayCommand::Ant1), {1, 2, 4, 5, 7, 12, 22, 27}},
        {"delay ANTD", Delay(AntennaDelayCommand::Antd), {16, 17, 18}},
        {"delay EID", Delay(AntennaDelayCommand::Legacy), {9}},
        {"six-hour countdown", Countdown(AveragingCountdown::SixHours), {3, 6, 9, 11}},
        {"countdown by hours", Countdown(AveragingCountdown::ByAveragingHours), {15, 16, 17, 18, 25}},
        {"beep", Cap(kBeep), {0, 4, 5, 6, 7, 9, 11, 12, 25}},
        {"DAC locked", Cap(kDacLocked), {3, 15, 16}},
        {"DACV command", Cap(kDacvCommand), {0, 3, 11}},
        {"event timing", Cap(kEventTiming), {0, 3}},
        {"mask angle command", Cap(kMaskAngleCommand), {4, 5, 7, 11, 12, 15, 16, 22, 25}},
        {"MAG1 mask angle", Cap(kMag1MaskAngle), {22}},
        {"ref pulse output", Cap(kRefPulseOutput), {15, 16}},
        {"TOD type command", Cap(kTodTypeCommand), {9, 11}},
        {"presets in menu", Cap(kPresetsInMenu), {16}},
        {"Mirelle family", IsMirelleFamily, {15, 16}},
        {"half-hour offset", Cap(kHalfHourOffset), {6, 9, 11, 15, 16, 17, 18}},
        {"hours-only offset", Cap(kHoursOnlyOffset), {0}},
        {"unsigned offset minutes", Cap(kUnsignedOffsetMinutes), {11}},
        {"TRMO mode query", Cap(kTrmoModeQuery), {0, 3, 6, 9, 11, 25}},
        {"PAVG after fixed mode", Cap(kPavgAfterFixedMode), {25}},
        {"SPOS while fixed", Cap(kSposWhileFixed), {0, 3, 6, 11}},
        {"SPOS while averaging", Cap(kSposWhileAveraging), {0, 6}},
        {"PAVG while averaging", Cap(kPavgWhileAveraging), {3, 11}},
        {"PAVG after averaging mode", Cap(kPavgAfterAveragingMode), {3}},
        {"POS1 off for averaging", Cap(kPos1OffForAveraging), {4, 5, 7, 12}},
        {"TRMO subscribe follow-up", Cap(kTrmoSubscribeFollowUp), {3}},
        {"pulse queries", Cap(kPulseQueries), {15, 16, 17, 18}},
        {"periodic model query", Cap(kPeriodicModelQuery), {15, 16, 17, 18}},
        {"polled DAC and time", Cap(kPolledDacAndTime), {0}},
        {"PAVG averaging count", Cap(kPavgAveragingCount), {3, 6, 9, 11, 15, 16, 17, 18, 25}},
        {"PAVG position at zero", Cap(kPavgPositionAtZero), {16, 25}},
        {"SPOS averaging count", Cap(kSposAveragingCount), {0}},
        {"fixed twelve channels", Cap(kFixedTwelveChannels), {22}},
        {"VERS GPS words", Cap(kVersGpsWords), {15, 22}},
        {"mask angle line", Cap(kMaskAngleLine), {4, 5, 7, 11, 12, 15, 16, 17, 18, 25}},
        {"coast duration", Cap(kCoastDuration), {9, 11, 15, 16, 17, 18}},
        {"track one is using", Cap(kTrackOneIsUsing), {1, 2, 4, 5, 7, 9, 11, 12, 27}},
        {"no frequency estimate", Cap(kNoFrequencyEstimate), {6}},
        {"built-in test section", Cap(kBuiltInTestSection), {9, 11}},
    };
    return sets;
}

// Every code the table has a row for, its neighbours past both ends, and
// the extremes an AtoI of a hostile PRID reply can give.
std::vector<int> CodesToCheck()
{
    std::vector<int> codes = {INT_MIN, -1000, -2, 99, INT_MAX};
    for (int code = PT_UNIDENTIFIED; code <= 28; ++code) codes.push_back(code);
    return codes;
}

TEST(ProductTypes, EveryTraitHoldsForExactlyItsCodes)
{
    for (const CExpectedSet& expected : ExpectedSets())
        for (int code : CodesToCheck())
            EXPECT_EQ(expected.m_has(code), expected.m_codes.count(code) == 1)
                << expected.m_pszTrait << " for code " << code;
}

TEST(ProductTypes, RowsAreFoundByTheirCodeAndOutsidersShareNoTraits)
{
    for (int code = PT_UNIDENTIFIED; code <= PT_27; ++code) EXPECT_EQ(ProductTypeInfo(code).m_nCode, code);
    for (int code : {INT_MIN, -2, 28, INT_MAX}) {
        const CProductType& row = ProductTypeInfo(code);
        EXPECT_EQ(row.m_nCode, CProductType::kOtherCode) << code;
        EXPECT_EQ(row.m_uCapabilities, 0u) << code;
    }
    EXPECT_STREQ(ProductTypeInfo(PT_22).m_pszFixedName, "Sollax II");
}

}  // namespace
}  // namespace velmor
