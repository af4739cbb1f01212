#include "settings/Profile.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

// One line of the file: where it starts, its content without the line end,
// and where the next line starts.
struct Line {
    std::size_t m_nStart = 0;
    std::string_view m_content;
    std::size_t m_nNext = 0;
    bool m_bTerminated = false;
};

// The line starting at |pos| (pos < text.size()).
Line LineAt(std::string_view text, std::size_t pos)
{
    std::size_t lf = text.find('\n', pos);
    Line line;
    line.m_nStart = pos;
    line.m_bTerminated = lf != std::string_view::npos;
    std::size_t end = line.m_bTerminated ? lf : text.size();
    line.m_nNext = line.m_bTerminated ? lf + 1 : text.size();
    if (end > pos && text[end - 1] == '\r') --end;
    line.m_content = text.substr(pos, end - pos);
    return line;
}

// The section a line opens, or false when it is no section header.
bool SectionName(std::string_view content, std::string_view& name)
{
    content = Trim(content);
    if (content.empty() || content.front() != '[') return false;
    std::size_t close = content.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(content.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line; comments and lines without '='
// are no keys.
bool KeyValue(std::string_view content, std::string_view& key, std::string_view& value)
{
    std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() == ';') return false;
    std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(content.substr(0, eq));
    value = Trim(content.substr(eq + 1));
    return true;
}

// Where |key| of |section| stands. The first occurrence of the key in any
// section of that name wins; a missing key goes after the last non-blank line
// of the first such section. The text is walked line by line without copies,
// so even a huge file costs no more than itself.
struct Location {
    bool m_bKeyFound = false;
    Line m_keyLine;
    bool m_bSectionFound = false;
    Line m_lastLineOfSection;
};

Location Locate(std::string_view text, std::string_view section, std::string_view key)
{
    Location where;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const Line line = LineAt(text, pos);
        pos = line.m_nNext;
        std::string_view name;
        if (SectionName(line.m_content, name)) {
            inSection = EqualNoCase(name, section);
            inFirstSection = inSection && !where.m_bSectionFound;
            if (inFirstSection) {
                where.m_bSectionFound = true;
                where.m_lastLineOfSection = line;
            }
            continue;
        }
        if (!inSection) continue;
        if (inFirstSection && !Trim(line.m_content).empty()) where.m_lastLineOfSection = line;
        std::string_view k, v;
        if (KeyValue(line.m_content, k, v) && EqualNoCase(k, key)) {
            where.m_bKeyFound = true;
            where.m_keyLine = line;
            return where;
        }
    }
    return where;
}

// The line end the file already uses; "\n" for a new file.
std::string LineEnd(std::string_view text)
{
    std::size_t lf = text.find('\n');
    if (lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r') return "\r\n";
    return "\n";
}

// A value or name must stay on its line.
std::string OneLine(const std::string& text)
{
    std::size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

CProfile CProfile::OnFile(std::string path)
{
    CProfile profile;
    profile.m_strPath = std::move(path);
    return profile;
}

CProfile CProfile::InMemory(std::string text)
{
    CProfile profile;
    profile.m_bInMemory = true;
    profile.m_strMemory = std::move(text);
    return profile;
}

std::string CProfile::Text() const
{
    if (m_bInMemory) return m_strMemory;
    std::ifstream in(m_strPath, std::ios::binary);
    if (!in) return {};
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string CProfile::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const
{
    const std::string text = Text();
    const Location where = Locate(text, section, key);
    if (!where.m_bKeyFound) return defaultValue;
    std::string_view k, v;
    KeyValue(where.m_keyLine.m_content, k, v);
    return std::string(v);
}

int CProfile::GetInt(const std::string& section, const std::string& key, int defaultValue) const
{
    const std::string text = Text();
    const Location where = Locate(text, section, key);
    if (!where.m_bKeyFound) return defaultValue;
    std::string_view k, v;
    KeyValue(where.m_keyLine.m_content, k, v);
    return AtoI(v);
}

bool CProfile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string text = Text();
    const Location where = Locate(text, section, key);
    const std::string eol = LineEnd(text);
    const std::string cleanValue = OneLine(value);
    std::string out;
    out.reserve(text.size() + key.size() + value.size() + section.size() + 8);

    if (where.m_bKeyFound) {
        // Keep the key as the file spells it, and the blanks after '='.
        const Line& line = where.m_keyLine;
        std::string_view content = line.m_content;
        std::size_t valueStart = content.find('=') + 1;
        while (valueStart < content.size() && IsBlank(content[valueStart])) ++valueStart;
        out.append(text, 0, line.m_nStart);
        out.append(content.substr(0, valueStart));
        out += cleanValue;
        out.append(text, line.m_nStart + content.size(), std::string::npos);
    } else if (where.m_bSectionFound) {
        const Line& last = where.m_lastLineOfSection;
        out.append(text, 0, last.m_nNext);
        if (!last.m_bTerminated) out += eol;
        out += OneLine(key) + "=" + cleanValue + eol;
        out.append(text, last.m_nNext, std::string::npos);
    } else {
        out = text;
        if (!out.empty() && out.back() != '\n') out += eol;
        out += "[" + OneLine(section) + "]" + eol;
        out += OneLine(key) + "=" + cleanValue + eol;
    }
    return Store(out);
}

bool CProfile::Store(const std::string& text)
{
    if (m_bInMemory) {
        m_strMemory = text;
        return true;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(m_strPath);
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
    // Write a sibling file and rename it over the old one, so that a failed
    // write never leaves half a settings file behind.
    const std::string temporary = m_strPath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), m_strPath.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::string DefaultProfilePath()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* user = ::getpwuid(::getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        base = std::string(home != nullptr ? home : ".") + "/.config";
    }
    return base + "/velmor/Velmor.INI";
}

}  // namespace velmor
