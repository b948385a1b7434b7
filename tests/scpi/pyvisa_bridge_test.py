#!/usr/bin/python3
"""serve-scpi driven by a real client: Debian's PyVISA with the pyvisa-py back end, against the
virtual supply. Identity, a setting, measurements, the error queue, and a link loss with a query in
flight (the supply frozen, then killed): every query gets its own reply within the bridge's bound,
below PyVISA's default time-out.

    pyvisa_bridge_test.py BENCHLORDCTL BENCHLORD_SIM
"""

import os
import re
import signal
import subprocess
import sys
import time

import pyvisa

BOUND_S = 1.0
NAN = "9.91E37"


def line_matching(stream, pattern):
    """The first match of pattern among the lines of stream (None at its end)."""
    for line in stream:
        match = re.search(pattern, line)
        if match:
            return match
    return None


def timed_query(inst, text):
    start = time.monotonic()
    reply = inst.query(text)
    elapsed = time.monotonic() - start
    assert elapsed < BOUND_S, f"{text}: {reply!r} after {elapsed:.3f} s"
    return reply


def main(ctl, sim_path):
    sim = subprocess.Popen([sim_path, "--tcp", "0"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True, bufsize=1)
    bridge = None
    try:
        supply_port = line_matching(sim.stdout, r"^tcp 127\.0\.0\.1:(\d+)").group(1)
        bridge = subprocess.Popen([ctl, "--tcp", "127.0.0.1:" + supply_port, "serve-scpi",
                                   "--listen", "127.0.0.1:0"],
                                  stdout=subprocess.PIPE, text=True, bufsize=1)
        port = line_matching(bridge.stdout, r"serving SCPI on 127\.0\.0\.1:(\d+)").group(1)

        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET",
                                read_termination="\n", write_termination="\n")
        assert inst.timeout == 2000, inst.timeout  # PyVISA's default, in milliseconds

        assert inst.query("*IDN?") == "Benchlord,DPS5015,0,4.6"
        inst.write("SOUR1:VOLT 5;CURR 1;:OUTP1 ON")
        assert inst.query("*OPC?") == "1"
        assert inst.query("VOLT?;CURR?") == "5.00;1.00"
        # 10 ohms: 5 V drives 0.5 A.
        assert inst.query_ascii_values("MEAS:VOLT?;CURR?", separator=";") == [5.0, 0.5]

        inst.write("VOLT 99")
        assert inst.query("SYST:ERR?").startswith('-222,"Data out of range;VOLT 99')
        assert inst.query("SYST:ERR?") == '0,"No error"'

        # Replies come late from now on; the supply stops while a query waits for its reading.
        sim.stdin.write("delay 300\n")
        sim.stdin.flush()
        assert line_matching(sim.stdout, r"delay.*300")
        inst.write("MEAS:VOLT?")
        start = time.monotonic()
        os.kill(sim.pid, signal.SIGSTOP)
        assert inst.read() == NAN
        assert time.monotonic() - start < BOUND_S
        cause = timed_query(inst, "SYST:ERR?")
        assert re.match(r'^-(230|300),"', cause), cause
        assert timed_query(inst, "*IDN?") == "Benchlord,DPS5015,0,4.6"
        assert timed_query(inst, "MEAS:CURR?") == NAN
        assert timed_query(inst, "*OPC?") == "1"

        # Killed: the same, with the link's own reason in the queue.
        os.kill(sim.pid, signal.SIGKILL)
        sim.wait()
        assert timed_query(inst, "MEAS:VOLT?;:OUTP?") == NAN + ";" + NAN
        assert timed_query(inst, "*TST?") == "1"
        inst.close()
        rm.close()

        bridge.send_signal(signal.SIGTERM)
        assert bridge.wait(timeout=10) == 0
        print("1 passed, 0 failed")
        return 0
    finally:
        for p in (bridge, sim):
            if p is not None and p.poll() is None:
                p.kill()
                p.wait()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
