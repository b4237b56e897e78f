#!/usr/bin/python3
"""The window as it first appears, the port list a drop-down offers, a connect to a line where nothing answers, and a
command line refused before any window."""
import os
import subprocess
import time

from e2e_harness import ARGS, E2ETestCase, frame_hex, main

INFO_READ = "FF 03 00 11 00 06 80 13"
SEARCH_RATES = [9600, 9600] + [r for r in (600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200) for _ in (0, 1)]


class StartUp(E2ETestCase):
    def test_start_up_state_and_port_list(self):
        s = self.s
        sim_log = s.start_sim("COM10")
        s.pty_line("COM7")  # a second live link, silent
        os.symlink("/dev/pts/does-not-exist", os.path.join(s.ports, "COM9"))  # dangling
        open(os.path.join(s.tmp, "plain-file"), "w").close()
        os.symlink(os.path.join(s.tmp, "plain-file"), os.path.join(s.ports, "COM3"))  # not a terminal
        s.start_monitor()
        d = s.dump()
        w = d["by_name"]
        self.assertEqual(frame_hex(255, 3, 0, 17, 0, 6), INFO_READ)  # the harness's CRC agrees with the wire

        self.assertEqual((w["Button1"]["text"], w["Button1"]["enabled"]), ("联机", True))
        self.assertEqual((w["ComboBox2"]["text"], w["ComboBox2"]["enabled"]), ("600", False))
        self.assertFalse(w["BitBtn5"]["enabled"])
        for hidden in ("BitBtn1", "BitBtn2", "BitBtn4"):
            self.assertFalse(w[hidden]["visible"], hidden)
        self.assertEqual([t["text"] for t in w["PageControl1"]["tabs"]], ["硬件设置", "数据获取", "关于"])
        self.assertEqual(w["PageControl1"]["itemIndex"], 0)
        self.assertTrue(w["TabSheet1"]["visible"])
        self.assertFalse(w["TabSheet2"]["visible"])
        self.assertEqual((w["ComboBox1"]["items"], w["ComboBox1"]["text"]), ([], ""))
        self.assertEqual(d["memo"], [])
        self.assertFalse(d["link"]["DeviceFound"])
        self.assertFalse(d["timer1"]["active"])
        # Centred on the 1280 x 800 screen with its 981 x 512 client area.
        self.assertEqual(w["PageControl1"]["geometry"], [149, 144, 981, 512])
        s.screenshot("start-up")

        s.click("ComboBox1", dx=-8)
        items = s.wait_for(lambda: s.w("ComboBox1")["items"], 5, "the port list")
        s.screenshot("port-list")
        ours = [n for n in items if n in ("COM3", "COM7", "COM9", "COM10")]
        self.assertEqual(ours, ["COM10", "COM7"], "text order, live terminal links only")
        self.assertEqual(items, sorted(items, key=str.casefold), "the whole list collates as text")
        s.key("Escape")
        self.assertEqual(s.w("ComboBox1")["itemIndex"], -1, "opening the list selects nothing")
        self.assertEqual([e.kind for e in self.sim_log(sim_log)], [], "listing ports sends nothing")

    def test_nothing_answering(self):
        s = self.s
        line = s.pty_line("COM5")  # a bare terminal: nobody answers
        s.start_monitor()
        self.pick_port("COM5")
        start = time.monotonic()
        s.click("Button1")
        s.wait_widget("Button1", timeout=5, enabled=False, text="联机", textColor="#ff0000")
        self.assertEqual(s.w("StatusBar1")["text"], "联机中...")
        self.assertFalse(s.w("ComboBox1")["enabled"])

        boxes = s.wait_for(s.box_windows, 60, "the communication-error box")
        elapsed = time.monotonic() - start
        s.screenshot("no-answer-box")
        texts = [w.get("text") for w in s.dump()["windows"]]
        self.assertEqual(texts, ["通讯错误，请检查接线!"])
        # Two tries at 9600, then two per rate of the list: about 2 s + 9 x 1.2 s.
        self.assertGreater(elapsed, 10.0)
        s.press_enter_on(boxes[0])
        s.wait_for(lambda: not s.dump()["windows"], 10, "the box closed")

        w = s.dump()["by_name"]
        self.assertEqual((w["Button1"]["text"], w["Button1"]["enabled"]), ("联机", True))
        self.assertFalse(w["ComboBox1"]["enabled"])
        self.assertEqual((w["ComboBox2"]["enabled"], w["ComboBox2"]["text"]), (False, "115200"))
        self.assertFalse(w["BitBtn5"]["enabled"])
        self.assertEqual(w["StatusBar1"]["text"], "")
        sent = line.log()
        self.assertEqual([baud for _, baud, _ in sent], SEARCH_RATES)
        self.assertEqual({frame.hex(" ").upper() for _, _, frame in sent}, {INFO_READ})
        with open(os.path.join(s.art, "timing.txt"), "w") as f:
            f.write(f"no answer: box after {elapsed:.2f} s\n")

    def test_bad_prefix_refused_before_the_window(self):
        result = subprocess.run([ARGS["monitor"], "--mqtt-host", "x", "--mqtt-prefix", "plant/+/x"], env=self.s.env(),
                                capture_output=True, text=True, timeout=30)
        self.assertEqual((result.returncode, result.stderr.splitlines()), (2, [
            "orvik-monitor: --mqtt-prefix \"plant/+/x\" is refused: '+' and '#' are wildcards, not part of a topic"]))
        self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    main()
