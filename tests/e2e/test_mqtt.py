#!/usr/bin/python3
"""Publishing to a real mosquitto broker: every distance the window shows arrives, each slave's and the line's status,
and the broker's last will when the monitor is killed; after a link cut and a broker restart the site shows the truth
again; 清除发布信息 leaves the broker nothing of the monitor's."""
import json
import os
import shutil
import signal
import socket
import subprocess
import threading

from e2e_harness import E2ETestCase, distance_text, main, read_text

BROKER = shutil.which("mosquitto") or "/usr/sbin/mosquitto"


class TcpProxy:
    """Between the monitor and the broker; cut() resets every connection at once, as a network blip does."""

    def __init__(self, broker_port):
        self.broker_port = broker_port
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.sockets = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            try:
                broker = socket.create_connection(("127.0.0.1", self.broker_port))
            except OSError:  # the broker is away: the monitor sees its connection refused
                client.close()
                continue
            self.sockets += [client, broker]
            for a, b in ((client, broker), (broker, client)):
                threading.Thread(target=self._pump, args=(a, b), daemon=True).start()

    @staticmethod
    def _pump(source, sink):
        try:
            while data := source.recv(65536):
                sink.sendall(data)
        except OSError:
            pass
        try:  # one end gone (the broker stopped): the other end learns it at once
            sink.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def cut(self):
        for sock in self.sockets:
            # A reset, not a goodbye; shutdown() first wakes the pump blocked in recv(), which close() alone would not.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()
        self.sockets = []

    def close(self):
        self.cut()
        self.server.close()


