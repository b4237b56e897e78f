#!/usr/bin/python3
"""The goal verdicts of the summary: a wrong threshold or a miscounted split would report a goal the run missed."""
import csv
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import summarise  # noqa: E402

REPLY_FIELDS = ["condition", "baud", "replies", "whole", "split", "merged", "lost", "garbled", "median_ms", "p99_ms",
                "min_ms", "max_ms", "shown_under_floor", "floor_ms", "median_over_floor", "p99_over_floor", "sender_gaps",
                "not_whole_after_sender_gap", "writer_max_gap_us", "writer_max_late_us"]


def reply_row(condition, baud, median, p99, whole=200, replies=200, broken_after_gap=0):
    return {"condition": condition, "baud": baud, "replies": replies, "whole": whole, "split": replies - whole,
            "merged": 0, "lost": 0, "garbled": 0, "median_ms": median, "p99_ms": p99, "min_ms": 25, "max_ms": p99, "shown_under_floor": 0,
            "floor_ms": 25.0, "median_over_floor": median / 25, "p99_over_floor": p99 / 25,
            "sender_gaps": broken_after_gap, "not_whole_after_sender_gap": broken_after_gap, "writer_max_gap_us": 0,
            "writer_max_late_us": 0}


def lines(section):
    return "\n".join(section).splitlines()


class Summary(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write(self, name, fields, rows):
        with open(os.path.join(self.dir.name, name), "w", newline="") as f:
            writer = csv.DictWriter(f, fieldnames=fields)
            writer.writeheader()
            writer.writerows(rows)

    def reply_table_line(self, baud):
        return next(line for line in lines(summarise.reply_section(self.dir.name)) if line.startswith(f"| {baud} | 200 |"))

    def test_reply_goal_holds_up_to_two_and_five_ms_above_the_floor(self):
        self.write("reply_summary.csv", REPLY_FIELDS,
                   [reply_row("plain", 600, 27.0, 30.0), reply_row("plain", 9600, 27.01, 29.0),
                    reply_row("plain", 115200, 26.0, 30.01)])
        self.assertIn("| met |", self.reply_table_line(600))
        self.assertIn("**missed**", self.reply_table_line(9600))
        self.assertIn("**missed**", self.reply_table_line(115200))

    def test_a_split_after_the_writers_own_pause_does_not_count_against_integrity(self):
        self.write("reply_summary.csv", REPLY_FIELDS,
                   [reply_row("plain", 600, 25.5, 28.0, whole=199, broken_after_gap=1)])
        self.assertIn("Goal (all whole): met.", summarise.reply_section(self.dir.name))

    def test_breaks_in_the_bare_event_loop_judge_nothing(self):
        self.write("reply_summary.csv", REPLY_FIELDS,
                   [reply_row("plain", 600, 25.5, 28.0), reply_row("platform", 600, 25.3, 28.0, whole=198)])
        self.assertIn("Goal (all whole): met.", summarise.reply_section(self.dir.name))

    def test_a_split_without_a_pause_fails_integrity(self):
        self.write("reply_summary.csv", REPLY_FIELDS,
                   [reply_row("plain", 600, 25.5, 28.0), reply_row("in-wait", 600, 101.0, 125.0, whole=29, replies=30)])
        self.assertIn("Goal (all whole): **missed**.", summarise.reply_section(self.dir.name))

    def test_idle_goal_is_zero_wake_ups_but_polling_has_none(self):
        fields = ["state", "seconds", "threads", "focus", "wakeups_per_s", "syscalls_per_s", "cpu_pct_of_core",
                  "command"]
        self.write("idle.csv", fields, [
            {"state": "disconnected", "seconds": 10, "threads": 3, "focus": "none", "wakeups_per_s": "0.00",
             "syscalls_per_s": "0", "cpu_pct_of_core": "0", "command": "x"},
            {"state": "connected", "seconds": 10, "threads": 3, "focus": "Edit1", "wakeups_per_s": "0.10",
             "syscalls_per_s": "1", "cpu_pct_of_core": "0", "command": "x"},
            {"state": "polling every 5 s", "seconds": 10, "threads": 3, "focus": "none", "wakeups_per_s": "2.0",
             "syscalls_per_s": "7", "cpu_pct_of_core": "0.1", "command": "x"}])
        cost = lines(summarise.cost_section(self.dir.name))
        self.assertIn("| met |", next(line for line in cost if "idle: disconnected" in line))
        self.assertIn("**missed**", next(line for line in cost if "idle: connected" in line))
        self.assertIn("| - | - |", next(line for line in cost if "idle: polling" in line))

    def test_start_up_is_the_median_beside_the_empty_window(self):
        self.write("startup.csv", ["run", "program", "cache", "mapped_ms"],
                   [{"run": i, "program": p, "cache": "warm", "mapped_ms": ms}
                    for i, (p, ms) in enumerate([("orvik-monitor", 40), ("orvik-monitor", 45), ("orvik-monitor", 900),
                                                 ("blank", 20), ("blank", 30), ("blank", 25)])])
        line = next(line for line in lines(summarise.cost_section(self.dir.name)) if "start-up" in line)
        self.assertIn("| 45.0 ms | empty Qt window 25.0 ms; ratio 1.80 |", line)
        self.assertIn("| met |", line)


if __name__ == "__main__":
    unittest.main(verbosity=2)
