#pragma once
// Every sentence body the unit sends ends up here: the keyword is recognised
// by exact, case-sensitive comparison with one table, and the handler of its
// family takes the fields it needs. Unknown keywords and malformed sentences
// are ignored without a word; a handler that misses a field stops and keeps
// what it stored so far.

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/ReplyHost.h"
#include "protocol/Reported.h"
#include "protocol/Tokenizer.h"
#include "protocol/UnitState.h"

namespace velmor {

struct CDispatchContext {
    IReplyHost& host;
    CUnitState& state;
    CTokenizer& tok;
    const std::string& body;  // the whole body, untouched (error boxes quote it)
    // What the handler stored from the sentence (Reported bits).
    std::uint32_t m_uReported = 0;

    bool Field(std::string& out) { return tok.Field(out); }
    bool Rest(std::string& out) { return tok.Rest(out); }
    void Send(std::string_view command) { host.SendCommand(command); }
    // m_bPageDirty and an invalidation of the view without erasing.
    void RequestRedraw() { host.RequestRedraw(); }
    // Marks a quantity as carried by this sentence.
    void Report(Reported what) { m_uReported |= static_cast<std::uint32_t>(what); }
};

using ReplyHandler = void (*)(CDispatchContext&);

struct CKeywordEntry {
    const char* m_pszKeyword;
    ReplyHandler m_pHandler;
};

// The handler of |keyword|, or null when the keyword is not known.
ReplyHandler FindReplyHandler(std::string_view keyword);
// The whole table (for tests that exercise every keyword).
const CKeywordEntry* KeywordTable(std::size_t& count);

enum class DispatchOutcome : std::uint8_t {
    Empty,    // no keyword at all
    Unknown,  // a keyword that is not in the table
    Handled,  // the keyword's handler ran
};

struct CDispatchResult {
    DispatchOutcome m_outcome = DispatchOutcome::Empty;
    std::uint32_t m_uReported = 0;  // Reported bits the handler stored
};

CDispatchResult DispatchSentence(IReplyHost& host, CUnitState& state, const std::string& body);

}  // namespace velmor
