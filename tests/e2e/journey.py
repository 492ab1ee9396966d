"""What the journeys share: log lines, waiting for a condition, the accessibility tree
of the running program, playerctl and the private test stream."""
import os
import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def step(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def wait_for(what, predicate, timeout, check=None):
    """The first true value of predicate(); check() runs before each try and may raise."""
    deadline = time.time() + timeout
    last = None
    while time.time() < deadline:
        try:
            if check is not None:
                check()
            last = predicate()
            if last:
                return last
        except GLib.Error:
            pass  # the tree changes under us while the window updates
        time.sleep(0.2)
    raise TimeoutError(f"timed out waiting for {what} (last: {last!r})")


def walk(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        node = desktop.get_child_at_index(i)
        if node is not None and node.get_name() == "norvale":
            return node
    return None


def find(within, role, name=None, starts=None):
    for node in walk(within):
        if node.get_role_name() != role:
            continue
        label = node.get_name() or ""
        if (name is None or label == name) and (starts is None or label.startswith(starts)):
            return node
    return None


def click(node):
    box = node.get_extents(Atspi.CoordType.SCREEN)
    Atspi.generate_mouse_event(box.x + box.width // 2, box.y + box.height // 2, "b1c")


def playerctl(*args):
    out = subprocess.run(["playerctl", "-p", "norvale", *args], capture_output=True, text=True)
    return out.stdout.strip() if out.returncode == 0 else ""


def test_stream(root, *args):
    out = subprocess.run([os.path.join(root, "scripts/test-stream"), *args], check=True, capture_output=True,
                         text=True)
    return dict(line.split("=", 1) for line in out.stdout.splitlines() if "=" in line)
