"""The monitor as a screen reader sees it: AT-SPI on the test's own buses (Session.start_accessibility_bus)."""
import os
import shutil
import sys

from e2e_harness import ACCESSIBILITY_BUS_LAUNCHER, SKIP, main


def atspi():
    """The AT-SPI client library; used only once the test's own buses are up, as it connects on first use."""
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi
    return Atspi


def walk(node):
    yield node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child)


def monitor_app(session):
    """The monitor's application node on the accessibility bus, once it is there."""
    Atspi = atspi()
    Atspi.init()  # once per process; a second call does nothing

    def app():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            child = desktop.get_child_at_index(i)
            if child is not None and child.get_process_id() == session.monitor.pid:
                return child
        return None
    return session.wait_for(app, 20, "the monitor on the accessibility bus")


def named(app, name, role):
    return [node for node in walk(app) if node.get_role() == role and node.get_name() == name]


def main_with_atspi():
    """Skips (77) when the buses or the client library are missing; runs the tests otherwise."""
    for tool in ("dbus-daemon", ACCESSIBILITY_BUS_LAUNCHER):
        if shutil.which(tool) is None and not os.access(tool, os.X_OK):
            print(f"{tool} is not installed", file=sys.stderr)
            sys.exit(SKIP)
    try:
        atspi()
    except (ImportError, ValueError) as error:
        print(f"the AT-SPI client library for Python is not installed: {error}", file=sys.stderr)
        sys.exit(SKIP)
    main()
