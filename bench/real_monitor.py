#!/usr/bin/python3
"""The real orvik-monitor on Xvfb: wake-ups, system calls and CPU while idle, and its peak memory after a few polls.

Driven through X input with the end-to-end harness (tests/e2e/e2e_harness.py), which also reads the window through
its inspection socket; nothing talks to that socket while a figure is being taken, so the monitor is left alone.

    real_monitor.py --monitor PATH --sim PATH --out DIR [--seconds 10]

Writes DIR/idle.csv (one row per state) and DIR/memory.csv.
"""
import argparse
import csv
import os
import re
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the harness's folder
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e_harness  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
SETTLE_S = 5.0  # after a change of state, before counting


def tasks(pid):
    return os.listdir(f"/proc/{pid}/task")


def wakeups(pid):
    """Voluntary context switches by thread: each is a thread going back to sleep after a wake-up."""
    counts = {}
    for tid in tasks(pid):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                counts[tid] = sum(int(line.split()[1]) for line in f if line.startswith("voluntary_ctxt_switches"))
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return counts


def wakeups_between(before, after):
    """Wake-ups of the threads alive at both ends (an idle pool thread that ends takes its count with it)."""
    return sum(after[tid] - before[tid] for tid in after if tid in before)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime and stime, all threads


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def syscalls(pid, seconds):
    """Total system calls of every thread over `seconds`, counted by strace (0 when strace saw none)."""
    result = subprocess.run(["timeout", "-s", "INT", str(seconds), "strace", "-c", "-f", "-p", str(pid)],
                            capture_output=True, text=True)
    match = re.search(r"^100\.00\s+\S+\s+\S+\s+(\d+)\s+(\d+)?\s*total$", result.stderr, re.M)
    return int(match.group(1)) if match else 0


def measure(s, seconds, state, command):
    pid = s.monitor.pid
    focus = s.dump()["focus"] or "none"
    time.sleep(SETTLE_S)
    w0, c0, t0 = wakeups(pid), cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    w1, c1, t1 = wakeups(pid), cpu_seconds(pid), time.monotonic()
    calls = syscalls(pid, seconds)
    span = t1 - t0
    return {"state": state, "seconds": f"{span:.1f}", "threads": len(tasks(pid)),
            "focus": focus,
            "wakeups_per_s": f"{wakeups_between(w0, w1) / span:.2f}", "syscalls_per_s": f"{calls / seconds:.2f}",
            "cpu_pct_of_core": f"{100 * (c1 - c0) / span:.3f}", "command": command}


def root_window(s):
    out = subprocess.run(["xwininfo", "-root"], env=s.env(), capture_output=True, text=True).stdout
    return re.search(r"Window id: (0x[0-9a-f]+)", out).group(1)


def window_origin(s):
    """A point on the window's own background (the page control's corner, no control under it)."""
    x, y, width, height = s.w("PageControl1")["geometry"]
    return x + width - 3, y + 3


def pick_port(s, name):
    s.click("ComboBox1", dx=-8)
    s.wait_for(lambda: name in s.w("ComboBox1")["items"], 5, f"{name} listed")
    items = s.w("ComboBox1")["items"]
    s.key("Home", *(["Down"] * items.index(name)), "Return")
    s.wait_widget("ComboBox1", text=name)


def replies_sent(log_path):
    entries = e2e_harness.parse_sim_log(e2e_harness.read_text(log_path))
    return sum(1 for e in entries if e.kind == "TX" and e.data[1:3] == bytes([3, 4]))


def run(args):
    os.makedirs(args.out, exist_ok=True)
    e2e_harness.ARGS.update(monitor=args.monitor, sim=args.sim, artifacts=None)
    s = e2e_harness.Session("real-monitor")
    rows = []
    try:
        s.start_x()
        log = s.start_sim("COM7")
        s.start_monitor()
        pid = s.monitor.pid
        rows.append(measure(s, args.seconds, "disconnected, just started", "orvik-monitor on Xvfb"))

        pick_port(s, "COM7")
        s.click("Button1")
        s.wait_widget("Button1", timeout=30, text="断开", enabled=True)
        rows.append(measure(s, args.seconds, "connected, hardware page", "orvik-monitor + orvik-sim 9600"))
        # The same with the keyboard focus given to the root window, as when the user works in another program.
        s.xdo("windowfocus", "--sync", root_window(s))
        rows.append(measure(s, args.seconds, "connected, hardware page, window in the background",
                            "orvik-monitor + orvik-sim 9600; xdotool windowfocus <root>"))
        s.click_at(*window_origin(s))  # back to the front, for the tab click

        s.click_tab("数据获取")
        s.wait_widget("PageControl1", itemIndex=1)
        start = replies_sent(log)
        s.wait_for(lambda: replies_sent(log) >= start + 3, 40, "three polls answered")
        memory = {"vm_hwm_kib": status_kib(pid, "VmHWM"), "vm_rss_kib": status_kib(pid, "VmRSS"),
                  "polls_answered": replies_sent(log) - start,
                  "command": "orvik-monitor + orvik-sim 9600, data page, 5 s polling interval"}
        rows.append(measure(s, args.seconds, "polling every 5 s, data page", "orvik-monitor + orvik-sim 9600"))
    finally:
        s.close()

    with open(os.path.join(args.out, "idle.csv"), "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=list(rows[0]))
        writer.writeheader()
        writer.writerows(rows)
    with open(os.path.join(args.out, "memory.csv"), "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=list(memory))
        writer.writeheader()
        writer.writerow(memory)
    for row in rows:
        print(f"{row['state']}: {row['wakeups_per_s']} wake-ups/s, {row['syscalls_per_s']} syscalls/s, "
              f"{row['cpu_pct_of_core']} % of a core", file=sys.stderr)
    print(f"peak memory {memory['vm_hwm_kib'] / 1024:.1f} MiB", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=int, default=10)
    run(parser.parse_args())


if __name__ == "__main__":
    main()
