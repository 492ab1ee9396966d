"""What the journeys share: waiting, the accessibility tree, the desktop, the test stream,
the directory server and the program."""
import contextlib
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


# What scripts/test-stream runs; as root Icecast is started as its own user through setpriv.
STREAM_TOOLS = ("icecast2", "ffmpeg", "curl") + (("setpriv",) if os.geteuid() == 0 else ())
_started = []  # processes to end when the journey does


def require(*programs):
    """Ends the journey unless every program is installed: skipped, but failed in CI."""
    missing = [p for p in programs if shutil.which(p) is None]
    if missing:
        print(f"missing: {' '.join(missing)}", flush=True)
        sys.exit(1 if os.environ.get("CI") == "true" else 77)  # 77: not run (SKIP_RETURN_CODE)


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


def has(node, state):
    return node.get_state_set().contains(state)


def find(within, role, name=None, starts=None, showing=False):
    for node in walk(within):
        if node.get_role_name() != role or (showing and not has(node, Atspi.StateType.SHOWING)):
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


def mpris(method, *args, interface="org.mpris.MediaPlayer2"):
    """Calls a method of the player's MPRIS object as a desktop does; the reply as text."""
    return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.norvale",
                           "/org/mpris/MediaPlayer2", f"{interface}.{method}", *args], check=True,
                          capture_output=True, text=True).stdout


def test_stream(root, *args):
    out = subprocess.run([os.path.join(root, "scripts/test-stream"), *args], check=True, capture_output=True,
                         text=True)
    return dict(line.split("=", 1) for line in out.stdout.splitlines() if "=" in line)


def workspace(prefix):
    """A folder for the journey's files, with "stream" in it for the Icecast user."""
    work = tempfile.mkdtemp(prefix=prefix)
    os.chmod(work, 0o755)
    os.makedirs(os.path.join(work, "stream"))
    return work


def station(serve):
    """A station of the journey's own on a free loopback port: serve(connection) in a thread each."""
    listener = socket.create_server(("127.0.0.1", 0))

    def accept():
        while True:
            threading.Thread(target=serve, args=(listener.accept()[0],), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return f"http://127.0.0.1:{listener.getsockname()[1]}/"


def directory_server(executable, work, stations):
    """The real norvale-directory serving (country code, name, address) rows on a free port,
    once it answers: the process and its base URL."""
    csv, database = os.path.join(work, "stations.csv"), os.path.join(work, "directory.sqlite")
    with open(csv, "w", encoding="utf-8") as f:
        f.write("country_code,name,url\n" + "".join(f"{c},{n},{u}\n" for c, n, u in stations))
    subprocess.run([executable, "import", csv, "--database", database], check=True, capture_output=True)
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    base = f"http://127.0.0.1:{port}/"
    server = subprocess.Popen([executable, "serve", "--listen", f"127.0.0.1:{port}", "--database", database,
                               "--quiet"], stdout=open(os.path.join(work, "directory.log"), "w"),
                              stderr=subprocess.STDOUT)
    _started.append(server)

    def healthy():
        try:
            return urllib.request.urlopen(base + "health", timeout=2).status == 200
        except OSError:
            if server.poll() is not None:
                raise RuntimeError("the directory server ended at start-up")
            return False

    wait_for("the directory server to answer", healthy, 20)
    return server, base


def installed_folder(norvale, work, extra=""):
    """A program folder as an installation seeds it, past its first run, extra added to INST.INI."""
    folder = os.path.join(work, "program")
    shutil.copytree(os.path.join(os.path.dirname(norvale), "..", "share", "norvale"), folder)
    inst = os.path.join(folder, "INST.INI")
    with open(inst, encoding="utf-8") as f:
        settings = f.read().replace("firstrun=0", "firstrun=1")
    with open(inst, "w", encoding="utf-8") as f:
        f.write(settings.rstrip("\n") + "\n" + extra)
    return folder


def environment(work, directory_url):
    """Folder work/program, a home of its own, the given directory, no audio output."""
    home = os.path.join(work, "home")
    return dict(os.environ, NORVALE_HOME=os.path.join(work, "program"), HOME=home,
                NORVALE_DIRECTORY_URL=directory_url, NORVALE_MPV_OPTIONS="ao=null",
                XDG_CONFIG_HOME=os.path.join(home, ".config"))


def start_norvale(norvale, work, directory_url, log_name="norvale.log"):
    _started.append(subprocess.Popen([norvale], env=environment(work, directory_url),
                                     stdout=open(os.path.join(work, log_name), "w"), stderr=subprocess.STDOUT))
    return _started[-1]


@contextlib.contextmanager
def running(name, root, work, failures, logs=("norvale.log", "directory.log")):
    """The journey's body: an exception in it is a failure; then what it started ends and the
    outcome is reported, with the tail of each log after a failure."""
    try:
        yield
    except Exception as error:  # noqa: BLE001 - any failure is reported with the logs
        failures.append(f"{type(error).__name__}: {error}")
    finally:
        for process in _started:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
        if os.path.exists(os.path.join(work, "stream", "state")):
            subprocess.run([os.path.join(root, "scripts/test-stream"), "stop", os.path.join(work, "stream")],
                           capture_output=True)
    if not failures:
        print(f"{name} passed")
        shutil.rmtree(work, ignore_errors=True)
        return
    print("FAILED:", *failures, sep="\n  ")
    for log in (os.path.join(work, log) for log in logs):
        print(f"--- {log}\n" + open(log).read()[-3000:] if os.path.exists(log) else f"--- no {log}")
    sys.exit(1)
