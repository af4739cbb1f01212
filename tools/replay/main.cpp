// velmor-replay: runs the program core against a scripted session and prints
// what the program did, one event a line. See Usage() for the format.

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Script.h"
#include "Session.h"

namespace {

const char* const kUsage = R"(NAME
    velmor-replay - run a scripted unit session through the Velmor core

SYNOPSIS
    velmor-replay [--observer] [--capture FILE] SCRIPT
    velmor-replay --help

DESCRIPTION
    Runs the program's core (settings, serial link, polling, dispatcher,
    status page, menus and dialogs) on a virtual serial port, a virtual
    millisecond clock and a scripted desktop, and prints every byte written
    to the port, every box, sound, notice and dialog, and what the script
    asks to see. SCRIPT "-" reads standard input. Script format version 1,
    with the dialog extension.

    --observer registers an observer of the unit's data for the whole
    session without printing what it sees: the transcript must be the same
    as without it.

    --capture FILE writes the session's traffic to FILE as the desktop
    program's File > Capture Traffic does: a script of rx and wait lines,
    with the written bytes as "# tx" comments. Run through velmor-replay, a
    capture of a session made of rx, rxs and wait lines prints the same
    transcript as the session.

SCRIPT
    One directive a line. Blank lines and lines starting with '#' are
    ignored; leading blanks are allowed. TEXT may use the escapes \r \n \t
    \\ \" and \xHH.

    ini TEXT        append the line TEXT to the settings file (before start)
    openfail        the next opening of the port fails (before start; repeats)
    start           start-up: read the settings, open the port, first paint.
                    Any directive but ini and openfail implies it.
    rx TEXT         bytes the unit sends; the next poll ticks read them,
                    at most 512 bytes a tick
    rxs BODY        "$" BODY "*", its two-digit checksum, CR LF
    wait MS         advance the clock by MS milliseconds. Every 200 ms poll
                    tick that falls due runs, a pending repaint is painted
                    after each tick, and notices close when their time is
                    up. Timers due at the same instant fire in the order they
                    were armed.
    paint           paint the view as if it had been uncovered
    answer A        queue A (OK, CANCEL, YES or NO) for the next box or font
                    chooser that offers a choice. Boxes with only OK take
                    none; an empty queue answers OK, or YES for yes/no boxes.
    page            print the most recent drawing (nothing before the first)
    state NAME      print one unit-state member: m_nProductType,
                    m_position.m_strLatMinutes, m_aSatellites[3].m_nStrength,
                    m_anTimeDiff[2] ...; "state port-reads" prints how often
                    the program has read the virtual port
    settings        print the settings file
    events on|off   print each alarm event (from start-up on when it comes
                    first) as "event NAME VALUES"; the alarm limits come
                    from section [Alarms] of the settings file
    observe on|off  print each observation the core hands its observers
                    (from start-up on when it comes first):
                        observe sentence KEYWORD [QUANTITY ...]
                        observe unrecognised KEYWORD
                        observe checksum-error | rx N | tx N | write-failure N
                        observe port-opened | port-open-failed | port-closed
                    QUANTITY names what the sentence carried (unit-time,
                    pps-offset, dac, satellites ...), even an unchanged value;
                    the program's own conclusions print as data-stale,
                    data-resumed, auto-recovery, port-lost, port-restored,
                    unit-reidentified and unit-restarted (and
                    polling-paused, polling-resumed around a setup dialog)
    unplug          the cable is pulled: from now on reads report a hang-up,
                    writes fail and the device cannot be opened
    replug          the device can be opened again
    status on|off   print the link pane whenever its state changes (fresh,
                    late, stale, disconnected, no port, waiting); a late or
                    stale pane counting its seconds is no change. "on"
                    prints the pane at once (from start-up when it comes
                    first)
    menu LABEL      run the menu command whose item text, without '&' and
                    trimmed, is LABEL ("menu Mode", "menu Setup Com Port",
                    "menu Velmor"); afterwards a pending repaint is painted.
                    "menu Exit" closes the program: no directive may follow.
    dlg set LABEL=VALUE
                    on the innermost open dialog: an edit field takes VALUE
                    as its text; a list selects the item VALUE; a check box or
                    radio button takes on or off; an editable list takes VALUE as its text
    dlg click LABEL click a button, radio button or check box
    dlg key Enter|Escape
    dlg close       the dialog's close box
    dlg show        list the dialog (format below)

    LABEL is the control's text, or for an edit field or list the label
    beside it, without '&' and a trailing colon. A set or click moves the
    focus to its control; an edit field that loses the focus runs its leave
    reaction first. Enter and Escape leave the focus where it is. While a
    dialog is open the following lines operate it; rx, wait, answer, page,
    state and settings go on working.

