#pragma once
// Everything the program knows about the connected unit. The dispatcher
// writes it, the status page and the setup dialogs read it. Most fields hold
// the text the unit sent; numbers sit beside them only where the program
// computes with them.

#include <string>

#include "protocol/FixedText.h"
#include "model/ProductTypes.h"

namespace velmor {

struct CGeoPosition {
    std::string m_strLatDegrees = " 33";
    std::string m_strLatMinutes = "11.1111";
    char m_chLatHemisphere = 'N';
    std::string m_strLonDegrees = "117";
    std::string m_strLonMinutes = "22.2222";
    char m_chLonHemisphere = 'W';
    std::string m_strHeight = "00.00";
};

struct CSatelliteRow {
    std::string m_strPrn;  // "00" marks an empty row
    int m_nStrength = 0;
    char m_chTrackMode = '0';
};

// degrees x 1000000 + truncate(minutes x 10000), computed in double precision.
int PackCoordinate(const std::string& degrees, const std::string& minutes);
// The averaging report's variant: truncate(minutes x 100000) / 10.
int PackCoordinateAveraged(const std::string& degrees, const std::string& minutes);

struct CUnitState {
    CUnitState();

    // Identification
    int m_nProductType = PT_UNIDENTIFIED;
    int m_nReportedProductType = 0;
    std::string m_strPartNumber;
    bool m_bIdentified = false;
    int m_nModelVariant = 1;
    char m_chGpsEngineType = '0';
    char m_chGpsChannels = '5';
    std::string m_strVersion = "X???????";
    std::string m_strGpsVersion = "V???????";
    std::string m_strFirmwarePartNumber = "P???????";

    // Time and status
    std::string m_strTimeOfDay = "017:08:15:00";
    int m_nYear = 1977;
    int m_nMonth = 1;
    int m_nDay = 17;
    char m_chTimeMode = '?';
    char m_chTfom = '9';
    char m_chDisciplineState = '0';
    std::string m_strLocalOffsetHours = "+00";
    std::string m_strLocalOffsetMinutes = "00";
    std::string m_strLeapNow = "00";
    std::string m_strLeapFuture = "00";
    int m_nCoastDuration = 0;
    int m_nCoastCount = 0;
    CFixedText<4> m_szPulseStatus{"D"};
    char m_chSelfTestStatus = 0;
    std::string m_strBuiltInTest = "0000000";
    bool m_bPageDirty = true;

    // 1PPS measurement
    int m_anTimeDiff[6] = {0, 1, 2, 3, 4, 5};
    int m_nTimeDiffCount = 6;
    int m_nLastTimeDiff = 123;
    double m_dRawTimeDiff = 0;

    // Oscillator disciplining
    std::string m_strDacValue = "327??";
    std::string m_strFreqErrorEstimate = "1.00E-999";
    std::string m_strStdErrorEstimate = "1.00E-999";
    std::string m_strSamplesInCycle = "000000";
    std::string m_strCyclesCompleted = "000000";
    std::string m_strTemperature = "000.0";

    // Position, velocity and satellites
    char m_chPositionMode = '?';
    CGeoPosition m_position;
    int m_nLatitudePacked = 0;
    int m_nLongitudePacked = 0;
    float m_fHeight = 0;
    int m_nAveragingCount = 0;
    int m_nAveragingHours = 24;
    double m_dVelocityEast = 0;
    double m_dVelocityNorth = 0;
    double m_dVelocityUp = 0;
    CSatelliteRow m_aSatellites[8];
    int m_nMaskAngle = -1;

    // Configuration echoes
    std::string m_strAntennaDelay = "000000";
    bool m_bBeepEnabled = false;
    int m_nTodRate = 1;
    bool m_bPulseAfterWarmup = false;
    bool m_bPulseEverySecond = false;
    bool m_bPulsePositive = false;
    CFixedText<12> m_szPulseOffset;
    CFixedText<12> m_szPulseWidth;
    int m_nPulseWidth = 0;
    char m_chTimeTagMode = 0;
    std::string m_strEventStart;
    std::string m_strEventPeriod;
    std::string m_strEventWidth;
    char m_chEventInvert = 0;

    // Program-side bookkeeping
    char m_chSubscribedPositionMode = '?';

    // Recomputes both packed coordinates from the position texts.
    void RepackPosition();
};

}  // namespace velmor
