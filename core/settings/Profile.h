#pragma once
// An INI-style settings file with the semantics of the classic profile calls:
// section and key names match case-insensitively, missing keys give the
// caller's default, integers are read as leading decimal numbers, and writing
// one key keeps every other line of the file. A missing file or section is
// created on the first write.

#include <string>

namespace velmor {

class CProfile {
public:
    // A profile stored in the file at |path|.
    static CProfile OnFile(std::string path);
    // A profile held in memory only (the replay tool and tests).
    static CProfile InMemory(std::string text = {});

    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;
    // False when the file could not be written.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

    // The whole text as it stands (read from the file when file-backed).
    std::string Text() const;
    const std::string& Path() const { return m_strPath; }

private:
    CProfile() = default;
    bool Store(const std::string& text);
    std::string m_strPath;
    bool m_bInMemory = false;
    std::string m_strMemory;
};

// The default location: $XDG_CONFIG_HOME/velmor/Velmor.INI (or ~/.config/...).
std::string DefaultProfilePath();

}  // namespace velmor
