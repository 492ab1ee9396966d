"""What the journeys share: log lines, waiting for a condition, the accessibility tree
of the running program, playerctl, the private test stream, the directory server and the
program itself started as an installed copy."""
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request

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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_directory(server, work, stations):
    """The real directory server over a fresh database holding stations, a list of
    (country_code, name, url); returns the process and its base URL once it is healthy."""
    database, csv = os.path.join(work, "directory.sqlite"), os.path.join(work, "stations.csv")
    with open(csv, "w", encoding="utf-8") as f:
        f.write("country_code,name,url\n" + "".join(f"{c},{n},{u}\n" for c, n, u in stations))
    subprocess.run([server, "import", csv, "--database", database], check=True, capture_output=True)
    url = f"http://127.0.0.1:{free_port()}/"
    process = subprocess.Popen([server, "serve", "--listen", url[7:-1], "--database", database, "--quiet"],
                               stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "dir.log"), "w"))

    def healthy():
        try:
            return urllib.request.urlopen(url + "health", timeout=2).status == 200
        except OSError:
            return False

    wait_for("the directory server's health", healthy, 20)
    return process, url


def start_norvale(norvale, work, directory_url, extra_ini=""):
    """The program from an installed folder that has been through its first run, with a
    home and a log of its own; extra_ini is whole sections added to its INST.INI. Returns
    the process and the path of that INST.INI."""
    folder = os.path.join(work, "program")
    shutil.copytree(os.path.join(os.path.dirname(norvale), "..", "share", "norvale"), folder)
    inst = os.path.join(folder, "INST.INI")
    with open(inst, encoding="utf-8") as f:
        settings = f.read().replace("firstrun=0", "firstrun=1")
    with open(inst, "w", encoding="utf-8") as f:
        f.write(settings.rstrip("\n") + "\n" + extra_ini)
    home = os.path.join(work, "home")
    env = dict(os.environ, NORVALE_HOME=folder, HOME=home, NORVALE_DIRECTORY_URL=directory_url,
               NORVALE_MPV_OPTIONS="ao=null", XDG_CONFIG_HOME=os.path.join(home, ".config"))
    process = subprocess.Popen([norvale], env=env, stdout=open(os.path.join(work, "norvale.log"), "w"),
                               stderr=subprocess.STDOUT)
    return process, inst


def finish(failures, work, logs, passed):
    """Ends the journey: its failures with the tails of the logs in work, or the line
    that says it passed."""
    if failures:
        print("FAILED:", *failures, sep="\n  ")
        for log in logs:
            try:
                print(f"--- {log}\n" + open(os.path.join(work, log)).read()[-3000:])
            except OSError:
                pass
        sys.exit(1)
    shutil.rmtree(work, ignore_errors=True)
    print(passed)
