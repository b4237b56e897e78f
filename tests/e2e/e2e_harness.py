"""End-to-end harness: the real monitor on a real X server, driven by X input, against lines on pseudo-terminals.

The monitor is read through its test-only inspection socket (`dump`: one JSON line), never driven through it: every
click and key goes through the X server as a person's would. Each test gets its own Xvfb, ports folder and
runtime folder; every process it starts dies with it, also when the harness itself is killed.
"""
import ctypes
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty
import unittest

ARGS = {"monitor": None, "sim": None, "artifacts": None}
SKIP = 77  # CTest's skip code: a tool the suite needs is missing

POLL_S = 0.05
ACCESSIBILITY_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def parse_args():
    """Takes --monitor, --sim and --artifacts off the command line; the rest goes to unittest."""
    rest = [sys.argv[0]]
    argv = sys.argv[1:]
    while argv:
        arg = argv.pop(0)
        if arg.startswith("--") and arg[2:] in ARGS:
            ARGS[arg[2:]] = argv.pop(0)
        else:
            rest.append(arg)
    return rest


def main():
    rest = parse_args()
    for tool in ("Xvfb", "xdotool", "import"):
        if shutil.which(tool) is None:
            print(f"{tool} is not installed", file=sys.stderr)
            sys.exit(SKIP)
    unittest.main(argv=rest, verbosity=2)


def _die_with_parent():
    # PR_SET_PDEATHSIG: a child outlives no harness, not even one that CTest kills on a timeout.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)


