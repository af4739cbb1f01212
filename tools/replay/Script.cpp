#include "Script.h"

#include "StatePrinter.h"
#include "text/Text.h"

namespace velmor::replay {

namespace {


// Milliseconds as plain decimal digits; more than 12 digits (over 30 years)
// is a typo rather than a session.
bool ParseMilliseconds(std::string_view text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 12) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

struct CParser {
    std::vector<CScriptLine> m_lines;
    bool m_bStarted = false;
    int m_nLine = 0;

    [[noreturn]] void Fail(const std::string& message) const { throw CScriptError(m_nLine, message); }

    void RequireArg(std::string_view arg, const char* word) const
    {
        if (arg.empty()) Fail(std::string("'") + word + "' needs an argument");
    }
    void RequireNoArg(std::string_view arg, const char* word) const
    {
        if (!arg.empty()) Fail(std::string("'") + word + "' takes no argument");
    }

    void Add(Directive directive, std::string arg = {}, std::string value = {}, std::uint64_t number = 0)
    {
        CScriptLine line;
        line.m_nLine = m_nLine;
        line.m_directive = directive;
        line.m_strArg = std::move(arg);
        line.m_strValue = std::move(value);
        line.m_qwNumber = number;
        m_lines.push_back(std::move(line));
    }

    void ParseDlg(std::string_view rest)
    {
        rest = Trim(rest);
        std::size_t space = rest.find_first_of(" \t");
        std::string_view verb = rest.substr(0, space);
        std::string_view arg = space == std::string_view::npos ? std::string_view{} : Trim(rest.substr(space));
        if (verb == "set") {
            std::size_t eq = arg.find('=');
            if (eq == std::string_view::npos) Fail("'dlg set' needs LABEL=VALUE");
            std::string_view label = Trim(arg.substr(0, eq));
            if (label.empty()) Fail("'dlg set' needs a label before '='");
            Add(Directive::DlgSet, std::string(label), std::string(arg.substr(eq + 1)));
        } else if (verb == "click") {
            RequireArg(arg, "dlg click");
            Add(Directive::DlgClick, std::string(arg));
        } else if (verb == "key") {
            if (arg != "Enter" && arg != "Escape") Fail("'dlg key' takes Enter or Escape");
            Add(Directive::DlgKey, std::string(arg));
        } else if (verb == "close") {
            RequireNoArg(arg, "dlg close");
            Add(Directive::DlgClose);
        } else if (verb == "show") {
            RequireNoArg(arg, "dlg show");
            Add(Directive::DlgShow);
        } else {
            Fail("unknown dlg action '" + std::string(verb) + "' (set, click, key, close, show)");
        }
    }

    void ParseLine(std::string_view raw)
    {
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string_view line = raw;
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        if (Trim(line).empty() || line.front() == '#') return;

        std::size_t space = line.find_first_of(" \t");
        std::string_view word = line.substr(0, space);
        // Data directives keep their argument verbatim, trailing blanks included.
        std::string_view verbatim = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
        std::string_view arg = Trim(verbatim);

        if (word == "ini" || word == "openfail") {
            if (m_bStarted) Fail("'" + std::string(word) + "' must come before start-up");
            if (word == "ini") {
                Add(Directive::Ini, std::string(verbatim));
            } else {
                RequireNoArg(arg, "openfail");
                Add(Directive::OpenFail);
            }
            return;
        }
        if (word == "start") {
            RequireNoArg(arg, "start");
            if (m_bStarted) Fail("start-up has already run");
            m_bStarted = true;
            Add(Directive::Start);
            return;
        }

        // Any other directive implies start-up; the session runs it on demand.
        if (word == "rx" || word == "rxs") {
            std::string bytes;
            if (!Unescape(verbatim, bytes)) Fail("bad escape in '" + std::string(verbatim) + "'");
            if (word == "rx") {
                RequireArg(bytes, "rx");
                Add(Directive::Rx, bytes);
            } else {
                Add(Directive::Rxs, FrameReply(bytes));
            }
        } else if (word == "wait") {
            std::uint64_t ms = 0;
            if (!ParseMilliseconds(arg, ms)) Fail("'wait' needs a number of milliseconds");
            Add(Directive::Wait, {}, {}, ms);
        } else if (word == "paint") {
            RequireNoArg(arg, "paint");
            Add(Directive::Paint);
        } else if (word == "answer") {
            if (arg != "OK" && arg != "CANCEL" && arg != "YES" && arg != "NO")
                Fail("'answer' takes OK, CANCEL, YES or NO");
            Add(Directive::Answer, std::string(arg));
        } else if (word == "page") {
            RequireNoArg(arg, "page");
            Add(Directive::Page);
        } else if (word == "state") {
            RequireArg(arg, "state");
            if (!IsStateName(arg)) Fail("unknown state member '" + std::string(arg) + "'");
            Add(Directive::State, std::string(arg));
        } else if (word == "settings") {
            RequireNoArg(arg, "settings");
            Add(Directive::Settings);
        } else if (word == "menu") {
            RequireArg(arg, "menu");
            Add(Directive::Menu, std::string(arg));
        } else if (word == "dlg") {
            ParseDlg(verbatim);
        } else if (word == "observe") {
            // Printing observations does not start the program by itself, so
            // that a script can watch its start-up too.
            if (arg != "on" && arg != "off") Fail("'observe' takes on or off");
            Add(Directive::Observe, std::string(arg));
            return;
        } else {
            Fail("unknown directive '" + std::string(word) + "'");
        }
        m_bStarted = true;
    }
};

}  // namespace


std::string FrameReply(std::string_view body)
{
    unsigned char sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(body.size() + 6);
    out += '$';
    out += body;
    out += '*';
    out += hex[sum >> 4];
    out += hex[sum & 15];
    out += "\r\n";
    return out;
}

std::vector<CScriptLine> ParseScript(std::string_view text)
{
    CParser parser;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t lf = text.find('\n', pos);
        std::string_view line = text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        ++parser.m_nLine;
        if (line.find('\0') != std::string_view::npos) parser.Fail("NUL byte in the script");
        parser.ParseLine(line);
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    }
    return std::move(parser.m_lines);
}

}  // namespace velmor::replay
