#!/usr/bin/python3
"""The device commands of the hardware page: read the device, write its parameters, move it to another baud rate."""
from e2e_harness import E2ETestCase, frame_hex, main

MODE_CONTINUOUS = 2  # 连续测量


def kind(log, k):
    return [e for e in log if e.kind == k]


class Commands(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.log = self.s.start_sim("COM14", "--phys", "23", "--distance", "fixed:1234.5")
        self.s.start_monitor()
        self.connect("COM14")

    def wait_log(self, predicate, what, timeout=10):
        return self.s.wait_for(lambda: predicate(self.sim_log(self.log)), timeout, what)

    def test_read_write_and_read_back(self):
        s = self.s
        # The device's own values arrived with the connect: 12345 tenths of a millimetre show as 1.235 m.
        w = s.dump()["by_name"]
        self.assertEqual([w[n]["text"] for n in ("Panel11", "Edit1", "Panel13", "Edit2")], ["23", "1", "1.235", "0"])
        self.assertEqual((w["ComboBox3"]["itemIndex"], w["ComboBox3"]["text"]), (0, "关闭状态"))

        s.replace_text("Edit2", "37")
        s.replace_text("Edit1", "12")
        s.choose("ComboBox3", MODE_CONTINUOUS)
        s.click("Button2")
        # The connect's two reads come first on the line.
        self.wait_log(lambda log: len(kind(log, "RX")) >= 5 and len(kind(log, "TX")) >= 5, "three writes echoed")
        log = self.sim_log(self.log)
        writes, echoes = kind(log, "RX")[2:], kind(log, "TX")[2:]
        self.assertEqual([e.hex for e in writes],
                         ["FF 06 00 11 00 02 4D D0", "FF 06 00 13 00 25 AC 0A", "FF 06 00 14 00 0C DC 15"])
        gaps = [b.t - a.t for a, b in zip(writes, writes[1:])]
        self.assertTrue(all(0.4 < g < 3.0 for g in gaps), f"writes about 500 ms apart: {gaps}")
        # Confirmed under the device's logical address, 1 until the last of the three writes has taken effect.
        self.assertEqual([e.hex for e in echoes],
                         ["01 06 00 11 00 02 58 0E", "01 06 00 13 00 25 B9 D4", "01 06 00 14 00 0C C9 CB"])
        s.wait_for(lambda: s.dump()["memo"][-3:] == [e.hex + " " for e in echoes], 5, "the echoes in the memo")

        # Put other values in the fields, so that only a read can bring the written ones back.
        s.replace_text("Edit2", "5")
        s.replace_text("Edit1", "3")
        s.choose("ComboBox3", 0)
        s.click("BitBtn6")
        s.wait_widget("Edit2", text="37")
        w = s.dump()["by_name"]
        self.assertEqual((w["Edit1"]["text"], w["ComboBox3"]["itemIndex"], w["ComboBox3"]["text"]),
                         ("12", MODE_CONTINUOUS, "连续测量"))
        self.assertEqual(self.sim_log(self.log)[-1].note, "device info")
        self.assertTrue(self.sim_log(self.log)[-1].hex.startswith("0C 03 0C"), "now under logical address 12")
        s.screenshot("after-read-back")

    def test_baud_change_then_polling_at_the_new_rate(self):
        s = self.s
        s.choose("ComboBox2", 8)
        s.click("BitBtn5")
        s.wait_widget("StatusBar1", text="波特率更新成功！")
        log = self.sim_log(self.log)
        change = [e for e in log if e.kind in ("RX", "TX", "RATE")][-3:]
        self.assertEqual([(e.kind, e.baud, e.hex) for e in change],
                         [("RX", 9600, "FF 06 00 18 C2 00 4D 73"), ("TX", 9600, "01 06 00 18 C2 00 58 AD"),
                          ("RATE", 115200, "")])

        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        self.assertEqual(s.wait_widget("PageControl1", itemIndex=1)["itemIndex"], 1)
        self.wait_log(lambda log: any(e.hex.startswith("02 03 04") for e in kind(log, "TX")), "slave 2 answered")
        log = self.sim_log(self.log)
        after = log[[e.kind for e in log].index("RATE") + 1:]
        self.assertEqual({e.baud for e in after}, {115200}, "the whole line moved to the new rate")
        self.assertEqual([e.hex for e in kind(after, "RX")][:2], ["01 03 00 15 00 02 D5 CF", frame_hex(2, 3, 0, 21, 0, 2)])
        s.wait_widget("DistanceEdit2", text="1.235")
        s.wait_widget("LinkBox1", checked=True, enabled=True)
        s.click_tab("硬件设置")
        s.wait_for(lambda: not s.dump()["timer1"]["active"], 5, "polling stopped on leaving the data page")


if __name__ == "__main__":
    main()