class Mqtt(E2ETestCase):
    def start_broker_and_subscriber(self):
        """mosquitto on a free port and mosquitto_sub on e2e/#; returns the port and the subscriber's output path."""
        s = self.s
        if not (os.path.exists(BROKER) and shutil.which("mosquitto_sub")):
            self.skipTest("mosquitto and mosquitto-clients are installed by scripts/deps")
        port = s.start_broker()
        heard = s.start_subscriber(port, "e2e", "-v")
        return port, heard

    def messages(self, heard):
        return [tuple(line.split(" ", 1)) for line in read_text(heard).splitlines() if " " in line]

    def distances_sent(self, log_path):
        sent = {}
        for e in self.sim_log(log_path):
            if e.kind == "TX" and e.data[1:3] == bytes([3, 4]):
                sent.setdefault(e.data[0], []).append(int.from_bytes(e.data[3:7], "big", signed=True))
        return sent

    def distances_published(self, heard):
        out = {}
        for topic, payload in self.messages(heard):
            parts = topic.split("/")
            if len(parts) == 4 and parts[3] == "distance":
                out.setdefault(int(parts[2]), []).append(json.loads(payload)["raw"])
        return out

    def test_link_cut_and_broker_restart(self):
        s = self.s
        port, heard = self.start_broker_and_subscriber()
        proxy = TcpProxy(port)
        self.addCleanup(proxy.close)
        log_path = s.start_sim("COM15", "--slaves", "1-3")
        s.start_monitor("--mqtt-host", "127.0.0.1", "--mqtt-port", str(proxy.port), "--mqtt-prefix", "e2e")
        self.connect("COM15")
        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        s.wait_for(lambda: len(self.distances_published(heard).get(1, [])) >= 2, 40, "slave 1's second distance")

        # The link drops under load: the broker publishes the last will, the monitor reconnects by itself and
        # says again what holds, the line online and each known slave's status.
        proxy.cut()
        truth = [("e2e/COM15/status", "online")] + [(f"e2e/COM15/{n}/status", "online") for n in (1, 2, 3)]

        def told_after(marker):
            heard_now = self.messages(heard)
            if marker not in heard_now:
                return False
            after = heard_now[len(heard_now) - heard_now[::-1].index(marker):]
            return all(m in after for m in truth)
        s.wait_for(lambda: told_after(("e2e/COM15/status", "offline")), 30, "the last will, then the truth again")
        count = len(self.distances_published(heard).get(1, []))
        s.wait_for(lambda: len(self.distances_published(heard).get(1, [])) >= count + 2, 40, "distances flow again")
        s.click_tab("硬件设置")
        s.wait_for(lambda: not s.dump()["timer1"]["active"], 5, "polling stopped")
        sent = self.distances_sent(log_path)
        s.wait_for(lambda: {n: len(v) for n, v in self.distances_published(heard).items()}
                   == {n: len(v) for n, v in sent.items()}, 30, "every distance published")
        self.assertEqual(self.distances_published(heard), sent, "once each, in order per slave")

        # A broker restarted without persistence has lost every retained message: the reconnect brings them back.
        s.broker.terminate()
        s.broker.wait(20)
        s.start_broker(port)
        retained = os.path.join(s.art, "retained.out")

        def retained_truth():
            with open(retained, "wb") as out:
                subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "e2e/COM15/#", "-v",
                                "-W", "2"], stdout=out, stderr=subprocess.DEVNULL, timeout=20)
            got = [tuple(line.split(" ", 1)) for line in read_text(retained).splitlines() if " " in line]
            return all(m in got for m in truth)
        s.wait_for(retained_truth, 60, "the retained statuses back after the restart")

    def test_distances_statuses_and_last_will(self):
        s = self.s
        port, heard = self.start_broker_and_subscriber()
        log_path = s.start_sim("COM15", "--slaves", "1-3")
        s.start_monitor("--mqtt-host", "127.0.0.1", "--mqtt-port", str(port), "--mqtt-prefix", "e2e")
        self.connect("COM15")
        s.wait_for(lambda: ("e2e/COM15/status", "online") in self.messages(heard), 20, "the line online")
        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        # Slave 4 never answers: its verdict comes with the poll of slave 5. Slave 1 answers again in the second cycle.
        s.wait_for(lambda: ("e2e/COM15/4/status", "offline") in self.messages(heard), 30, "slave 4 offline")
        s.wait_for(lambda: [t for t, _ in self.messages(heard)].count("e2e/COM15/1/distance") >= 2, 40,
                   "slave 1's second distance")
        s.click_tab("硬件设置")
        s.wait_for(lambda: not s.dump()["timer1"]["active"], 5, "polling stopped")

        sent = {}
        for e in self.sim_log(log_path):
            if e.kind == "TX" and e.data[1:3] == bytes([3, 4]):
                sent.setdefault(e.data[0], []).append(int.from_bytes(e.data[3:7], "big", signed=True))
        self.assertEqual(sorted(sent), [1, 2, 3])

        def published():
            out = {}
            for topic, payload in self.messages(heard):
                parts = topic.split("/")
                if len(parts) == 4 and parts[3] == "distance":
                    out.setdefault(int(parts[2]), []).append(json.loads(payload))
            return out
        s.wait_for(lambda: {n: len(v) for n, v in published().items()} == {n: len(v) for n, v in sent.items()}, 20,
                   "every distance shown published")
        rows = s.dump()["by_name"]
        for n, values in sent.items():
            got = published()[n]
            self.assertEqual([p["raw"] for p in got], values, f"slave {n}: once each, in order")
            self.assertEqual([str(p["distance_m"]) for p in got][-1], rows[f"DistanceEdit{n}"]["text"])
            self.assertEqual([str(p["distance_m"]) for p in got], [distance_text(v) for v in values])
            self.assertRegex(got[0]["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
        statuses = [m for m in self.messages(heard) if m[0].endswith("/status")]
        # The line online as it is connected and again as the broker's connection is made (what a connect
        # announces); then each slave's status once, when its box first changes: 1-3 ticked, 4-16 cleared.
        self.assertEqual(statuses, [("e2e/COM15/status", "online")] * 2
                         + [(f"e2e/COM15/{n}/status", "online" if n <= 3 else "offline") for n in range(1, 17)])

        s.click("Button1")
        s.wait_for(lambda: self.messages(heard)[-1] == ("e2e/COM15/status", "offline"), 20, "断开: the line offline")
        self.connect("COM15")
        s.wait_for(lambda: self.messages(heard)[-1] == ("e2e/COM15/status", "online"), 20, "the line online again")
        s.monitor.send_signal(signal.SIGKILL)
        s.monitor.wait(10)
        s.wait_for(lambda: self.messages(heard)[-1] == ("e2e/COM15/status", "offline"), 20, "the last will")
        s.monitor = None

    def retained(self, port):
        """The topics the broker holds a retained message on."""
        result = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "e2e/#", "--retained-only",
                                 "-W", "1", "-v"], capture_output=True, text=True, timeout=20)
        return sorted(line.split(" ", 1)[0] for line in result.stdout.splitlines())

    def test_remove_announcements(self):
        s = self.s
        port, heard = self.start_broker_and_subscriber()
        s.start_sim("COM16", "--slaves", "1-2")
        s.start_monitor("--mqtt-host", "127.0.0.1", "--mqtt-port", str(port), "--mqtt-prefix", "e2e", "--mqtt-ha",
                        "--mqtt-discovery-prefix", "e2e/ha")
        self.connect("COM16")
        s.replace_text("Edit17", "1")
        s.click_tab("数据获取")
        s.wait_for(lambda: ("e2e/COM16/3/status", "offline") in self.messages(heard), 30, "slave 3 offline")
        held = self.retained(port)
        for topic in ("e2e/COM16/status", "e2e/COM16/2/status", "e2e/COM16/3/status"):
            self.assertIn(topic, held)
        self.assertEqual(len([t for t in held if t.startswith("e2e/ha/sensor/")]), 2, "slaves 1 and 2 announced")

        s.click("DistanceEdit2", button=3)
        s.wait_for(lambda: any(w["class"] == "QMenu" for w in s.dump()["windows"]), 5, "the menu")
        s.key("Down", "Return")  # MQTT 发布..., the menu's first entry
        s.wait_widget("mqttRemove", visible=True)
        s.screenshot("mqtt-dialog")
        s.click("mqttRemove")
        s.wait_for(lambda: self.retained(port) == [], 20, "nothing retained")
        s.monitor.send_signal(signal.SIGKILL)  # polling went on meanwhile; the last will now clears as well
        s.monitor.wait(10)
        s.monitor = None
        s.wait_for(lambda: self.messages(heard)[-1] == ("e2e/COM16/status", "(null)"), 20, "the last will, empty")
        self.assertEqual(self.retained(port), [])


if __name__ == "__main__":
    main()
