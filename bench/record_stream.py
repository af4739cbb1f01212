#!/usr/bin/env python3
"""Records the bytes a simulated type-16 unit sends while it is monitored.

Usage: bench/record_stream.py UNITSIM OUTPUT [SECONDS]

Starts UNITSIM (velmor-unitsim) on a pseudo-terminal, identifies the unit
and subscribes to its reports with the commands the program sends after
identifying a type-16 unit, then writes every byte received during SECONDS
(default 60) to OUTPUT. The result is bench/data/type16-stream.bin, the
stream the receive-path benchmark replays.
"""

import os
import select
import subprocess
import sys
import time
import tty

# What the program sends, in order, once a type-16 unit answered PRID with
# its part number (identification, subscriptions, then the follow-ups).
SUBSCRIPTIONS = [
    "LEAP", "ESTC", "POS1", "TODS", "TIMM", "UNSL,TEMP,1", "UNSL,LEAP,1",
    "UNSL,ESSN,1", "UNSL,NTLC,1", "UNSL,POS1,1", "ANT1",
    "UNSL,SIGQ,1", "UNSL,TIME,1", "UNSL,EFER,1", "UNSL,TIMD,1", "UNSL,ESSD,1",
]
LOWER_CASE_QUERIES = ["$pule*\r\n", "$pulr*\r\n", "$pulp*\r\n", "$ofst*\r\n", "$pulw*\r\n"]
FOLLOW_UPS = ["UNSL,PAVG,1", "BEEP", "MTYP", "UNSL,DACV,1", "TIMM", "MANG", "TRMO"]


def frame(body):
    return ("$" + body + "*\r\n").encode("ascii")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    unitsim, output = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
    sim = subprocess.Popen([unitsim, "--type", "16", "--quiet"], stdout=subprocess.PIPE, text=True)
    try:
        path = sim.stdout.readline().strip()
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd)  # bytes as they come: no CR/LF translation, no echo
        recorded = bytearray()
        start = time.monotonic()

        def pump(until):
            while True:
                left = until - time.monotonic()
                if left <= 0:
                    return
                ready, _, _ = select.select([fd], [], [], left)
                if ready:
                    recorded.extend(os.read(fd, 4096))

        os.write(fd, frame("PRID"))
        pump(time.monotonic() + 0.5)
        for body in SUBSCRIPTIONS:
            os.write(fd, frame(body))
        for query in LOWER_CASE_QUERIES:
            os.write(fd, query.encode("ascii"))
        for body in FOLLOW_UPS:
            os.write(fd, frame(body))
        pump(start + seconds)
        os.close(fd)
    finally:
        sim.terminate()
        sim.wait()
    with open(output, "wb") as out:
        out.write(recorded)
    print(f"{len(recorded)} bytes, {recorded.count(b'$')} sentences in {seconds:.0f} s -> {output}")


if __name__ == "__main__":
    main()
