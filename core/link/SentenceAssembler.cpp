#include "link/SentenceAssembler.h"

namespace velmor {

namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
}  // namespace

void CSentenceAssembler::Feed(const std::uint8_t* data, std::size_t size, ISentenceSink& sink)
{
    if (data == nullptr) return;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        switch (m_nState) {
        case 1:  // hunting: "$" or LF opens a sentence, any other byte is its first character
            if (byte == '$' || byte == kLf) {
                m_nLength = 0;
                m_byChecksum = 0;
            } else {
                m_achBody[0] = static_cast<char>(byte);
                m_byChecksum = byte;
                m_nLength = 1;
            }
            m_nState = 2;
            break;

        case 2:  // collecting the body
            if (byte == kCr || byte == kLf) {
                // Back to hunting before the delivery: the sink may feed more
                // bytes through this assembler from inside the call.
                m_nState = 1;
                // Bodies are NUL-terminated texts to the dispatcher.
                m_achBody[m_nLength] = '\0';
                std::string body(m_achBody);
                sink.OnSentence(body, false);
            } else if (byte == '*') {
                m_nState = 3;
            } else if (byte == '$' && m_nLength == 0) {
                // The LF that ended an unchecked sentence has already opened a
                // new one; its "$" starts that same sentence rather than
                // joining the body (which would spoil its checksum).
                m_byChecksum = 0;
            } else {
                m_achBody[m_nLength] = static_cast<char>(byte);
                m_byChecksum = static_cast<std::uint8_t>(m_byChecksum ^ byte);
                ++m_nLength;
                if (m_nLength >= kMaxBody + 1) {
                    // Too long for any reply: drop it silently and resynchronise.
                    m_nLength = 0;
                    m_nState = 1;
                }
            }
            break;

        case 3: {  // high checksum digit; no byte is refused, a bad digit just mismatches
            std::uint8_t value = static_cast<std::uint8_t>(byte - 48);
            if (value > 9) value = static_cast<std::uint8_t>(value - 7);
            m_byReceived = static_cast<std::uint8_t>(value << 4);
            m_nState = 4;
            break;
        }

        case 4: {  // low checksum digit
            std::int8_t value = static_cast<std::int8_t>(static_cast<std::uint8_t>(byte - 48));
            if (value > 9) value = static_cast<std::int8_t>(value - 7);
            m_byReceived = static_cast<std::uint8_t>(m_byReceived | static_cast<std::uint8_t>(value));
            m_achBody[m_nLength] = '\0';
            m_nState = 1;
            if (m_byReceived == m_byChecksum) {
                std::string body(m_achBody);
                sink.OnSentence(body, true);
            } else {
                sink.OnChecksumMismatch();
            }
            break;
        }

        default:  // unreachable; recover by hunting
            m_nState = 1;
            break;
        }
    }
}

}  // namespace velmor
