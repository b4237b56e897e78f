#!/usr/bin/python3
"""orvik-collector against the line's floor and against mbpoll, on the same simulated line in the same run.

For 9600 and 115200 baud, sixteen sensors on orvik-sim with a set turnaround:
- the collector's cycle time, read from the times of slave 1's rows in its CSV (cycles run back to back);
- mbpoll (Debian's) reading the same sixteen slaves: in its own polling loop at its shortest rate, and started
  once a cycle from a shell loop, as people script it;
- the floor: per slave the request's and the answer's wire time, the 3.5-character silence that ends the request for
  the device and the one that must pass before the next request, and the sim's turnaround.
Then the collector idle between cycles (CPU, wake-ups) and its memory.
Writes collector.json and prints a table.
"""
import argparse
import json
import os
import signal
import statistics
import subprocess
import tempfile
import time
from datetime import datetime
from pathlib import Path

TURNAROUND_MS = 3.0
SLAVES = 16


def char_ms(baud):
    return 10_000.0 / baud  # 8N1: start, 8 data, stop


def silence_ms(baud):
    return max(3.5 * char_ms(baud), 1.75)


def floor_ms(baud):
    per_slave = (8 + 9) * char_ms(baud) + 2 * silence_ms(baud) + TURNAROUND_MS
    return SLAVES * per_slave


class Sim:
    def __init__(self, sim, ports, baud):
        env = dict(os.environ, ORVIK_PORTS_DIR=ports)
        self.proc = subprocess.Popen(
            [sim, "--port", "COM7", "--baud", str(baud), "--distance", "fixed:1234.5",
             "--turnaround-ms", str(int(TURNAROUND_MS))],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        banner = self.proc.stdout.readline()
        if not banner.startswith("orvik-sim: "):
            raise RuntimeError("orvik-sim did not start: " + banner)
        self.link = os.path.join(ports, "COM7")
        self.device = os.path.realpath(self.link)
        # The sim logs every frame; nobody reads them here.
        subprocess.Popen(["cat"], stdin=self.proc.stdout, stdout=subprocess.DEVNULL)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


def proc_status(pid):
    fields = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        key, _, value = line.partition(":")
        fields[key] = value.strip()
    return fields


def cpu_seconds(pid):
    parts = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(parts[11]) + int(parts[12])) / os.sysconf("SC_CLK_TCK")


def switches(pid):
    s = proc_status(pid)
    return int(s["voluntary_ctxt_switches"]) + int(s["nonvoluntary_ctxt_switches"])


def collector_cycles(collector, sim, baud, seconds, work):
    csv_dir = os.path.join(work, f"csv-{baud}")
    proc = subprocess.Popen(
        [collector, "--port", sim.link, "--baud", str(baud), "--period", "0.01", "--retries", "0",
         "--csv-dir", csv_dir], stderr=subprocess.DEVNULL)
    time.sleep(seconds)
    proc.send_signal(signal.SIGTERM)
    proc.wait(10)
    times = []
    for path in sorted(Path(csv_dir).glob("*.csv")):
        for line in path.read_text().splitlines()[1:]:
            stamp, slave, value = line.split(",")
            if slave == "1" and value:
                times.append(datetime.fromisoformat(stamp).timestamp() * 1000)
    cycles = [b - a for a, b in zip(times[1:], times[2:])]  # the first cycle opens the port
    return cycles


def mbpoll_args(baud, device, once):
    return ["mbpoll", "-m", "rtu", "-b", str(baud), "-P", "none", "-a", f"1:{SLAVES}", "-0", "-r", "21", "-c", "1",
            "-t", "4:int", "-B", "-o", "0.1"] + (["-1"] if once else ["-l", "11"]) + [device]


def mbpoll_loop(baud, device, seconds):
    """mbpoll's own polling at its shortest rate: the time between its "Polling slave 1" lines."""
    # Line-buffered, or the lines come in blocks and their times mean nothing.
    proc = subprocess.Popen(["stdbuf", "-oL"] + mbpoll_args(baud, device, False), stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, bufsize=1)
    starts = []
    end = time.monotonic() + seconds
    answered = 0
    for line in proc.stdout:
        if line.startswith("-- Polling slave 1... "):  # "... Ctrl-C to stop)" in its loop
            starts.append(time.monotonic() * 1000)
        elif line.startswith("[21]:"):
            answered += 1
        if time.monotonic() > end:
            break
    proc.terminate()
    proc.wait(10)
    return [b - a for a, b in zip(starts[1:], starts[2:])], answered


