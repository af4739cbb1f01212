#include "model/ProductTypes.h"

#include <array>
#include <cstddef>

namespace velmor {

namespace {

using enum Dialect;
using F = CommandFamily;
using S = SubscriptionSet;
using P = PositionSubscription;
using A = AntennaDelayCommand;
using C = AveragingCountdown;

// Codes 8, 10, 13, 14, 19 to 21, 23 and 24 are products the program knows
// nothing particular of: only the common subscriptions and menu items.
constexpr std::uint64_t kPlain = 0;

// clang-format off
constexpr std::array<CProductType, 29> kRows = {{
    // code  supported  fixed name   dialect  family     subscriptions  position     antenna delay    countdown
    {PT_UNIDENTIFIED, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_0, true, nullptr, Modern, F::Trmo, S::Trmo, P::Spos, A::ByPartNumber, C::None,
     kBeep | kDacvCommand | kEventTiming | kHoursOnlyOffset | kTrmoModeQuery | kPolledDacAndTime |
     kSposAveragingCount | kSposWhileFixed | kSposWhileAveraging},
    {PT_1, true, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None, kTrackOneIsUsing},
    {PT_2, true, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None, kTrackOneIsUsing},
    {PT_3, true, nullptr, Modern, F::Trmo, S::Trmo, P::SposOff, A::ByPartNumber, C::SixHours,
     kDacLocked | kDacvCommand | kEventTiming | kTrmoModeQuery | kPavgAfterAveragingMode |
     kTrmoSubscribeFollowUp | kPavgAveragingCount | kSposWhileFixed | kPavgWhileAveraging},
    {PT_4, true, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None,
     kBeep | kMaskAngleCommand | kPos1OffForAveraging | kMaskAngleLine | kTrackOneIsUsing},
    {PT_5, true, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None,
     kBeep | kMaskAngleCommand | kPos1OffForAveraging | kMaskAngleLine | kTrackOneIsUsing},
    {PT_6, true, nullptr, Modern, F::Trmo, S::Trmo, P::Spos, A::ByPartNumber, C::SixHours,
     kBeep | kHalfHourOffset | kTrmoModeQuery | kPavgAveragingCount | kNoFrequencyEstimate | kSposWhileFixed | kSposWhileAveraging},
    {PT_7, true, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None,
     kBeep | kMaskAngleCommand | kPos1OffForAveraging | kMaskAngleLine | kTrackOneIsUsing},
    {PT_8, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_9, true, nullptr, Legacy, F::Legacy, S::Legacy, P::Legacy, A::Legacy, C::SixHours,
     kBeep | kTodTypeCommand | kHalfHourOffset | kTrmoModeQuery | kPavgAveragingCount | kCoastDuration |
     kTrackOneIsUsing | kBuiltInTestSection},
    {PT_10, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_11, true, nullptr, Modern, F::Trmo, S::Emulation, P::Spos, A::ByPartNumber, C::SixHours,
     kBeep | kDacvCommand | kMaskAngleCommand | kTodTypeCommand | kHalfHourOffset | kUnsignedOffsetMinutes |
     kTrmoModeQuery | kPavgAveragingCount | kMaskAngleLine | kCoastDuration | kTrackOneIsUsing |
     kBuiltInTestSection | kSposWhileFixed | kPavgWhileAveraging},
    {PT_12, true, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None,
     kBeep | kMaskAngleCommand | kPos1OffForAveraging | kMaskAngleLine | kTrackOneIsUsing},
    {PT_13, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_14, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_15, true, nullptr, Modern, F::Trmo, S::Trmo, P::Pavg, A::ByPartNumber, C::ByAveragingHours,
     kDacLocked | kMaskAngleCommand | kRefPulseOutput | kMirelleFamily | kHalfHourOffset | kPulseQueries |
     kPeriodicModelQuery | kPavgAveragingCount | kVersGpsWords | kMaskAngleLine | kCoastDuration},
    {PT_16, true, nullptr, Modern, F::Trmo, S::Trmo, P::Pavg, A::Antd, C::ByAveragingHours,
     kDacLocked | kMaskAngleCommand | kRefPulseOutput | kPresetsInMenu | kMirelleFamily | kHalfHourOffset |
     kPulseQueries | kPeriodicModelQuery | kPavgAveragingCount | kPavgPositionAtZero | kMaskAngleLine |
     kCoastDuration},
    {PT_17, true, nullptr, Modern, F::Trmo, S::Trmo, P::Pavg, A::Antd, C::ByAveragingHours,
     kHalfHourOffset | kPulseQueries | kPeriodicModelQuery | kPavgAveragingCount | kMaskAngleLine |
     kCoastDuration},
    {PT_18, true, nullptr, Modern, F::Trmo, S::Trmo, P::Pavg, A::Antd, C::ByAveragingHours,
     kHalfHourOffset | kPulseQueries | kPeriodicModelQuery | kPavgAveragingCount | kMaskAngleLine |
     kCoastDuration},
    {PT_19, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_20, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_21, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_22, true, "Sollax II", Modern, F::None, S::AntennaDelay, P::SposOff, A::Ant1, C::None,
     kMaskAngleCommand | kMag1MaskAngle | kFixedTwelveChannels | kVersGpsWords},
    {PT_23, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_24, true, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    {PT_25, true, nullptr, Modern, F::Trmo, S::Trmo, P::Pavg, A::ByPartNumber, C::ByAveragingHours,
     kBeep | kMaskAngleCommand | kTrmoModeQuery | kPavgAfterFixedMode | kPavgAveragingCount |
     kPavgPositionAtZero | kMaskAngleLine},
    {PT_26, false, nullptr, Modern, F::None, S::Common, P::SposOff, A::None, C::None, kPlain},
    // Rejected at identification like every code from 26 on, but by then it
    // has been subscribed and is served as one of the TMD1 family.
    {PT_27, false, nullptr, Modern, F::Tmd1, S::Tmd1, P::Pos1, A::Ant1, C::None, kTrackOneIsUsing},
}};
// clang-format on

// A code past the table is an unknown product; one below it has no traits.
constexpr CProductType kUnknownProduct = {CProductType::kOtherCode, false, nullptr, Modern, F::None, S::Common,
                                          P::SposOff, A::None, C::None, kPlain};
constexpr CProductType kNoTraits = {CProductType::kOtherCode, true, nullptr, Modern, F::None, S::Common,
                                    P::SposOff, A::None, C::None, kPlain};

constexpr bool RowsInCodeOrder()
{
    for (std::size_t i = 0; i < kRows.size(); ++i)
        if (kRows[i].m_nCode != static_cast<int>(i) + PT_UNIDENTIFIED) return false;
    return true;
}
static_assert(RowsInCodeOrder(), "one row per code, from PT_UNIDENTIFIED up, in order");

}  // namespace

const CProductType& ProductTypeInfo(int code)
{
    if (code < PT_UNIDENTIFIED) return kNoTraits;
    // Widened so that no int code can overflow the index arithmetic.
    const long long index = static_cast<long long>(code) - PT_UNIDENTIFIED;
    if (index >= static_cast<long long>(kRows.size())) return kUnknownProduct;
    return kRows[static_cast<std::size_t>(index)];
}

bool IsSatelliteInUse(char trackMode, int code)
{
    switch (trackMode) {
    case '1': return HasCapability(code, kTrackOneIsUsing);
    case '2': return !SpeaksLegacyDialect(code);
    default: return false;
    }
}

}  // namespace velmor
