#!/usr/bin/python3
"""The window as a screen reader sees it through AT-SPI: the status bar by role and name, before and after
connecting, with each new status announced; and the custom controls by role and name."""
from e2e_atspi import atspi, main_with_atspi, monitor_app, walk
from e2e_harness import E2ETestCase


class Accessibility(E2ETestCase):
    def test_status_bar_and_custom_controls(self):
        s = self.s
        s.start_accessibility_bus()
        s.start_sim("COM31", "--phys", "42")
        s.start_monitor()
        Atspi = atspi()
        Atspi.init()
        from gi.repository import GLib
        announced = []

        def on_name(event):
            if event.source.get_role() == Atspi.Role.STATUS_BAR:
                # The event does not carry the name, and by the time it is handled the bar may say something else.
                announced.append(event.source.get_name())
        listener = Atspi.EventListener.new(on_name)
        listener.register("object:property-change:accessible-name")

        monitor = monitor_app(s)

        def status_bar():
            return next((n for n in walk(monitor) if n.get_role() == Atspi.Role.STATUS_BAR), None)
        bar = s.wait_for(status_bar, 10, "a status bar")
        self.assertEqual(bar.get_name(), "")

        self.connect("COM31")
        context = GLib.MainContext.default()

        def heard_connected():
            while context.pending():
                context.iteration(False)
            return len(announced) >= 2 and announced[-1] == "联机成功"
        s.wait_for(heard_connected, 10, "联机中... and 联机成功 announced")
        self.assertEqual(status_bar().get_name(), "联机成功")
        listener.deregister("object:property-change:accessible-name")

        nodes = [(n.get_role(), n.get_name().strip()) for n in walk(monitor)]
        R = Atspi.Role
        # A combo box is named by its current item, as Qt names every combo box.
        for expected in [(R.SPIN_BUTTON, "轮循间隔时间"), (R.SPIN_BUTTON, "逻辑地址"), (R.COMBO_BOX, "9600"),
                         (R.PAGE_TAB, "硬件设置"), (R.PAGE_TAB, "数据获取"), (R.LABEL, "42"),
                         (R.LABEL, "设备信息"), (R.IMAGE, "RS-485 总线上的多个距离传感器")]:
            self.assertIn(expected, nodes)
        fields = [n for n in walk(monitor) if n.get_name() == "Addr: ID 1 距离"]
        self.assertEqual(len(fields), 1, "the data page's first distance field, named by its row")
        states = fields[0].get_state_set()
        self.assertTrue(states.contains(Atspi.StateType.READ_ONLY))
        self.assertFalse(states.contains(Atspi.StateType.FOCUSABLE))


if __name__ == "__main__":
    main_with_atspi()
