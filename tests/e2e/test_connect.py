#!/usr/bin/python3
"""Connecting to simulated lines at 9600, 600 and 115200 baud through one window, and disconnecting between them."""
import os

from e2e_harness import E2ETestCase, main

INFO_READ = "FF 03 00 11 00 06 80 13"
LIST_RATES = [600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200]


def search_rates(device_rate):
    """What the line hears up to the device's rate: two tries at 9600, then two per rate of the list."""
    if device_rate == 9600:
        return [9600, 9600]
    return [9600, 9600] + [r for r in LIST_RATES[: LIST_RATES.index(device_rate) + 1] for _ in (0, 1)]


# The device answers the reads sent to 255 under its logical address (1), or, as some firmware does, under 255.
LINES = (("COM11", 9600, "01"), ("COM12", 600, "FF"), ("COM13", 115200, "01"))


class Connect(E2ETestCase):
    def test_connect_at_three_rates_then_disconnect(self):
        s = self.s
        logs = {rate: s.start_sim(port, "--baud", str(rate), "--phys", "42",
                                  *(["--answer-255"] if under == "FF" else []))
                for port, rate, under in LINES}
        s.start_monitor()
        times = {}
        for port, rate, under in LINES:
            with self.subTest(rate=rate):
                times[rate] = self.connect(port)
                self.check_connected(rate, under, logs[rate])
                if rate == 9600:
                    s.screenshot("hardware-page-connected")
                self.disconnect()
        with open(os.path.join(s.art, "connect-times.txt"), "w") as f:
            for rate, seconds in times.items():
                f.write(f"{rate} baud: {seconds:.2f} s\n")
        # The schedule is 2 s + 1.2 s per pass of the search; these bounds only catch a search that skips or repeats
        # passes, not a slow machine.
        self.assertGreater(times[9600], 1.8)
        self.assertGreater(times[600], 3.0)
        self.assertGreater(times[115200], 12.0)

    def check_connected(self, rate, under, log_path):
        s = self.s
        d = s.dump()
        w = d["by_name"]
        self.assertEqual(w["StatusBar1"]["text"], "联机成功")
        self.assertEqual((w["Button1"]["text"], w["Button1"]["enabled"], w["Button1"]["textColor"]),
                         ("断开", True, "#008000"))
        self.assertFalse(w["ComboBox1"]["enabled"])
        self.assertEqual((w["ComboBox2"]["enabled"], w["ComboBox2"]["text"]), (True, str(rate)))
        self.assertTrue(w["BitBtn5"]["enabled"])
        self.assertTrue(d["link"]["DeviceFound"])
        self.assertEqual(w["Panel11"]["text"], "42", "the device information came from this line")

        rx = [e for e in self.sim_log(log_path) if e.kind == "RX"]
        self.assertEqual([e.hex for e in rx], [INFO_READ] * len(rx))
        self.assertEqual([e.baud for e in rx], search_rates(rate))
        answers = [e for e in self.sim_log(log_path) if e.kind == "TX"]
        self.assertTrue(answers and all(e.baud == rate and e.hex.startswith(under + " 03 0C") for e in answers))
        # Every answer is a line of the debug memo, as hex pairs each followed by a blank.
        self.assertEqual(d["memo"][-len(answers):], [e.hex + " " for e in answers])

    def disconnect(self):
        s = self.s
        s.click("Button1")
        s.wait_widget("Button1", text="联机", enabled=True)
        d = s.dump()
        w = d["by_name"]
        self.assertTrue(w["ComboBox1"]["enabled"])
        self.assertFalse(w["ComboBox2"]["enabled"])
        self.assertFalse(w["BitBtn5"]["enabled"])
        self.assertEqual(w["Button1"]["textColor"], "#008000", "disconnecting leaves the colour as it was")
        self.assertFalse(d["link"]["DeviceFound"])


if __name__ == "__main__":
    main()
