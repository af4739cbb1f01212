#include "protocol/Dispatcher.h"

#include "app/Program.h"
#include "protocol/Handlers.h"

namespace velmor {

namespace {

// Known and deliberately ignored: the unit's free-text messages, debug output
// and error reports.
void OnIgnored(CDispatchContext&) {}

// Sorted by keyword; looked up by exact, case-sensitive comparison.
const CKeywordEntry kKeywords[] = {
    {"ANT1", OnANT1}, {"ANTD", OnANTD}, {"BEEP", OnBEEP}, {"BT", OnBT},
    {"DACP", OnDACP}, {"DACV", OnDACV}, {"DBUG", OnIgnored}, {"EF", OnEF},
    {"EFER", OnEFER}, {"EL", OnEL}, {"ERRX", OnIgnored}, {"ES", OnES},
    {"ESSD", OnESSD}, {"ESSN", OnESSN}, {"ESTC", OnESTC}, {"EVTG", OnEVTG},
    {"GPSE", OnGPSE}, {"ID", OnID}, {"LEAP", OnLEAP}, {"LL", OnLL},
    {"LO", OnLO}, {"MANG", OnMANG}, {"MD", OnMD}, {"MESG", OnIgnored},
    {"MTYP", OnMTYP}, {"NTLC", OnNTLC}, {"OC", OnOC}, {"OFST", OnOFST},
    {"OUTQ", OnOUTQ}, {"PAVG", OnPAVG}, {"PMD1", OnPMD1}, {"POS1", OnPOS1},
    {"PRID", OnPRID}, {"PULE", OnPULE}, {"PULP", OnPULP}, {"PULR", OnPULR},
    {"PULW", OnPULW}, {"PVT1", OnPVT1}, {"ROUT", OnROUT}, {"SD", OnSD},
    {"SIGQ", OnSIGQ}, {"SPOS", OnSPOS}, {"SSTA", OnSSTA}, {"TAGC", OnTAGC},
    {"TAGL", OnTAGL}, {"TAGM", OnTAGM}, {"TAGT", OnTAGT}, {"TEMP", OnTEMP},
    {"TIMD", OnTIMD}, {"TIME", OnTIME}, {"TIMI", OnTIMI}, {"TIMM", OnTIMM},
    {"TIMR", OnTIMR}, {"TM", OnTM}, {"TMD1", OnTMD1}, {"TODS", OnTODS},
    {"TR", OnTR}, {"TRMO", OnTRMO}, {"VERS", OnVERS}, {"VS", OnVS},
};

}  // namespace

void CDispatchContext::Send(std::string_view command) { program.SendCommand(command); }

void CDispatchContext::RequestRedraw() { program.RequestRedraw(); }

ReplyHandler FindReplyHandler(std::string_view keyword)
{
    for (const auto& entry : kKeywords)
        if (keyword == entry.m_pszKeyword) return entry.m_pHandler;
    return nullptr;
}

const CKeywordEntry* KeywordTable(std::size_t& count)
{
    count = sizeof kKeywords / sizeof kKeywords[0];
    return kKeywords;
}

void DispatchSentence(CProgram& program, const std::string& body)
{
    // Both copies live for the whole call: a handler may open a modal box,
    // inside which the poll delivers further sentences.
    const std::string original = body;
    CTokenizer tok(original);
    std::string keyword;
    if (!tok.Keyword(keyword)) return;
    ReplyHandler handler = FindReplyHandler(keyword);
    if (!handler) return;
    CDispatchContext ctx{program, program.m_state, tok, original};
    handler(ctx);
}

}  // namespace velmor
