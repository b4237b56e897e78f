#!/usr/bin/python3
"""Fan-in: four monitors, each polling its own simulated line of sixteen sensors, publish to one broker; one
subscriber hears them all. Checks that every distance each line sent arrived, once and in order, and writes how long
each took from the row being written to the subscriber (fan_in.csv) with a summary line on stdout.

    bench/fan_in.py --monitor build-bench/app/orvik-monitor --sim build-bench/tools/sim/orvik-sim --out docs/perf
                    [--seconds 60]
"""
import argparse
import json
import os
import statistics
import sys
import time
from datetime import datetime

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e_harness  # noqa: E402
from e2e_harness import Session, read_text  # noqa: E402

LINES = ["COM11", "COM12", "COM13", "COM14"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--monitor", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--seconds", type=int, default=60)
    a = ap.parse_args()
    e2e_harness.ARGS.update(monitor=a.monitor, sim=a.sim, artifacts=os.path.join(a.out, "fan-in-artifacts"))
    sessions = [Session(f"fan-in-{line}") for line in LINES]
    hub = sessions[0]
    try:
        port = hub.start_broker()
        heard = hub.start_subscriber(port, "fan", "-F", "%U %t %p")
        logs = {}
        for s, line in zip(sessions, LINES):
            s.start_x()
            logs[line] = s.start_sim(line, "--slaves", "1-16")
            s.start_monitor("--mqtt-host", "127.0.0.1", "--mqtt-port", str(port), "--mqtt-prefix", "fan")
            s.connect(line)
            s.replace_text("Edit17", "1")
        for s in sessions:
            s.click_tab("数据获取")
        time.sleep(a.seconds)  # the length of the run itself
        for s in sessions:
            s.click_tab("硬件设置")
        for s in sessions:
            s.wait_for(lambda: not s.dump()["timer1"]["active"], 10, "polling stopped")

        sent = {}
        for line, path in logs.items():
            for e in e2e_harness.parse_sim_log(read_text(path)):
                if e.kind == "TX" and e.data[1:3] == bytes([3, 4]):
                    sent.setdefault(line, []).append((e.data[0], int.from_bytes(e.data[3:7], "big", signed=True)))

        def arrived():
            out, delays = {}, []
            for row in read_text(heard).splitlines():
                t, topic, payload = row.split(" ", 2)
                parts = topic.split("/")
                if len(parts) == 4 and parts[3] == "distance":
                    p = json.loads(payload)
                    out.setdefault(parts[1], []).append((int(parts[2]), p["raw"]))
                    delays.append(float(t) - datetime.fromisoformat(p["time"]).timestamp())
            return out, delays
        hub.wait_for(lambda: all(len(arrived()[0].get(line, [])) >= len(sent[line]) for line in LINES), 30,
                     "every distance at the subscriber")
        got, delays = arrived()
        with open(os.path.join(a.out, "fan_in.csv"), "w") as f:
            f.write("line,sent,arrived,in_order\n")
            for line in LINES:
                f.write(f"{line},{len(sent[line])},{len(got[line])},{int(got[line] == sent[line])}\n")
        delays.sort()
        p99 = delays[min(len(delays) - 1, int(len(delays) * 0.99))]
        print(f"fan-in: {len(LINES)} lines, {sum(len(v) for v in sent.values())} distances sent, "
              f"{sum(len(v) for v in got.values())} arrived, all in order: "
              f"{all(got[line] == sent[line] for line in LINES)}; shown to subscriber median "
              f"{statistics.median(delays) * 1000:.1f} ms, p99 {p99 * 1000:.1f} ms, max {delays[-1] * 1000:.1f} ms")
    finally:
        for s in sessions:
            s.close()


if __name__ == "__main__":
    main()
