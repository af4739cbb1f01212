#pragma once
// Turns the bytes the poll reads into sentence bodies.
//
// Reads may split a sentence anywhere, and garbage may lead it. A sentence is
// "$" body "*" and two hexadecimal checksum digits (verified), or "$" body
// followed by CR or LF (delivered unverified). The state survives between
// reads and across re-entrant calls: a delivery may open a modal box whose
// nested poll ticks feed more bytes through the same assembler, so the state
// returns to hunting before each body is handed on.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor {

class ISentenceSink {
public:
    virtual ~ISentenceSink() = default;
    // A complete body; |verified| when it carried a matching checksum.
    virtual void OnSentence(const std::string& body, bool verified) = 0;
    // A checksummed body whose digits did not match; it is dropped.
    virtual void OnChecksumMismatch() = 0;
};

class CSentenceAssembler {
public:
    void Feed(const std::uint8_t* data, std::size_t size, ISentenceSink& sink);

    static constexpr std::size_t kMaxBody = 255;

private:
    int m_nState = 1;
    char m_achBody[300] = {};
    std::size_t m_nLength = 0;
    std::uint8_t m_byChecksum = 0;
    std::uint8_t m_byReceived = 0;
};

}  // namespace velmor
