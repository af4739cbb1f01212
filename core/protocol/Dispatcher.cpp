#include "protocol/Dispatcher.h"

#include "protocol/Handlers.h"

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>

namespace velmor {

namespace {

// Known and deliberately ignored: the unit's free-text messages, debug output
// and error reports.
void OnIgnored(CDispatchContext&) {}

// Sorted by keyword (checked below): every sentence is looked up here, so the
// lookup is a binary search by exact, case-sensitive comparison.
constexpr CKeywordEntry kKeywords[] = {
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

// The keywords with their lengths worked out once, at compile time.
constexpr auto kKeywordViews = [] {
    std::array<std::string_view, std::size(kKeywords)> views{};
    for (std::size_t i = 0; i < views.size(); ++i) views[i] = kKeywords[i].m_pszKeyword;
    return views;
}();
static_assert(std::adjacent_find(kKeywordViews.begin(), kKeywordViews.end(), std::greater_equal<>()) ==
                  kKeywordViews.end(),
              "the keyword table must stay sorted, without duplicates");

}  // namespace

ReplyHandler FindReplyHandler(std::string_view keyword)
{
    const auto found = std::lower_bound(kKeywordViews.begin(), kKeywordViews.end(), keyword);
    if (found == kKeywordViews.end() || *found != keyword) return nullptr;
    return kKeywords[static_cast<std::size_t>(found - kKeywordViews.begin())].m_pHandler;
}

const CKeywordEntry* KeywordTable(std::size_t& count)
{
    count = std::size(kKeywords);
    return kKeywords;
}

CDispatchResult DispatchSentence(IReplyHost& host, CUnitState& state, const std::string& body)
{
    // Both copies live for the whole call: a handler may open a modal box,
    // inside which the poll delivers further sentences.
    const std::string original = body;
    CTokenizer tok(original);
    std::string keyword;
    if (!tok.Keyword(keyword)) return {};
    ReplyHandler handler = FindReplyHandler(keyword);
    if (!handler) return {DispatchOutcome::Unknown, 0};
    CDispatchContext ctx{host, state, tok, original};
    handler(ctx);
    return {DispatchOutcome::Handled, ctx.m_uReported};
}

}  // namespace velmor
