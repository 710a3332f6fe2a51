"""A simulated camera for tests of client programs: the firmware simulator
and the daemon, started from a build's bin folder and stopped again.

    with ztcontrol.testing.SimulatedCamera("build/bin") as camera:
        with ztcontrol.Client() as client:
            ...

Run a program against one: python3 -m ztcontrol.testing BIN_DIR -- PROGRAM ARGS...
Both daemons use fixed queue names and port 8081, so run this in a private
IPC and network namespace (scripts/in-netns) or on a machine with neither
running.
"""

import os
import subprocess
import sys
import tempfile
import time

from . import Client, Error


class SimulatedCamera:
    def __init__(self, bin_dir=None, simulator_args=(), timeout_s=15):
        self.bin_dir = bin_dir or os.environ.get("ZT_BIN_DIR", "bin")
        self.simulator_args = list(simulator_args)
        self.timeout_s = timeout_s
        self._logs = tempfile.TemporaryDirectory(prefix="ztcamera-")
        self.sim = self.daemon = None

    def log(self, which):
        """The output so far of "simulator" or "daemon"."""
        with open(os.path.join(self._logs.name, which + ".log"), errors="replace") as f:
            return f.read()

    def _start(self, which, argv):
        out = open(os.path.join(self._logs.name, which + ".log"), "w")
        return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=out)

    def _await(self, what, ready):
        deadline = time.monotonic() + self.timeout_s
        while time.monotonic() < deadline:
            if ready():
                return
            if self.sim.poll() is not None or (self.daemon and self.daemon.poll() is not None):
                break
            time.sleep(0.05)
        raise RuntimeError(f"{what} did not start\n" + self.log("simulator")
                           + (self.log("daemon") if self.daemon else ""))

    def __enter__(self):
        self.sim = self._start("simulator", [os.path.join(self.bin_dir, "ztFirmwareSim"),
                                             "--no-console"] + self.simulator_args)
        self._await("the simulator", lambda: "serving /to_ztnet" in self.log("simulator"))
        self.daemon = self._start("daemon", [os.path.join(self.bin_dir, "ztControlD")])

        def answers():
            try:
                with Client(timeout_ms=1000) as c:
                    c.busy()
                return True
            except Error:
                return False
        self._await("the daemon", answers)
        return self

    def __exit__(self, *exc):
        try:
            if self.daemon and self.daemon.poll() is None:
                with Client() as c:
                    c.stop_daemon()
                self.daemon.wait(timeout=self.timeout_s)
        finally:
            for p in (self.daemon, self.sim):
                if p and p.poll() is None:
                    p.terminate()
                    p.wait(timeout=self.timeout_s)
            self._logs.cleanup()
        return False


def main(argv):
    if "--" not in argv or argv.index("--") != 1:
        print("usage: python3 -m ztcontrol.testing BIN_DIR -- PROGRAM [ARGS...]", file=sys.stderr)
        return 2
    with SimulatedCamera(argv[0]):
        return subprocess.call(argv[2:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
