#pragma once
// A captured session to play back as the unit: a velmor-replay script read
// from the unit's side. "rx TEXT" (escaped bytes) and "rxs BODY" (a body the
// unit frames) are what the unit sent; "wait MS" is time passing. What the
// script does on the program's side (ini, start, menu, dlg, answer, page,
// state, settings, paint, openfail) is accepted and skipped, so a golden
// session plays as it stands; "#" lines, the bytes the program sent among
// them, are comments.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

struct CPlayStep {
    int m_nLine = 0;               // 1-based line in the file
    std::string m_strBytes;        // empty for a wait
    std::uint64_t m_qwWaitMs = 0;  // a wait: milliseconds of the session's clock
};

// Parses the whole file before anything plays; false with "line N: ..." in
// |error| at the first line that is not a valid directive.
bool ParsePlayScript(std::string_view text, std::vector<CPlayStep>& steps, std::string& error);


}  // namespace velmor
