"""The modules' side of a discovery bench: `module-sim discover` started and its lines collected,
and what they say of one search. Times are the simulator's, CLOCK_MONOTONIC milliseconds."""
import os
import re
import signal
import subprocess
import threading
import time


class Simulator:
    def __init__(self, bin_dir, args):
        self.proc = subprocess.Popen([os.path.join(bin_dir, "module-sim"), "discover", *args],
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("listening"):
            self.proc.kill()
            raise SystemExit("simulator did not start: " + line)
        self.lines = []
        self._reader = threading.Thread(target=self._collect, daemon=True)
        self._reader.start()

    def _collect(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))

    def stop(self):
        # A moment for the last acknowledgement to be printed.
        time.sleep(0.2)
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait()
        self._reader.join(2)

    def at(self, prefix):
        """(time, line) of the first line starting with prefix, or (None, None)."""
        for line in self.lines:
            if line.startswith(prefix):
                return float(re.search(r" at ([0-9.]+)$", line).group(1)), line
        return None, None

    def search(self):
        """The first search: (request time, last reply sent in ms after it, acknowledgements).
        Each acknowledgement is (ms after request + 1.5/3.0/4.5 s, entries), or (None, -1)."""
        t0, _ = self.at("request 1 ")
        done, _ = self.at("answered request 1:")
        acks = []
        for i in (1, 2, 3):
            t, line = self.at("acknowledgement %d " % i)
            entries = int(re.search(r"entries=(\d+)", line).group(1)) if line else -1
            acks.append((t - t0 - 1500 * i if t is not None and t0 is not None else None, entries))
        return t0, (done - t0 if done is not None and t0 is not None else None), acks

    def summary(self):
        return next((line for line in self.lines if line.startswith("summary")), "")


def ack_lateness(acks):
    return ", ".join("%+.1f ms (%d entries)" % (late, entries) if late is not None else "missing"
                     for late, entries in acks)
