#include "protocol/UnitState.h"

#include <climits>

#include "text/Numbers.h"

namespace velmor {

namespace {
// Nonsense texts must not overflow: both terms are bounded before they are
// added, and the sum is held in the int range.
int Pack(const std::string& degrees, long long minutesTerm)
{
    const long long sum = AtoI(degrees) * 1000000LL + minutesTerm;
    if (sum > INT_MAX) return INT_MAX;
    if (sum < INT_MIN) return INT_MIN;
    return static_cast<int>(sum);
}
}  // namespace

int PackCoordinate(const std::string& degrees, const std::string& minutes)
{
    return Pack(degrees, TruncToInt(AtoF(minutes) * 10000.0));
}

int PackCoordinateAveraged(const std::string& degrees, const std::string& minutes)
{
    return Pack(degrees, TruncToInt(AtoF(minutes) * 100000.0) / 10);
}

CUnitState::CUnitState()
{
    for (int i = 0; i < 8; ++i) {
        m_aSatellites[i].m_strPrn = std::to_string(i);
        m_aSatellites[i].m_nStrength = 10 + i;
        m_aSatellites[i].m_chTrackMode = '0';
    }
    RepackPosition();
}

void CUnitState::RepackPosition()
{
    m_nLatitudePacked = PackCoordinate(m_position.m_strLatDegrees, m_position.m_strLatMinutes);
    m_nLongitudePacked = PackCoordinate(m_position.m_strLonDegrees, m_position.m_strLonMinutes);
}

}  // namespace velmor
