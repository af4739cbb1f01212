#pragma once
// Plays a captured session back as the unit: the bytes the unit sent, paced
// by the session's waits (divided by --speed). The clock starts with the
// first byte the program sends, its start-up queries, so the capture lines
// up with the program's own start. What the program sends is read and, with
// a log, written down; it changes nothing. At the end of the capture the
// unit falls silent and stays until SIGINT or SIGTERM.

#include "PlayScript.h"

#include <cstdio>
#include <vector>

namespace velmor {

class CPtyPort;

// Runs until the signal pipe |nSignalFd| delivers 'T'; the exit status.
int PlayCapture(const std::vector<CPlayStep>& steps, double dSpeed, CPtyPort& port, int nSignalFd, std::FILE* log,
                bool bQuiet);

}  // namespace velmor
