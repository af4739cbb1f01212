#include "protocol/Tokenizer.h"

namespace velmor {

bool CTokenizer::Next(std::string_view delimiters, std::string& out)
{
    if (m_done) return false;
    auto isDelimiter = [&](char c) { return delimiters.find(c) != std::string_view::npos; };
    std::size_t start = m_pos;
    while (start < m_text.size() && isDelimiter(m_text[start])) ++start;
    if (start >= m_text.size()) {
        m_done = true;
        return false;
    }
    std::size_t end = start;
    while (end < m_text.size() && !isDelimiter(m_text[end])) ++end;
    out.assign(m_text, start, end - start);
    if (end < m_text.size()) {
        m_pos = end + 1;  // the delimiter is consumed, like the NUL it becomes
    } else {
        m_done = true;
    }
    return true;
}

}  // namespace velmor
