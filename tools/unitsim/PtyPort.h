#pragma once
// The unit's end of a pseudo-terminal pair.
//
// The program opens the slave side as if it were a serial port. We keep a
// descriptor of the slave open ourselves, opened before the program's, so
// that the master never sees a hang-up between two opens of the program; the
// program's TIOCEXCL only keeps out later opens, so it does not touch ours.
// Writes never block: what the terminal cannot take yet waits in a queue,
// and a queue nobody drains is dropped rather than grown without end.

#include <cstddef>
#include <string>

namespace velmor {

class CPtyPort {
public:
    CPtyPort() = default;
    CPtyPort(const CPtyPort&) = delete;
    CPtyPort& operator=(const CPtyPort&) = delete;
    ~CPtyPort();

    bool Open(std::string& error);
    const std::string& SlavePath() const { return m_strSlavePath; }
    int MasterFd() const { return m_nMaster; }

    // A symbolic link to the slave device; removed by RemoveLink and on
    // destruction.
    bool MakeLink(const std::string& path, std::string& error);
    void RemoveLink();

    // The line rate the program last set on its side, or -1 when unknown.
    // A pseudo-terminal moves bytes at any rate; the rate is only a setting.
    int LineRate() const;

    void Queue(const std::string& bytes);
    bool HasPending() const { return !m_strPending.empty(); }
    // Writes what the terminal takes now; false on a hard error.
    bool Flush();
    // Reads what is there; -1 on a hard error, 0 when nothing is there.
    long Read(char* buffer, std::size_t size);

    static constexpr std::size_t kMaxPending = 16384;

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_strSlavePath;
    std::string m_strLink;
    std::string m_strPending;
};

// Baud rate of a termios speed code; -1 for codes not in the table.
int BaudOfSpeed(unsigned speed);

}  // namespace velmor
