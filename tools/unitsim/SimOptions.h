#pragma once
// Command-line options of velmor-unitsim.

#include "SimCounter.h"
#include "SimUnit.h"

#include <string>
#include <vector>

namespace velmor {

struct CSimOptions {
    CSimConfig m_unit;
    std::string m_strLink;
    double m_dSpeed = 1.0;
    double m_dBadChecksumPercent = 0;
    double m_dNoisePercent = 0;
    double m_dSilenceEvery = 0;
    double m_dSilenceFor = 0;
    int m_nBaud = 0;  // 0: answer at any line rate
    bool m_bQuiet = false;
    std::string m_strLog;
    std::string m_strPlay;  // a captured session to play instead of the model
    bool m_bHelp = false;
    // A counter beside the unit on a second terminal (none when empty).
    std::string m_strCounter;
    CSimCounterConfig m_counter;
    std::string m_strTruth;  // the true phase, one line a second
};

// Fills |options| from the arguments after the program name; false with a
// message in |error| for an unknown option or a bad value.
bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions& options, std::string& error);

const char* SimUsage();

}  // namespace velmor
