#!/usr/bin/python3
"""Lines that put frames on the wire which are not the polled device's answer: an adapter that echoes the master's
own requests, and sensors that answer after the next poll has gone out."""
import time

from e2e_harness import E2ETestCase, distance_text, main
from test_connect import search_rates
from test_polling import distance_of, polled_slave

ABSENT = 4


def replies_by_slave(log):
    """Every distance each sensor sent, as the window would show it."""
    sent = {}
    for e in log:
        if e.kind == "TX" and e.data[1:3] == bytes([3, 4]) and "adapter echo" not in e.note:
            sent.setdefault(e.data[0], set()).add(distance_text(distance_of(e)))
    return sent


def go_polling(test, interval="1"):
    s = test.s
    s.replace_text("Edit17", interval)
    s.click_tab("数据获取")
    s.wait_widget("PageControl1", itemIndex=1)


class EchoingAdapter(E2ETestCase):
    """The device at 115200 behind an adapter that hears itself: the echo of each request comes back at once, at
    whatever rate it went out, and the answer follows about 80 ms later (its own frame) or 2-4 ms later (one frame with the
    echo, as the monitor ends a frame after 25 ms of silence)."""

    def test_answer_in_its_own_frame(self):
        self.search_and_poll("--late-ms", "60")

    def test_answer_in_one_frame_with_the_echo(self):
        self.search_and_poll("--turnaround-ms", "0")

    def search_and_poll(self, *timing):
        s = self.s
        log_path = s.start_sim("COM21", "--baud", "115200", "--phys", "42", "--echo", "--slaves", "1-3", *timing)
        s.start_monitor()
        self.connect("COM21", timeout=90)
        self.check_device(log_path)
        self.check_rows(log_path)

    def check_device(self, log_path):
        w = self.s.dump()["by_name"]
        self.assertEqual(w["ComboBox2"]["text"], "115200", "connected at the device's own rate")
        self.assertEqual(w["Panel11"]["text"], "42", "the device's physical address, not the echoed request's")
        rx = [e for e in self.sim_log(log_path) if e.kind == "RX"]
        self.assertEqual([e.baud for e in rx], search_rates(115200))

    def check_rows(self, log_path):
        s = self.s
        go_polling(self)
        s.wait_for(lambda: any(polled_slave(e) == ABSENT + 1 for e in self.sim_log(log_path)), 30,
                   f"the poll after slave {ABSENT}'s")
        time.sleep(0.3)  # the verdict on slave 4 lands within the next poll's first 25 ms
        sent = replies_by_slave(self.sim_log(log_path))
        w = s.dump()["by_name"]
        for n in range(1, ABSENT + 1):
            box, field = w[f"LinkBox{n}"], w[f"DistanceEdit{n}"]
            if n == ABSENT:
                self.assertEqual((box["checked"], field["text"]), (False, ""), "an absent slave's row stays empty")
            else:
                self.assertTrue(box["checked"], f"slave {n} answered")
                self.assertIn(field["text"], sent[n], f"slave {n}'s row shows its own distance")


class LateReplies(E2ETestCase):
    """Sensors 2 and 4 answer 1.15 s after their poll, when the monitor already polls the next slave (every 1 s)."""

    def test_late_answer_lands_in_no_row(self):
        s = self.s
        log_path = s.start_sim("COM23", "--slaves", "1-4", "--late-ms", "2:1150", "--late-ms", "4:1150")
        s.start_monitor()
        self.connect("COM23")
        go_polling(self)
        samples = []
        deadline = time.monotonic() + 40
        while time.monotonic() < deadline:
            w = s.dump()["by_name"]
            samples.append({n: (w[f"LinkBox{n}"]["checked"], w[f"DistanceEdit{n}"]["text"]) for n in range(1, 9)})
            if sum(1 for e in self.sim_log(log_path) if polled_slave(e)) >= 7:
                break
            time.sleep(0.05)
        s.screenshot("late-replies")
        log = self.sim_log(log_path)
        sent = replies_by_slave(log)
        on_time = self.answered_on_time(log)
        self.assertIn(1, on_time, "slave 1 answers within its poll")
        self.assertTrue({2, 4} <= set(sent), "the late answers did go out")
        for sample in samples:
            for n, (checked, text) in sample.items():
                self.assertIn(text, {""} | sent.get(n, set()), f"row {n} shows only slave {n}'s own distance")
                if checked:
                    self.assertIn(n, on_time, f"LinkBox{n} ticked, yet slave {n} did not answer its poll in time")
        final = samples[-1]
        self.assertEqual(final[1][0], True)
        self.assertNotEqual(final[1][1], "")

    @staticmethod
    def answered_on_time(log):
        """Slaves with a reply that went out before the next poll."""
        on_time, polled, at = set(), None, 0.0
        for e in log:
            if polled_slave(e):
                polled, at = polled_slave(e), e.t
            elif e.kind == "TX" and e.data[:1] == bytes([polled or 0]) and e.t - at < 1.0:
                on_time.add(polled)
        return on_time


if __name__ == "__main__":
    main()
