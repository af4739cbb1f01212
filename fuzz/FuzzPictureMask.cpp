// Keystroke, mouse and clipboard sequences on a picture-mask field.

#include <cstddef>
#include <cstdint>
#include <string>

#include "widgets/PictureMask.h"

using namespace velmor;

namespace {
class CClipboard : public IPictureMaskHost {
public:
    void Beep() override {}
    void SetClipboardText(const std::string& text) override { m_strText = text; }
    bool GetClipboardText(std::string& text) override { text = m_strText; return !text.empty(); }
    std::string m_strText = "12:34.5";
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const char* const masks[] = {"999:99:99:99.9999999", "99:99:99.99", "9.999999", "99' 99.9999",
                                        "999' 99.9999", "XXXXXXXX", "LUAN/9//", ""};
    if (size < 1) return 0;
    CClipboard clipboard;
    CPictureMask field;
    field.SetHost(&clipboard);
    const std::string mask = masks[data[0] % 8];
    field.SetMask(mask);
    const std::size_t length = field.Text().size();
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        const int arg = static_cast<int>(data[i + 1]) - 8;
        switch (data[i] % 12) {
        case 0: field.OnChar(static_cast<char>(data[i + 1])); break;
        case 1: field.OnKeyDown(static_cast<CPictureMask::Key>(data[i + 1] % 10), data[i + 1] & 0x80); break;
        case 2: field.SetSelection(arg, arg + (data[i] >> 4)); break;
        case 3: field.Copy(); break;
        case 4: field.Cut(); break;
        case 5: field.Paste(); break;
        case 6: field.Clear(); break;
        case 7: field.Undo(); break;
        case 8: field.OnFocus(); break;
        case 9: field.OnClick(arg); break;
        case 10: field.FillFromDigits(clipboard.m_strText, arg, data[i] & 0x10, data[i] & 0x20); break;
        default: clipboard.m_strText.assign(reinterpret_cast<const char*>(data + i), 2); break;
        }
        if (field.Text().size() != length) __builtin_trap();
    }
    return 0;
}