def mbpoll_once(baud, device, runs):
    """mbpoll -1 started once a cycle, as a shell loop does."""
    walls = []
    answered = 0
    for _ in range(runs):
        t0 = time.monotonic()
        out = subprocess.run(mbpoll_args(baud, device, True), capture_output=True, text=True).stdout
        walls.append((time.monotonic() - t0) * 1000)
        answered += out.count("[21]:")
    return walls, answered


def idle(collector, sim, seconds):
    """One cycle every 2 s for `seconds`: CPU, wake-ups (context switches) beyond the cycles, memory."""
    proc = subprocess.Popen([collector, "--port", sim.link, "--period", "2", "--retries", "0"],
                            stderr=subprocess.DEVNULL)
    time.sleep(3)  # started, port open, first cycles done
    cpu0, sw0 = cpu_seconds(proc.pid), switches(proc.pid)
    time.sleep(seconds)
    cpu1, sw1 = cpu_seconds(proc.pid), switches(proc.pid)
    status = proc_status(proc.pid)
    proc.send_signal(signal.SIGTERM)
    proc.wait(10)
    # Between two cycles ten seconds apart: seven seconds with no cycle in them.
    quiet = subprocess.Popen([collector, "--port", sim.link, "--period", "10", "--retries", "0"],
                             stderr=subprocess.DEVNULL)
    time.sleep(2)
    sw2 = switches(quiet.pid)
    time.sleep(7)
    sw3 = switches(quiet.pid)
    quiet.send_signal(signal.SIGTERM)
    quiet.wait(10)
    return {"seconds": seconds, "cpu_percent": 100 * (cpu1 - cpu0) / seconds,
            "switches_per_cycle": (sw1 - sw0) / (seconds / 2), "switches_between_cycles_7s": sw3 - sw2,
            "rss_kib": int(status["VmRSS"].split()[0]), "peak_rss_kib": int(status["VmHWM"].split()[0])}


def summary(values):
    values = sorted(values)
    return {"n": len(values), "median": statistics.median(values),
            "p95": values[min(len(values) - 1, int(0.95 * len(values)))]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--collector", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=float, default=8)
    args = parser.parse_args()
    results = {"turnaround_ms": TURNAROUND_MS, "rates": {}}
    with tempfile.TemporaryDirectory() as work:
        for baud in (9600, 115200):
            ports = os.path.join(work, f"ports-{baud}")
            os.mkdir(ports)
            sim = Sim(args.sim, ports, baud)
            try:
                mine = summary(collector_cycles(args.collector, sim, baud, args.seconds, work))
                loop, answered = mbpoll_loop(baud, sim.device, args.seconds)
                once_walls, once_answered = mbpoll_once(baud, sim.device, 10)
                once = summary(once_walls)
                if baud == 9600:
                    results["idle"] = idle(args.collector, sim, 20)
            finally:
                sim.stop()
            results["rates"][baud] = {"floor_ms": floor_ms(baud), "collector_ms": mine,
                                      "mbpoll_loop_ms": summary(loop), "mbpoll_answers": answered,
                                      "mbpoll_once_ms": once, "mbpoll_once_answers": once_answered,
                                      "mbpoll_once_polls": 10 * SLAVES}
    Path(args.out, "collector.json").write_text(json.dumps(results, indent=2) + "\n")
    print("| baud | floor | orvik-collector (median, p95) | × floor | mbpoll -l 11 | mbpoll -1 per cycle (answers) |")
    print("|---|---|---|---|---|---|")
    for baud, r in results["rates"].items():
        c, loop, once = r["collector_ms"], r["mbpoll_loop_ms"], r["mbpoll_once_ms"]
        print(f"| {baud} | {r['floor_ms']:.1f} ms | {c['median']:.1f} ms, {c['p95']:.1f} ms "
              f"| {c['median'] / r['floor_ms']:.3f} | {loop['median']:.1f} ms "
              f"| {once['median']:.1f} ms ({r['mbpoll_once_answers']}/{r['mbpoll_once_polls']}) |")
    i = results["idle"]
    print(f"idle (a cycle every 2 s): CPU {i['cpu_percent']:.2f} %, {i['switches_per_cycle']:.0f} context switches "
          f"a cycle, {i['switches_between_cycles_7s']} in 7 s between cycles, RSS {i['rss_kib'] / 1024:.1f} MiB "
          f"(peak {i['peak_rss_kib'] / 1024:.1f} MiB)")


if __name__ == "__main__":
    main()
