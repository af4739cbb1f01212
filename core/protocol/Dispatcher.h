#pragma once
// Every sentence body the unit sends ends up here: the keyword is recognised
// by exact, case-sensitive comparison with one table, and the handler of its
// family takes the fields it needs. Unknown keywords and malformed sentences
// are ignored without a word; a handler that misses a field stops and keeps
// what it stored so far.

#include <string>
#include <string_view>

#include "protocol/Tokenizer.h"
#include "protocol/UnitState.h"

namespace velmor {

class CProgram;

struct CDispatchContext {
    CProgram& program;
    CUnitState& state;
    CTokenizer& tok;
    const std::string& body;  // the whole body, untouched (error boxes quote it)

    bool Field(std::string& out) { return tok.Field(out); }
    bool Rest(std::string& out) { return tok.Rest(out); }
    void Send(std::string_view command);
    // m_bPageDirty and an invalidation of the view without erasing.
    void RequestRedraw();
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

void DispatchSentence(CProgram& program, const std::string& body);

}  // namespace velmor
