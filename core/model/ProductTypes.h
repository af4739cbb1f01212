#pragma once
// What the program knows about each product type code the PRID reply can
// give: the dialect and command family the unit speaks, the reports it is
// subscribed to, and which setup commands, reply forms and page lines apply
// to it. One row per code in ProductTypes.cpp; every decision that depends on
// the product type asks this table, so a new product is one row there.

#include <cstdint>

namespace velmor {

// Product type codes as the PRID reply gives them.
enum : int {
    PT_UNIDENTIFIED = -1,
    PT_0 = 0, PT_1, PT_2, PT_3, PT_4, PT_5, PT_6, PT_7, PT_8, PT_9, PT_10, PT_11, PT_12,
    PT_13, PT_14, PT_15, PT_16, PT_17, PT_18, PT_19, PT_20, PT_21, PT_22, PT_23, PT_24,
    PT_25, PT_26, PT_27
};

// A type-0 unit with this part number emulates type 11: the menus and most
// decisions follow type 11 while the reported type stays 0.
constexpr int kEmulatingType = PT_0;
constexpr int kEmulatedType = PT_11;
constexpr const char* kEmulationPartNumber = "OrbalPlusEmu";

// Four-letter keywords with comma fields, or the older two-letter keywords
// whose sentences end in a carriage return alone.
enum class Dialect { Modern, Legacy };

// The command set the Mode dialog and the antenna position use.
enum class CommandFamily {
    None,    // no mode or position command
    Trmo,    // TIMM time scale, TRMO position mode, SPOS antenna position
    Tmd1,    // TMD1 time scale, PMD1 position mode, POS1 antenna position
    Legacy,  // short TIMM forms, ETRD/ETRK/ETRS, LL/EL antenna position
};

// The model-specific reports SubscribeAll asks for beyond the common ones.
enum class SubscriptionSet {
    Common,        // nothing more
    Trmo,          // ANTD, TRMO, DACV, TAGM, EVTG, VERS
    Tmd1,          // SIGP, EFER, ANT1, PMD1, DACP
    Legacy,        // EID and the two-letter reports
    Emulation,     // ANTD, BT, PMD1, DACP
    AntennaDelay,  // ANTD only
};

// The running position reports SubscribeAll arranges once the position mode
// is known.
enum class PositionSubscription {
    SposOff,  // SPOS switched off, nothing else
    Spos,     // SPOS on in every mode
    Pos1,     // POS1 off while averaging, on otherwise
    Legacy,   // EL and LL off while averaging (survey), on otherwise
    Pavg,     // PAVG on, SPOS off
};

// The command that sets the antenna cable delay.
enum class AntennaDelayCommand {
    None,          // none: the operator is told the type is unknown
    ByPartNumber,  // ANT1 for the part numbers that take it, else ANTD
    Ant1,
    Antd,
    Legacy,        // EID
};

// How long position averaging lasts, for the countdown on the page.
enum class AveragingCountdown {
    None,              // no countdown
    SixHours,          // a fixed 21600 seconds
    ByAveragingHours,  // the hours the unit's VERS and MTYP replies gave
};

// Traits of a product type that are plain yes/no. Each says what holds for
// the units that have it.
enum Capability : std::uint64_t {
    // Setup commands and menu items.
    kBeep = 1ull << 0,                 // has a beeper the operator can switch (Setup > Beep)
    kDacLocked = 1ull << 1,            // steers its oscillator itself: Setup > Dac Value does not apply
    kDacvCommand = 1ull << 2,          // takes the DAC value as DACV (the others as DACP)
    kEventTiming = 1ull << 3,          // has event trigger, rate output and time tags, polled while set up
    kMaskAngleCommand = 1ull << 4,     // takes a satellite mask angle (Setup > Mask Angle)
    kMag1MaskAngle = 1ull << 5,        // takes the mask angle as MAG1 whatever its part number
    kRefPulseOutput = 1ull << 6,       // has the configurable reference pulse output (Setup > Ref Pulse)
    kTodTypeCommand = 1ull << 7,       // sets its time-of-day output rate (Setup > TOD Type)
    kPresetsInMenu = 1ull << 8,        // the menu offers the factory presets in place of Quick Start
    kMirelleFamily = 1ull << 9,        // factory presets, no warm-up bypass, mask angle held to 5..90,
                                       // no manual time or dynamic mode
    // The Mode dialog.
    kHalfHourOffset = 1ull << 10,      // takes a local offset with 0 or 30 minutes
    kHoursOnlyOffset = 1ull << 11,     // takes the local offset as whole hours only (TIMM,3,%02d)
    kUnsignedOffsetMinutes = 1ull << 12,  // offset minutes go without the sign of negative hours
    kTrmoModeQuery = 1ull << 13,       // its position mode is re-read with TRMO after a cancelled dialog
    kPavgAfterFixedMode = 1ull << 14,  // set to dynamic or known, it still reports position by PAVG only
    kPavgAfterAveragingMode = 1ull << 15,  // set to averaging, it reports position by PAVG only
    kPos1OffForAveraging = 1ull << 16,     // set to averaging, it stops POS1 (its family stops SPOS)
    // Identification and the reports the unit sends.
    kTrmoSubscribeFollowUp = 1ull << 17,  // identification ends with UNSL,TRMO,1 instead of the TRMO query
    kPulseQueries = 1ull << 18,        // answers the lower-case pulse output queries
    kPeriodicModelQuery = 1ull << 19,  // is asked for MTYP by its TIME reports (at seconds 0 and 59)
    kPolledDacAndTime = 1ull << 20,    // reports DACV and TIMM only when asked: polled every 2 s
    kPavgAveragingCount = 1ull << 21,  // PAVG carries the averaging seconds as an 8th field
    kPavgPositionAtZero = 1ull << 22,  // a PAVG with count 0 still carries the position
    kSposAveragingCount = 1ull << 23,  // SPOS carries the averaged position and its seconds in every mode
    kFixedTwelveChannels = 1ull << 24,  // has a 12-channel engine whatever its GPSE reply says
    kVersGpsWords = 1ull << 25,        // VERS gives the GPS version as words after the part number
    // The status page.
    kMaskAngleLine = 1ull << 26,       // the page shows the mask angle beside the coast duration
    kCoastDuration = 1ull << 27,       // reports how long it has been coasting (days, hours, minutes)
    kTrackOneIsUsing = 1ull << 28,     // tracking state '1' means used in the solution, not acquiring
    kNoFrequencyEstimate = 1ull << 29,  // gives no frequency error estimate worth showing
    kBuiltInTestSection = 1ull << 30,  // reports built-in test results: the page's Test Status section
    // The position subscriptions that follow the mode the page shows.
    kSposWhileFixed = 1ull << 31,      // in dynamic or known mode its position comes by SPOS
    kSposWhileAveraging = 1ull << 32,  // while averaging it keeps SPOS and leaves PAVG off
    kPavgWhileAveraging = 1ull << 33,  // while averaging its position comes by PAVG, SPOS off
};

// Whether a channel row's tracking state means the satellite is used in the
// solution ('1' on some types, '2' on all but the legacy dialect).
bool IsSatelliteInUse(char trackMode, int code);

struct CProductType {
    int m_nCode;                 // PRID code; rows for codes outside the table say kOtherCode
    bool m_bSupported;           // false: identification rejects it as an unknown product
    const char* m_pszFixedName;  // About box name whatever the part number; null when chosen by part number
    Dialect m_eDialect;
    CommandFamily m_eFamily;
    SubscriptionSet m_eSubscriptions;
    PositionSubscription m_ePositionReports;
    AntennaDelayCommand m_eAntennaDelay;
    AveragingCountdown m_eCountdown;
    std::uint64_t m_uCapabilities;  // Capability bits

    bool Has(Capability c) const { return (m_uCapabilities & c) != 0; }

    static constexpr int kOtherCode = -2;
};

// The row for |code|; every int has one (codes 26 and above are unknown
// products, codes below -1 have no traits).
const CProductType& ProductTypeInfo(int code);

inline bool HasCapability(int code, Capability c) { return ProductTypeInfo(code).Has(c); }
inline CommandFamily CommandFamilyOf(int code) { return ProductTypeInfo(code).m_eFamily; }
inline bool SpeaksLegacyDialect(int code) { return ProductTypeInfo(code).m_eDialect == Dialect::Legacy; }
inline bool IsSupportedProduct(int code) { return ProductTypeInfo(code).m_bSupported; }
inline bool IsMirelleFamily(int code) { return HasCapability(code, kMirelleFamily); }

}  // namespace velmor
