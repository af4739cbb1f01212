#include "protocol/Tokenizer.h"

namespace velmor {

bool CTokenizer::Next(std::string_view delimiters, std::string& out)
{
    if (m_done) return false;
    // Most steps split at one character (a comma): look for it directly.
    std::size_t start, end;
    if (delimiters.size() == 1) {
        const char d = delimiters[0];
        start = m_text.find_first_not_of(d, m_pos);
        end = start == std::string::npos ? start : m_text.find(d, start);
    } else {
        start = delimiters.empty() ? m_pos : m_text.find_first_not_of(delimiters.data(), m_pos, delimiters.size());
        end = start == std::string::npos || delimiters.empty()
                  ? std::string::npos
                  : m_text.find_first_of(delimiters.data(), start, delimiters.size());
    }
    if (start == std::string::npos || start >= m_text.size()) {
        m_done = true;
        return false;
    }
    if (end == std::string::npos) {
        out.assign(m_text, start, std::string::npos);
        m_done = true;  // the text ran out without a delimiter
    } else {
        out.assign(m_text, start, end - start);
        m_pos = end + 1;  // the delimiter is consumed, like the NUL it becomes
    }
    return true;
}

}  // namespace velmor
