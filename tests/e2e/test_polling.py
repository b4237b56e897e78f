#!/usr/bin/python3
"""The polling cycle on the data page: every slave's distance and link box, silent slaves, and a slave that drops out."""
from e2e_harness import E2ETestCase, distance_text, frame_hex, main

SILENT = (4, 11)


def polled_slave(entry):
    return entry.data[0] if entry.kind == "RX" and entry.data[1:4] == bytes([3, 0, 21]) else None


def distance_of(reply):
    return int.from_bytes(reply.data[3:7], "big", signed=True)


class Polling(E2ETestCase):
    def test_two_cycles_with_two_silent_slaves(self):
        s = self.s
        log_path = s.start_sim("COM15", "--slaves", "1-3,5-10,12-16")
        s.start_monitor()
        self.connect("COM15")
        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        s.wait_widget("PageControl1", itemIndex=1)
        self.assertEqual(s.dump()["timer1"], {"active": True, "interval": 1000})

        def polls():
            return [e for e in self.sim_log(log_path) if polled_slave(e)]
        s.wait_for(lambda: len(polls()) >= 33, 60, "two full cycles of polls")  # the 33rd judges slave 16
        s.wait_for(lambda: s.w("LinkBox16")["checked"], 5, "slave 16's second answer shown")
        s.screenshot("data-page")
        s.click_tab("硬件设置")
        s.wait_for(lambda: not s.dump()["timer1"]["active"], 5, "polling stopped")

        log = self.sim_log(log_path)
        sequence = [polled_slave(e) for e in log if polled_slave(e)]
        self.assertEqual(sequence[:32], list(range(1, 17)) * 2, "slave 1 first, then in turn, silent ones too")
        self.assertEqual({e.baud for e in log}, {9600})
        self.assertEqual(next(e.hex for e in log if polled_slave(e)), "01 03 00 15 00 02 D5 CF")
        for e in log:
            if polled_slave(e):
                self.assertEqual(e.hex, frame_hex(e.data[0], 3, 0, 21, 0, 2))
        times = [e.t for e in log if polled_slave(e)]
        mean = (times[31] - times[0]) / 31
        self.assertTrue(0.8 < mean < 2.0, f"one poll a second on average, not {mean:.2f} s")

        last = {}
        for e in log:
            if e.kind == "TX" and e.data[1:3] == bytes([3, 4]):
                last[e.data[0]] = distance_of(e)
        self.assertEqual(sorted(last), [n for n in range(1, 17) if n not in SILENT])

        def shown_as_sent():
            w = s.dump()["by_name"]
            return all(w[f"DistanceEdit{n}"]["text"] == distance_text(last[n]) for n in last)
        # A reply already on its way when polling stopped still lands.
        s.wait_for(shown_as_sent, 5, "every distance as the line last sent it")
        w = s.dump()["by_name"]
        for n in range(1, 17):
            box = w[f"LinkBox{n}"]
            answering = n not in SILENT
            self.assertEqual((box["checked"], box["enabled"]), (answering, answering), f"LinkBox{n}")
            if not answering:
                self.assertEqual(w[f"DistanceEdit{n}"]["text"], "")


class SlaveDrop(E2ETestCase):
    def test_slave_that_stops_answering(self):
        s = self.s
        line = s.pty_line("COM6", device=True, slaves=range(1, 9), drop_after={3: 1})
        s.start_monitor()
        self.connect("COM6")
        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        first = s.wait_widget("LinkBox3", timeout=15, checked=True, enabled=True)
        self.assertTrue(first)
        shown = s.wait_widget("DistanceEdit3", text=distance_text(line.distance_of(3)))["text"]

        def polls_of(slave):
            return [f for _, _, f in line.log() if f[0] == slave and f[1] == 3]
        # The verdict on slave 3 comes with the next poll, of slave 4, in the second cycle.
        s.wait_for(lambda: len(polls_of(4)) >= 2, 40, "the second cycle past slave 3")
        w = s.wait_widget("LinkBox3", timeout=5, checked=False, enabled=False)
        self.assertTrue(w)
        d = s.dump()["by_name"]
        self.assertEqual(d["DistanceEdit3"]["text"], shown, "the last distance stays")
        self.assertEqual((d["LinkBox2"]["checked"], d["LinkBox2"]["enabled"]), (True, True))
        self.assertEqual(len(polls_of(3)), 2)
        s.screenshot("slave-3-dropped")


if __name__ == "__main__":
    main()
