#include "PlayScript.h"

#include "SimFraming.h"
#include "text/Text.h"

#include <array>

namespace velmor {

namespace {

// Directives that drive the program, not the unit.
constexpr std::array<std::string_view, 15> kProgramSide = {
    "ini",  "openfail", "start", "paint",   "answer", "page",   "state",  "settings",
    "menu", "dlg",      "observe", "unplug", "replug", "status", "events"};

}  // namespace


bool ParsePlayScript(std::string_view text, std::vector<CPlayStep>& steps, std::string& error)
{
    steps.clear();
    int number = 0;
    auto fail = [&](const std::string& message) {
        error = "line " + std::to_string(number) + ": " + message;
        return false;
    };
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t lf = text.find('\n', pos);
        std::string_view line = text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        pos = lf == std::string_view::npos ? text.size() + 1 : lf + 1;
        ++number;
        if (line.find('\0') != std::string_view::npos) return fail("NUL byte in the file");
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        if (Trim(line).empty() || line.front() == '#') continue;

        const std::size_t space = line.find_first_of(" \t");
        const std::string_view word = line.substr(0, space);
        // Bytes keep everything after the one separator, trailing blanks included.
        const std::string_view verbatim = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
        CPlayStep step;
        step.m_nLine = number;
        if (word == "rx" || word == "rxs") {
            std::string bytes;
            if (!Unescape(verbatim, bytes)) return fail("bad escape in '" + std::string(verbatim) + "'");
            if (word == "rx" && bytes.empty()) return fail("'rx' needs bytes");
            step.m_strBytes = word == "rx" ? bytes : FrameReply(bytes, false);
        } else if (word == "wait") {
            const std::string_view digits = Trim(verbatim);
            // More than 12 digits (over 30 years) is a typo rather than a session.
            if (digits.empty() || digits.size() > 12 ||
                digits.find_first_not_of("0123456789") != std::string_view::npos)
                return fail("'wait' needs a number of milliseconds");
            for (char ch : digits) step.m_qwWaitMs = step.m_qwWaitMs * 10 + static_cast<unsigned>(ch - '0');
        } else {
            bool bProgramSide = false;
            for (std::string_view known : kProgramSide) bProgramSide = bProgramSide || word == known;
            if (!bProgramSide) return fail("unknown directive '" + std::string(word) + "'");
            continue;
        }
        steps.push_back(std::move(step));
    }
    return true;
}

}  // namespace velmor