OUTPUT
    tx BYTES                        a write to the port (escaped)
    sound MB_ICONHAND | sound MB_ICONEXCLAMATION
    box ICON "CAPTION" "TEXT" -> ANSWER
                                    ICON is error, warning, question, info
    notice "CAPTION" "TEXT" SECONDS a notice the message window shows
    font "FACE" -> OK|CANCEL        the font chooser
    dialog open "CAPTION"           after the dialog's set-up has run
    dialog close "CAPTION" -> OK|CANCEL
    menu "LABEL" disabled           a disabled menu item was chosen
    dlg "LABEL" disabled|hidden|read-only
                                    a dlg action on a control out of reach;
                                    nothing is done
    |LINE                           page: one line per page line ending in
                                    CR LF, trailing blanks kept, the degree
                                    sign as UTF-8; the page's closing empty
                                    line shows as a lone "|"
    NAME = VALUE                    state: texts "..." and characters '...'
                                    escaped ('\x00' for NUL, '\'' for a
                                    quote), integers in decimal, doubles and
                                    floats with %g, booleans 0 or 1
    ini LINE                        settings, one per line of the file
    event NAME [VALUES]             an alarm event (with events on): NAME
                                    is lock-acquired, lock-regained,
                                    lock-lost, holdover-started,
                                    holdover-ended, polling-paused,
                                    polling-resumed, link-lost,
                                    link-restored, data-stale, data-resumed,
                                    unit-reidentified, unit-restarted,
                                    self-test-failed, self-test-passed,
                                    tfom-high, tfom-normal, pps-offset-high,
                                    pps-offset-normal,
                                    temperature-out-of-range or
                                    temperature-normal; a condition must
                                    hold 5 s before it is told (moments such
                                    as unit-reidentified are told at once),
                                    and the first values after
                                    identification tell nothing
    status "TEXT"                   the link pane's text when its state
                                    changed: "Unit data fresh", "No data from
                                    the unit for 10 s" ...

    dlg show prints the caption line, then one line per control:
        dlg "CAPTION"
          KIND "TEXT"[ = VALUE][ on|off][ unit "UNIT"][ read-only][ disabled][ hidden]
    KIND is label, group, edit, picedit, radio, check, combo, list, button
    or spin; TEXT is the control's text exactly ('&' and colons kept). VALUE
    is the edit text, the selected item or "none", or a label's value text
    when it has one; radio buttons and check boxes show on or off.

EXIT STATUS
    0   the script ran to its end
    2   usage error, unreadable script, unknown directive, unknown name,
        malformed line, or an action the session cannot perform (the message
        on standard error names the line)
    3   the core failed in a way the script cannot cause
)";

int UsageError(const char* message)
{
    std::fprintf(stderr, "velmor-replay: %s\nusage: velmor-replay SCRIPT (see velmor-replay --help)\n", message);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    bool withObserver = false;
    std::string capturePath;
    int first = 1;
    while (first < argc) {
        if (std::strcmp(argv[first], "--observer") == 0) {
            withObserver = true;
            ++first;
        } else if (std::strcmp(argv[first], "--capture") == 0) {
            if (first + 1 >= argc || argv[first + 1][0] == '\0') return UsageError("--capture needs a file name");
            capturePath = argv[first + 1];
            first += 2;
        } else {
            break;
        }
    }
    if (argc != first + 1) return UsageError("expected exactly one script file");

    const std::string path = argv[first];
    std::ostringstream text;
    if (path == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) return UsageError(("cannot read " + path).c_str());
        text << file.rdbuf();
    }

    try {
        auto lines = velmor::replay::ParseScript(text.str());
        velmor::replay::CReplaySession session(std::move(lines), stdout, withObserver, capturePath);
        session.Run();
    } catch (const velmor::replay::CScriptError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmor-replay: %s: line %d: %s\n", path.c_str(), error.m_nLine, error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmor-replay: %s: internal error: %s\n", path.c_str(), error.what());
        return 3;
    }
    std::fflush(stdout);
    return 0;
}
