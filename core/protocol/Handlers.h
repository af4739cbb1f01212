#pragma once
// The reply handlers, one family per source file. Each handler opens with a
// sample sentence and its numbered fields.

#include "protocol/Dispatcher.h"

namespace velmor {

// Identification.cpp
void OnPRID(CDispatchContext& ctx);
void OnMTYP(CDispatchContext& ctx);
// Every subscription the page needs, for the type the unit reported.
void SubscribeAll(const CUnitState& state, ICommandSender& sender);
// The About box name for a part number ("Mirelle III", "Dravin"...), or
// empty when none applies.
std::string ProductNameFor(int productType, const std::string& partNumber);

// TimeReports.cpp
void OnTIME(CDispatchContext& ctx);
void OnTM(CDispatchContext& ctx);
void OnTIMM(CDispatchContext& ctx);
void OnTMD1(CDispatchContext& ctx);
void OnLO(CDispatchContext& ctx);
void OnLEAP(CDispatchContext& ctx);
void OnTIMD(CDispatchContext& ctx);
void OnMD(CDispatchContext& ctx);
void OnTIMR(CDispatchContext& ctx);
void OnTIMI(CDispatchContext& ctx);
void OnNTLC(CDispatchContext& ctx);
void OnOUTQ(CDispatchContext& ctx);
void OnSSTA(CDispatchContext& ctx);
void OnBT(CDispatchContext& ctx);
// Month and day of a day of year; leap years are those divisible by 4. A day
// of 0 or less leaves month and day unchanged.
void DayOfYearToDate(int dayOfYear, int year, int& month, int& day);

// PositionReports.cpp
void OnPMD1(CDispatchContext& ctx);
void OnTRMO(CDispatchContext& ctx);
void OnTR(CDispatchContext& ctx);
void OnPOS1(CDispatchContext& ctx);
void OnSPOS(CDispatchContext& ctx);
void OnPAVG(CDispatchContext& ctx);
void OnLL(CDispatchContext& ctx);
void OnEL(CDispatchContext& ctx);
void OnPVT1(CDispatchContext& ctx);
void OnSIGQ(CDispatchContext& ctx);
void OnVS(CDispatchContext& ctx);
void OnMANG(CDispatchContext& ctx);

// DiscipliningReports.cpp
void OnDACV(CDispatchContext& ctx);
void OnDACP(CDispatchContext& ctx);
void OnOC(CDispatchContext& ctx);
void OnEFER(CDispatchContext& ctx);
void OnEF(CDispatchContext& ctx);
void OnESSD(CDispatchContext& ctx);
void OnSD(CDispatchContext& ctx);
void OnESSN(CDispatchContext& ctx);
void OnES(CDispatchContext& ctx);
void OnESTC(CDispatchContext& ctx);
void OnTEMP(CDispatchContext& ctx);

// ConfigEchoes.cpp
void OnPULE(CDispatchContext& ctx);
void OnPULR(CDispatchContext& ctx);
void OnPULP(CDispatchContext& ctx);
void OnOFST(CDispatchContext& ctx);
void OnPULW(CDispatchContext& ctx);
void OnANTD(CDispatchContext& ctx);
void OnANT1(CDispatchContext& ctx);
void OnID(CDispatchContext& ctx);
void OnBEEP(CDispatchContext& ctx);
void OnTODS(CDispatchContext& ctx);
void OnGPSE(CDispatchContext& ctx);
void OnVERS(CDispatchContext& ctx);
void OnEVTG(CDispatchContext& ctx);
void OnROUT(CDispatchContext& ctx);
void OnTAGC(CDispatchContext& ctx);
void OnTAGM(CDispatchContext& ctx);
void OnTAGT(CDispatchContext& ctx);
void OnTAGL(CDispatchContext& ctx);

}  // namespace velmor
