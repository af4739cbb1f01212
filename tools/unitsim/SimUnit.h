#pragma once
// The simulated reference unit, without any I/O.
//
// The unit is driven by two calls: HandleCommand with one command body as it
// came off the line, and Tick once per second of the unit's own clock. Both
// append reply bodies (without framing) to a list; the caller frames and
// sends them. Because the clock is only what Tick is told, the unit can run
// faster than real time.

#include "SimOscillator.h"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "model/ProductTypes.h"

namespace velmor {

struct CSimConfig {
    int m_nType = 16;
    std::string m_strPart;           // empty: the default of the type
    std::string m_strVersion = "3.02.01";
    std::string m_strGpsVersion = "4.11";
    std::string m_strFirmwarePart;   // empty: derived from the part number
    char m_chStartState = '0';       // discipline state at power-up
    char m_chPositionMode = 'P';
    int m_nWarmupSeconds = 20;
    int m_nCoastAfterSeconds = -1;   // < 0: never lose GPS by itself
    std::uint32_t m_nSeed = 1;
    // Within each second, the time report before the other reports (as the
    // unit does) or after them.
    bool m_bReadingsFirst = false;
    int m_nTodRate = 1;              // TODS at power-up: 1 every second, 2 every even second
    CSimNoiseConfig m_noise;         // the clock's noise and its loop
};

// The part number a type reports when none is given.
std::string DefaultPartNumber(int type);

class CSimUnit {
public:
    CSimUnit(const CSimConfig& config, std::int64_t nUtcSeconds);

    void HandleCommand(const std::string& body, std::vector<std::string>& replies);
    // One second of the unit's clock has passed; the clock now reads
    // |nUtcSeconds| (UTC, seconds since 1970).
    void Tick(std::int64_t nUtcSeconds, std::vector<std::string>& reports);

    void SetGpsLost(bool bLost) { m_bGpsLost = bLost; }
    bool GpsLost() const { return m_bGpsLost; }
    // The two-letter dialect, with unchecked sentences ended by CR alone.
    bool Legacy() const { return SpeaksLegacyDialect(m_nType); }
    // After a factory reset the unit restarts and says nothing for a while.
    bool Restarting() const { return m_nRestartLeft > 0; }
    // Power is switched off and on: the unit keeps its stored settings but
    // forgets its subscriptions, says nothing for a couple of its seconds,
    // then warms up again.
    void PowerCycle();
    char DisciplineState() const { return m_chState; }
    // The true time difference of the unit's 1PPS against GPS, in ns (what a
    // counter against a perfect reference measures).
    double TruePhaseNs() const { return m_oscillator.PhaseNs(); }
    int Type() const { return m_nType; }

    // The report of |keyword| as the unit would send it; false when the unit
    // has no such report. Some keywords report several sentences.
    bool BuildReport(const std::string& keyword, std::vector<std::string>& out);

private:
    struct CChannel {
        int m_nPrn = 0;          // 0: empty channel
        double m_dStrength = 0;  // dB-Hz
        double m_dTarget = 0;
        int m_nAge = 0;
        int m_nLife = 0;
        char m_chTrack = '0';
    };
    struct CTag {
        int m_nNumber = 0;
        std::int64_t m_nUtc = 0;
        long m_nFraction = 0;
    };
    struct CSubscription {
        std::string m_strKeyword;
        int m_nPhase = 0;
    };
    struct CCommandEntry {
        const char* m_pszKeyword;
        void (CSimUnit::*m_pHandler)(const std::vector<std::string>&, std::vector<std::string>&);
    };

    void ResetSettings();
    bool IsTmd1Family() const;

    // Evolution, one second at a time.
    void StepDiscipline();
    void StepSatellites();
    void StepOscillator();
    void StepPosition();
    void StepTimeTags(std::vector<std::string>& reports);

    // Report pieces.
    std::string TimeFields(std::int64_t& nShown) const;
    std::string PositionFields(double lat, double lon, double height) const;
    std::string LegacyLatLon(double lat, double lon) const;
    std::string LegacyHeight(double height) const;
    std::string ReportTime() const;
    std::string ReportTm() const;
    std::string ReportSatellites(const char* keyword) const;
    std::string TagLine(const char* keyword, const CTag& tag) const;
    char Tfom() const;
    int ReportPeriod(const std::string& keyword) const;

    // Command handlers; |f| holds the body split at commas, f[0] the keyword.
    void OnUnsl(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnTimm(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnTmd1(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnPositionMode(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnLegacyPositionMode(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnManualTime(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnColdStart(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnAntennaDelay(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnPosition(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnLegacyLatLon(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnLegacyHeight(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnLegacyEcho(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnPulse(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnRateOutput(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnEventTrigger(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnTagMode(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnTagClear(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnDac(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnMaskAngle(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnBeep(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnTods(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnWarm(const std::vector<std::string>& f, std::vector<std::string>& r);
    void OnFactoryReset(const std::vector<std::string>& f, std::vector<std::string>& r);

    static const CCommandEntry kCommands[];

    CSimConfig m_config;
    int m_nType;
    std::string m_strPart;
    std::mt19937 m_random;

    // Clock and discipline.
    std::int64_t m_nUtc;
    std::int64_t m_nManualOffset = 0;  // manual time minus UTC
    std::int64_t m_nUptime = 0;
    char m_chState = '0';
    int m_nWarmupLeft = 0;
    int m_nRecoverLeft = 0;
    int m_nColdStartLeft = 0;
    int m_nRestartLeft = 0;
    bool m_bGpsLost = false;
    int m_nCoastSeconds = 0;
    int m_nCoastCount = 0;
    int m_nSamples = 0;
    int m_nCycles = 0;
    CSimOscillator m_oscillator;
    double m_dFreqError = 5e-9;  // the unit's estimate; unknown until the first cycle ends
    double m_dStdError = 2e-9;
    int m_nTimeDiff = 0;
    double m_dRawTimeDiff = 0;

    // Settings.
    char m_chTimeMode = '2';
    int m_nOffsetHours = 0;
    int m_nOffsetMinutes = 0;
    char m_chPositionMode = 'P';
    int m_nAveragingLeft = 0;
    double m_dLat = 0, m_dLon = 0, m_dHeight = 0;           // surveyed position
    double m_dFixLat = 0, m_dFixLon = 0, m_dFixHeight = 0;  // latest fix
    double m_dSumLat = 0, m_dSumLon = 0, m_dSumHeight = 0;
    int m_nSumCount = 0;
    int m_nAntennaDelay = 0;
    int m_nMaskAngle = 10;
    int m_nBeep = 1;
    int m_nTods = 1;
    std::string m_strPule = "1", m_strPulr = "1", m_strPulp = "+", m_strOfst = "0", m_strPulw = "-1";
    std::array<std::vector<std::string>, 2> m_aRateOutputs;
    std::vector<std::string> m_eventTrigger;
    char m_chTagMode = 'B';
    std::vector<CTag> m_tags;
    int m_nNextTag = 1;

    std::array<CChannel, 8> m_aChannels{};
    std::vector<CSubscription> m_subscriptions;
};

}  // namespace velmor