def crc16(data):
    """CRC-16/MODBUS, computed bit by bit: kept independent of the monitor's table."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes(data) + bytes([crc & 0xFF, crc >> 8])


def hexs(data):
    return " ".join(f"{b:02X}" for b in data)


def frame_hex(*fields):
    """Wire hex of a request with its CRC, e.g. frame_hex(1, 3, 0, 21, 0, 2) -> '01 03 00 15 00 02 D5 CF'."""
    return hexs(crc16(bytes(fields)))


def distance_text(v):
    """Metres to whole millimetres, halves up, trailing zeros dropped: 12345 -> '1.235', 20000 -> '2'."""
    q = abs(v + 5) // 10 * (1 if v + 5 >= 0 else -1)  # division truncating toward zero
    r = q * 10
    whole, frac = divmod(abs(r), 10000)
    frac_text = f"{frac:04d}".rstrip("0")
    return ("-" if r < 0 else "") + str(whole) + ("." + frac_text if frac_text else "")


class LogEntry:
    def __init__(self, t, kind, baud, data, note):
        self.t, self.kind, self.baud, self.data, self.note = t, kind, baud, data, note

    @property
    def hex(self):
        return hexs(self.data)

    def __repr__(self):
        return f"{self.t:.3f} {self.kind} {self.baud} {self.hex} {self.note}"


def parse_sim_log(text):
    """'<s.ms> <RX|TX|RATE> <baud> <hex pairs> <note>' lines; the banner and other lines are left out."""
    entries = []
    for line in text.splitlines():
        parts = line.split(" ")
        if len(parts) < 3 or parts[1] not in ("RX", "TX", "RATE"):
            continue
        data = bytearray()
        i = 3
        while i < len(parts) and len(parts[i]) == 2 and all(c in "0123456789ABCDEF" for c in parts[i]):
            data.append(int(parts[i], 16))
            i += 1
        entries.append(LogEntry(float(parts[0]), parts[1], int(parts[2]), bytes(data), " ".join(parts[i:])))
    return entries


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""


def _b(name):
    return getattr(termios, name)


SPEEDS = {_b(f"B{r}"): r for r in (600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}


class PtyLine:
    """A line played by the harness on a pty it owns: silent, or a device at 255 and sensors of its own.

    It reads the speed the monitor set from the master, logs every request as (seconds, baud, bytes) and answers
    only requests at its own rate. A sensor listed in `drop_after` stops answering after that many replies."""

    def __init__(self, ports_dir, name, baud=9600, slaves=(), device=False, drop_after=None, phys=7):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)  # no echo of the replies back to the master before the monitor opens it
        self.link = os.path.join(ports_dir, name)
        os.symlink(os.ttyname(self.slave), self.link)
        self.baud, self.slaves, self.device, self.phys = baud, set(slaves), device, phys
        self.drop_after = dict(drop_after or {})
        self.replies = {}
        self.requests = []
        self.lock = threading.Lock()
        self.start = time.monotonic()
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    @staticmethod
    def distance_of(slave):
        return 12345 + 1111 * slave  # 0.1 mm; every sensor its own value

    def log(self):
        with self.lock:
            return list(self.requests)

    def close(self):
        self.running = False
        self.thread.join(2)
        for fd in (self.master, self.slave):
            os.close(fd)
        if os.path.lexists(self.link):
            os.unlink(self.link)

    def _run(self):
        pending = b""
        while self.running:
            ready, _, _ = select.select([self.master], [], [], 0.01)
            if ready:
                pending += os.read(self.master, 4096)
            elif pending:  # 10 ms of silence ends a frame
                self._handle(pending)
                pending = b""

    def _handle(self, frame):
        speed = SPEEDS.get(termios.tcgetattr(self.master)[5], 0)
        with self.lock:
            self.requests.append((time.monotonic() - self.start, speed, frame))
        reply = self._reply(frame) if speed == self.baud else None
        if reply:
            time.sleep(0.005)
            os.write(self.master, reply)

    def _reply(self, frame):
        if len(frame) != 8 or crc16(frame[:6]) != frame or frame[1] != 3:
            return None
        unit, reg, count = frame[0], frame[2] * 256 + frame[3], frame[4] * 256 + frame[5]
        if unit == 255 and self.device and (reg, count) == (17, 6):
            d = self.distance_of(0)
            return crc16(bytes([255, 3, 12, 0, 0, 0, self.phys, 0, 0, 0, 1]) + d.to_bytes(4, "big", signed=True))
        if unit in self.slaves and (reg, count) == (21, 2):
            answered = self.replies.get(unit, 0)
            if unit in self.drop_after and answered >= self.drop_after[unit]:
                return None
            self.replies[unit] = answered + 1
            return crc16(bytes([unit, 3, 4]) + self.distance_of(unit).to_bytes(4, "big", signed=True))
        return None


class Session:
    """One test's world: Xvfb, simulated lines, the monitor; and the X input and inspection helpers."""

    def __init__(self, test_name):
        self.tmp = tempfile.mkdtemp(prefix="orvik-e2e-")
        self.ports = os.path.join(self.tmp, "ports")
        self.runtime = os.path.join(self.tmp, "rt")
        os.mkdir(self.ports)
        os.mkdir(self.runtime, 0o700)
        self.socket_path = os.path.join(self.tmp, "inspect.sock")
        self.art = os.path.join(ARGS["artifacts"] or self.tmp, test_name)
        shutil.rmtree(self.art, ignore_errors=True)  # no screenshot of an earlier run passes for this one's
        os.makedirs(self.art)
        self.procs = []
        self.lines = []
        self.display = None
        self.monitor = None

    # --- processes -------------------------------------------------------------------------------------------
    def _spawn(self, cmd, out_name, env=None):
        out = open(os.path.join(self.art, out_name), "wb")
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, env=env, preexec_fn=_die_with_parent)
        out.close()
        self.procs.append(proc)
        return proc

    def start_x(self):
        read_fd, write_fd = os.pipe()
        cmd = ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-dpi", "96", "-nolisten", "tcp"]
        out = open(os.path.join(self.art, "xvfb.out"), "wb")
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, pass_fds=(write_fd,),
                                preexec_fn=_die_with_parent)
        out.close()
        self.procs.append(proc)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):  # Xvfb writes its display number once it accepts clients
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()

    def start_accessibility_bus(self):
        """A session bus of the test's own and the accessibility bus on it, as a desktop session has them.

        Sets DBUS_SESSION_BUS_ADDRESS in this process too, so that an AT-SPI client in the test finds them, and has
        the monitor expose itself to AT-SPI without waiting for a screen reader to ask."""
        path = os.path.join(self.tmp, "session-bus")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={path}"
        os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        os.environ["DISPLAY"] = self.display
        self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", f"--address=unix:path={path}"],
                    "dbus.out", self.env())
        self.wait_for(lambda: os.path.exists(path), 10, "session bus")
        self._spawn([ACCESSIBILITY_BUS_LAUNCHER, "--launch-immediately"], "at-spi.out", self.env())

    def env(self):
        env = dict(os.environ)
        env.update(DISPLAY=self.display, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=self.runtime,
                   ORVIK_PORTS_DIR=self.ports, ORVIK_INSPECT_SOCKET=self.socket_path, LC_ALL="C.UTF-8",
                   XDG_CONFIG_HOME=os.path.join(self.tmp, "config"))  # never the user's own settings
        return env

    def start_sim(self, port, *options):
        """orvik-sim on COM<n> with its own log; returns the log path once the line is up."""
        log = os.path.join(self.art, f"sim-{port}.log")
        self._spawn([ARGS["sim"], "--port", port, "--log", log, *options], f"sim-{port}.out", self.env())
        self.wait_for(lambda: read_text(log).startswith("orvik-sim:"), 10, f"{port} line up")
        return log

    def start_broker(self, port=None):
        """mosquitto on a loopback port (a free one unless given), anonymous, without persistence, as self.broker;
        returns the port once it accepts connections."""
        if port is None:
            with socket.socket() as probe:
                probe.bind(("127.0.0.1", 0))
                port = probe.getsockname()[1]
        conf = os.path.join(self.tmp, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write(f"user root\nlog_type error\nlistener {port} 127.0.0.1\nallow_anonymous true\n")
        self.broker = self._spawn([shutil.which("mosquitto") or "/usr/sbin/mosquitto", "-c", conf], "mosquitto.out")

        def accepts():
            try:
                socket.create_connection(("127.0.0.1", port), 1).close()
                return True
            except OSError:
                return False
        self.wait_for(accepts, 20, "the broker listening")
        return port

    def start_subscriber(self, port, root, *output_format):
        """mosquitto_sub on <root>/# at QoS 1; returns its output path once a probe published to it has arrived."""
        heard = os.path.join(self.art, "subscriber.out")
        self._spawn(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", f"{root}/#", "-q", "1",
                     *output_format], "subscriber.out")

        def probe_heard():
            subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-t", f"{root}/probe", "-m", "x"],
                           check=True, timeout=20)
            return f"{root}/probe" in read_text(heard)
        self.wait_for(probe_heard, 20, "the subscriber subscribed")
        return heard

    def pty_line(self, name, **kw):
        line = PtyLine(self.ports, name, **kw)
        self.lines.append(line)
        return line

    def start_monitor(self, *args):
        self.monitor = self._spawn([ARGS["monitor"], *args], "monitor.out", self.env())
        self.wait_for(lambda: self.try_dump() is not None or self.monitor.poll() is not None, 20, "inspection socket")
        self.dump()  # fails at once if the monitor has exited
        self.wait_for(lambda: self.xdo("search", "--onlyvisible", "--name", "^Orvik Monitor$"), 20, "window mapped")

    def close(self):
        # The window's last state, for reading a failure after the fact.
        last = self.try_dump() if self.monitor else None
        if last:
            with open(os.path.join(self.art, "last-dump.json"), "w") as f:
                json.dump(last, f, ensure_ascii=False, indent=1)
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
        for proc in reversed(self.procs):
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        for line in self.lines:
            line.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # --- inspection --------------------------------------------------------------------------------------------
    def try_dump(self):
        try:
            with socket.socket(socket.AF_UNIX) as s:
                s.settimeout(5)
                s.connect(self.socket_path)
                s.sendall(b"dump\n")
                data = b""
                while not data.endswith(b"\n"):
                    chunk = s.recv(1 << 16)
                    if not chunk:
                        return None
                    data += chunk
            return json.loads(data)
        except OSError:
            return None

    def dump(self):
        d = self.try_dump()
        if d is None:
            code = self.monitor.poll() if self.monitor else None
            raise AssertionError("the monitor does not answer on its inspection socket"
                                 + (f": it exited with {code}" if code is not None else ""))
        d["by_name"] = {w["name"]: w for w in d["widgets"] if w["name"]}
        return d

    def w(self, name):
        return self.dump()["by_name"][name]

    def wait_for(self, predicate, timeout, what):
        """Polls every 50 ms; returns the first true value, or fails naming what did not happen."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                self.screenshot("timeout")
                raise AssertionError(f"timed out after {timeout} s waiting for {what}")
            time.sleep(POLL_S)

    def wait_widget(self, name, timeout=10, **expected):
        def matches():
            w = self.w(name)
            return w if all(w.get(k) == v for k, v in expected.items()) else None
        return self.wait_for(matches, timeout, f"{name} with {expected}")

    # --- X input -----------------------------------------------------------------------------------------------
    def xdo(self, *args):
        result = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True)
        return result.stdout.split() if result.returncode == 0 else []

    def click_at(self, x, y, button=1):
        # No --sync: it waits for a motion event, and there is none when the pointer is already there.
        self.xdo("mousemove", str(x), str(y), "click", str(button))

    def click(self, name, dx=None, button=1):
        """Clicks the centre of a control (or dx pixels from its left edge, negative from its right); button 3 is
        the right button."""
        x, y, width, height = self.w(name)["geometry"]
        cx = x + width // 2 if dx is None else (x + dx if dx >= 0 else x + width + dx)
        self.click_at(cx, y + height // 2, button)

    def click_tab(self, text):
        tabs = self.w("PageControl1")["tabs"]
        x, y, width, height = next(t["geometry"] for t in tabs if t["text"] == text)
        self.click_at(x + width // 2, y + height // 2)

    def key(self, *keys):
        for k in keys:
            self.xdo("key", "--delay", "30", k)

    def type_text(self, text):
        self.xdo("type", "--delay", "60", text)

    def replace_text(self, name, text):
        """Selects a field's whole text the keyboard way (End, Shift+Home) and types over it."""
        self.click(name)
        self.wait_for(lambda: self.dump()["focus"] == name, 5, f"focus in {name}")
        self.key("End", "shift+Home")
        self.type_text(text)
        self.wait_widget(name, text=text)

    def choose(self, combo, index):
        """Drops a combo box down with its arrow and picks item `index` with the keys."""
        self.click(combo, dx=-8)
        self.wait_for(lambda: self.dump()["windows"], 5, f"{combo} list open")
        self.key("Home", *(["Down"] * index), "Return")
        items = self.w(combo)["items"]
        return self.wait_widget(combo, itemIndex=index, text=items[index])

    def pick_port(self, name):
        self.click("ComboBox1", dx=-8)
        self.wait_for(lambda: name in self.w("ComboBox1")["items"], 5, f"{name} listed")
        items = self.w("ComboBox1")["items"]
        self.key("Home", *(["Down"] * items.index(name)), "Return")
        self.wait_widget("ComboBox1", text=name)

    def connect(self, port, timeout=60):
        """Picks the port, clicks 联机 and waits for 断开; returns the seconds from the click."""
        self.pick_port(port)
        start = time.monotonic()
        self.click("Button1")
        self.wait_widget("Button1", timeout=timeout, text="断开", enabled=True)
        return time.monotonic() - start

    def screenshot(self, name):
        path = os.path.join(self.art, name + ".png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path], capture_output=True)
        return path

    def box_windows(self):
        """X windows titled with the application name: the monitor's message boxes."""
        return self.xdo("search", "--onlyvisible", "--name", "^OrvikMonitor$")

    def press_enter_on(self, window):
        self.xdo("windowfocus", "--sync", window)
        self.xdo("key", "Return")


class E2ETestCase(unittest.TestCase):
    """Starts a session per test and tears it down whatever happens; helpers for the connect procedure."""

    def setUp(self):
        self.s = Session(f"{type(self).__name__}.{self._testMethodName}")
        self.addCleanup(self.s.close)
        self.s.start_x()

    def pick_port(self, name):
        self.s.pick_port(name)

    def connect(self, port, timeout=60):
        return self.s.connect(port, timeout)

    def sim_log(self, path):
        return parse_sim_log(read_text(path))
