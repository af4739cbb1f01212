#pragma once
// A NUL-terminated text of fixed capacity N (N-1 characters). Longer input is
// cut, never overflowed.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace velmor {

template <std::size_t N>
class CFixedText {
public:
    CFixedText() { m_sz[0] = '\0'; }
    explicit CFixedText(std::string_view text) { Assign(text); }
    void Assign(std::string_view text)
    {
        std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
        if (n) std::memcpy(m_sz, text.data(), n);
        m_sz[n] = '\0';
    }
    CFixedText& operator=(std::string_view text) { Assign(text); return *this; }
    const char* c_str() const { return m_sz; }
    std::string str() const { return m_sz; }
    std::size_t size() const { return std::strlen(m_sz); }
    bool empty() const { return m_sz[0] == '\0'; }
    char operator[](std::size_t i) const { return i < N ? m_sz[i] : '\0'; }
    static constexpr std::size_t Capacity() { return N; }

private:
    char m_sz[N];
};

}  // namespace velmor
