#pragma once
// The replay script: one directive a line, parsed and checked as a whole
// before anything runs, so a typo near the end stops the tool before it has
// printed half a transcript.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::replay {

enum class Directive {
    Ini, OpenFail, Start, Rx, Rxs, Wait, Paint, Answer, Page, State, Settings, Menu,
    DlgSet, DlgClick, DlgKey, DlgClose, DlgShow, Observe
};

struct CScriptLine {
    int m_nLine = 0;            // 1-based line number in the script file
    Directive m_directive = Directive::Start;
    std::string m_strArg;       // rx/rxs: the bytes, unescaped; others: the argument text
    std::string m_strValue;     // dlg set: the text after '='
    std::uint64_t m_qwNumber = 0;  // wait: milliseconds
};

// A script that cannot run on: a malformed line, an unknown name, or an
// action the session cannot perform. Stops the tool with exit status 2.
class CScriptError : public std::runtime_error {
public:
    CScriptError(int line, const std::string& message) : std::runtime_error(message), m_nLine(line) {}
    int m_nLine;
};

// Parses the whole script. Throws CScriptError naming the first bad line.
std::vector<CScriptLine> ParseScript(std::string_view text);


// "$" body "*", the two upper-case hex digits of the XOR of the body bytes, CR LF.
std::string FrameReply(std::string_view body);

}  // namespace velmor::replay
