#!/usr/bin/python3
"""Each slave's poll statistics as a screen reader reads them, against what the line heard and sent; and the two
exports through the real menus and file dialogs: the distances as CSV from the data page, the debug memo as a log."""
import datetime
import os
import re

from e2e_atspi import atspi, main_with_atspi, monitor_app, named
from e2e_harness import E2ETestCase, distance_text
from test_polling import distance_of, polled_slave

ANSWERING, SILENT = 2, 4  # the simulator answers for 1-3 only
TENTHS_MM = 12345  # --distance fixed:1234.5
STAMP = re.compile(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\t(.*)")
ISO_TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")
ANSWER_TIMES = re.compile(r"(\d+\.\d) ms（中位 (\d+\.\d) ms）")


def replies(log, slave=None):
    return [e for e in log if e.kind == "TX" and e.data[1:3] == bytes([3, 4]) and slave in (None, e.data[0])]


def expected_counts(log, slave):
    """'轮询 … · 无应答 n' as the line log tells it: a poll goes unanswered once the next one leaves without a reply."""
    polls = [polled_slave(e) for e in log if polled_slave(e)]
    answers = len(replies(log, slave))
    silent = polls[:-1].count(slave) if answers == 0 else 0
    return f"轮询 {polls.count(slave)} · 应答 {answers} · 校验错 0 · 无应答 {silent} · 响应 "


def click_last_menu_entry(s):
    """Clicks the bottom entry of the popup menu that is showing, just above the menu's lower edge. AT-SPI cannot
    place the entry: Qt leaves popups out of the application's windows there."""
    menu = s.wait_for(lambda: next((w for w in s.dump()["windows"] if w["class"] == "QMenu"), None), 5, "a menu")
    x, y, width, height = menu["geometry"]
    s.click_at(x + width // 2, y + height - 9)


def save_through_dialog(s, title, path):
    """Types the full path into the file dialog's name field (focused when it opens) and accepts it with Enter."""
    window = s.wait_for(lambda: s.xdo("search", "--onlyvisible", "--name", f"^{title}$"), 10, f"the dialog {title}")
    s.xdo("windowfocus", "--sync", window[0])
    s.key("ctrl+a")
    s.type_text(path)
    s.key("Return")
    s.wait_for(lambda: os.path.exists(path), 10, f"{path} written")
    s.wait_for(lambda: not s.xdo("search", "--onlyvisible", "--name", f"^{title}$"), 10, f"the dialog {title} closed")


class Statistics(E2ETestCase):
    def setUp(self):
        super().setUp()
        s = self.s
        s.start_accessibility_bus()
        self.log_path = s.start_sim("COM41", "--slaves", "1-3", "--distance", f"fixed:{TENTHS_MM / 10}")
        s.start_monitor()
        self.app = monitor_app(s)
        self.rows = {}
        self.started = datetime.datetime.now()
        self.connect("COM41")

    def description(self, slave):
        """The row's statistics, as its link box and its distance field describe themselves; the two must agree."""
        if slave not in self.rows:
            R = atspi().Role
            self.rows[slave] = named(self.app, f"Addr: ID {slave} 连接状态", R.CHECK_BOX) \
                + named(self.app, f"Addr: ID {slave} 距离", R.TEXT)
            self.assertEqual(len(self.rows[slave]), 2, f"row {slave}'s link box and distance field")
        texts = set()
        for node in self.rows[slave]:
            node.clear_cache()  # the client library keeps what it read until told otherwise
            texts.add(node.get_description())
        self.assertEqual(len(texts), 1, f"row {slave}: {texts}")
        return texts.pop()

    def poll_then_stop(self):
        """Polls at 1 s until slave 4 has been judged twice (a poll of 5 in the second cycle), then stops."""
        s = self.s
        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        s.wait_widget("PageControl1", itemIndex=1)
        polls = lambda: [polled_slave(e) for e in self.sim_log(self.log_path) if polled_slave(e)]  # noqa: E731
        s.wait_for(lambda: polls().count(SILENT + 1) >= 2, 60, "slave 4 polled in the second cycle")
        s.screenshot("data-page")
        s.click_tab("硬件设置")
        s.wait_for(lambda: not s.dump()["timer1"]["active"], 5, "polling stopped")

    def test_statistics_and_exports(self):
        s = self.s
        self.assertEqual(self.description(ANSWERING), "轮询 0 · 应答 0 · 校验错 0 · 无应答 0 · 响应 —")
        self.poll_then_stop()

        # The reply to the last poll may still be on its way: wait until the window agrees with the line.
        def agrees():
            log = self.sim_log(self.log_path)
            return all(self.description(n).startswith(expected_counts(log, n)) for n in (ANSWERING, SILENT))
        s.wait_for(agrees, 5, "the statistics to agree with the line log")
        log = self.sim_log(self.log_path)
        answering, silent = self.description(ANSWERING), self.description(SILENT)
        self.assertEqual(answering[:len(expected_counts(log, ANSWERING))], expected_counts(log, ANSWERING))
        self.assertIn("轮询 2 · 应答 2 · 校验错 0 · 无应答 0", answering)
        self.assertEqual(silent, "轮询 2 · 应答 0 · 校验错 0 · 无应答 2 · 响应 —")
        # The simulator turns round in 3 ms and a reply takes ~9.4 ms at 9600 baud; the bound allows a busy machine.
        times = ANSWER_TIMES.fullmatch(answering[len(expected_counts(log, ANSWERING)):])
        self.assertTrue(times, answering)
        self.assertTrue(all(5 <= float(t) < 500 for t in times.groups()), answering)
        sent_before = len(replies(log))

        self.check_distance_export(sent_before)
        self.check_debug_log_export()

    def check_distance_export(self, sent_before):
        s = self.s
        s.click_tab("数据获取")
        s.wait_widget("PageControl1", itemIndex=1)
        s.click("DistanceEdit2", button=3)
        click_last_menu_entry(s)  # 导出距离数据..., below 距离曲线...
        path = os.path.join(s.art, "distances.csv")
        save_through_dialog(s, "导出距离数据", path)
        s.click_tab("硬件设置")
        s.wait_for(lambda: not s.dump()["timer1"]["active"], 5, "polling stopped")

        with open(path, "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"time,slave,distance_m\r\n"), data[:40])
        self.assertTrue(data.endswith(b"\r\n") and b"\n" not in data.replace(b"\r\n", b""), "CRLF line ends only")
        rows = [line.split(",") for line in data.decode().split("\r\n")[1:-1]]
        self.assertTrue(all(len(r) == 3 and ISO_TIME.fullmatch(r[0]) for r in rows), rows)
        self.assertEqual({r[1] for r in rows}, {"1", "2", "3"}, "the answering slaves, none of the silent ones")
        log = self.sim_log(self.log_path)
        self.assertEqual({r[2] for r in rows}, {distance_text(distance_of(e)) for e in replies(log)})
        self.assertEqual({r[2] for r in rows}, {distance_text(TENTHS_MM)})
        # Every reply up to the first stop, and no more than the line sent by the time polling stopped again.
        self.assertTrue(sent_before <= len(rows) <= len(replies(log)), (sent_before, len(rows), len(replies(log))))
        stamps = [datetime.datetime.fromisoformat(r[0]) for r in rows]
        now = datetime.datetime.now().astimezone()
        self.assertTrue(self.started.astimezone() <= stamps[0] and stamps == sorted(stamps) and stamps[-1] <= now)

    def check_debug_log_export(self):
        s = self.s
        s.click("Memo1", button=3)
        click_last_menu_entry(s)  # 保存调试信息..., below Qt's own entries
        path = os.path.join(s.art, "debug-log.txt")
        save_through_dialog(s, "保存调试信息", path)

        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        stamped = [STAMP.fullmatch(line) for line in lines]
        self.assertTrue(lines and all(stamped), lines)
        # Every frame the line sent, in order: the two device reads of the connect, then the distance replies.
        sent = [e.hex for e in self.sim_log(self.log_path) if e.kind == "TX"]
        self.assertEqual([m.group(2).strip() for m in stamped], sent)
        stamps = [datetime.datetime.strptime(m.group(1), "%Y-%m-%d %H:%M:%S.%f") for m in stamped]
        self.assertTrue(self.started <= stamps[0] and stamps == sorted(stamps) and stamps[-1] <= datetime.datetime.now())
        s.screenshot("saved")


if __name__ == "__main__":
    main_with_atspi()
