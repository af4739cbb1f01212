#include "protocol/UnitState.h"

#include "protocol/Numbers.h"

namespace velmor {

int PackCoordinate(const std::string& degrees, const std::string& minutes)
{
    const double product = AtoF(minutes) * 10000.0;
    return static_cast<int>(AtoI(degrees) * 1000000LL + TruncToLong(product));
}

int PackCoordinateAveraged(const std::string& degrees, const std::string& minutes)
{
    const double product = AtoF(minutes) * 100000.0;
    return static_cast<int>(AtoI(degrees) * 1000000LL + TruncToLong(product) / 10);
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
