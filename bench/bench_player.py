#!/usr/bin/python3
"""Memory and start-up time of the whole player next to other players, in one run.

Every player plays the same local Icecast stream under the same X server and session
bus; after it has played for a while its resident memory (RSS) and proportional memory
(PSS, which shares libraries fairly) are summed over the process and its children.
Time to playing: norvale from the desktop's OpenUri to PlaybackStatus "Playing"; mpv
from process start to its first playback-restart event.

Run inside scripts/xvfb-session:
    bench_player.py REPOSITORY_ROOT NORVALE [NORVALE_WEBENGINE]
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

root, builds = sys.argv[1], sys.argv[2:]
work = tempfile.mkdtemp(prefix="norvale-bench-")
os.chmod(work, 0o755)
SETTLE = 8  # seconds of playing before memory is read


def test_stream(*args):
    out = subprocess.run([os.path.join(root, "scripts/test-stream"), *args], check=True, capture_output=True,
                         text=True)
    return dict(line.split("=", 1) for line in out.stdout.splitlines() if "=" in line)


def tree(pid):
    pids = [pid]
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    if int(f.read().rsplit(")", 1)[1].split()[1]) in pids:
                        pids.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return pids


def memory(pid):
    rss = pss = 0
    for p in tree(pid):
        try:
            with open(f"/proc/{p}/smaps_rollup") as f:
                for line in f:
                    key, value = line.split(":", 1)[0], line.split()[1:2]
                    if key == "Rss":
                        rss += int(value[0])
                    elif key == "Pss":
                        pss += int(value[0])
        except OSError:
            pass
    return rss / 1024, pss / 1024


def wait_for(predicate, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.02)
    return False


def playerctl(*args):
    return subprocess.run(["playerctl", "-p", "norvale", *args], capture_output=True, text=True).stdout.strip()


def run_norvale(executable, url, label):
    home = os.path.join(work, label)
    # An installed program folder past its first run, so the main window loads at once.
    program = os.path.join(home, "program")
    shutil.copytree(os.path.join(os.path.dirname(executable), "..", "share", "norvale"), program)
    inst = os.path.join(program, "INST.INI")
    with open(inst, encoding="utf-8") as f:
        settings = f.read().replace("firstrun=0", "firstrun=1")
    with open(inst, "w", encoding="utf-8") as f:
        f.write(settings)
    env = dict(os.environ, NORVALE_HOME=os.path.join(home, "program"), HOME=home, NORVALE_MPV_OPTIONS="ao=null",
               NORVALE_DIRECTORY_URL="http://127.0.0.1:9/", QTWEBENGINE_DISABLE_SANDBOX="1")
    program = subprocess.Popen([executable], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for(lambda: playerctl("status") != "", 30):
            return None
        start = time.time()
        subprocess.run(["playerctl", "-p", "norvale", "open", url], check=True)
        if not wait_for(lambda: playerctl("status") == "Playing", 30):
            return None
        to_playing = time.time() - start
        time.sleep(SETTLE)
        return (*memory(program.pid), to_playing)
    finally:
        program.terminate()
        program.wait(10)


def run_mpv(url):
    sock = os.path.join(work, "mpv.sock")
    start = time.time()
    program = subprocess.Popen(["mpv", "--no-config", "--no-video", "--ao=null", f"--input-ipc-server={sock}",
                                "--idle=no", url], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # The first playback-restart is the moment audio flows; listen for it on the IPC socket.
        wait_for(lambda: os.path.exists(sock), 10)
        client = socket.socket(socket.AF_UNIX)
        client.connect(sock)
        client.settimeout(30)
        buffer = b""
        to_playing = None
        while to_playing is None:
            buffer += client.recv(4096)
            for line in buffer.split(b"\n"):
                if line and json.loads(line).get("event") == "playback-restart":
                    to_playing = time.time() - start
        client.close()
        time.sleep(SETTLE)
        return (*memory(program.pid), to_playing)
    finally:
        program.terminate()
        program.wait(10)


def run_goodvibes(url):
    # Goodvibes keeps its settings in dconf, under this run's own home.
    env = dict(os.environ, HOME=os.path.join(work, "goodvibes"), XDG_CONFIG_HOME=os.path.join(work, "goodvibes"))
    os.makedirs(env["HOME"], exist_ok=True)
    for key, value in (("pipeline-string", "fakesink sync=true"), ("pipeline-enabled", "true")):
        subprocess.run(["gsettings", "set", "io.gitlab.Goodvibes.Core", key, value], env=env, check=False)
    program = subprocess.Popen(["goodvibes", "--without-ui"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)
        subprocess.run(["goodvibes-client", "play", url], env=env, capture_output=True, timeout=10)
        time.sleep(SETTLE)
        return (*memory(program.pid), None)
    finally:
        program.terminate()
        program.wait(10)


stream = None
try:
    stream = test_stream("start", os.path.join(work, "stream"))
    url = stream["URL"]
    rows = []
    for i, executable in enumerate(builds):
        rows.append(("norvale" + (" (web engine)" if i else ""), run_norvale(executable, url, f"norvale{i}")))
    if shutil.which("mpv"):
        rows.append(("mpv --no-video", run_mpv(url)))
    if shutil.which("goodvibes"):
        rows.append(("Goodvibes --without-ui", run_goodvibes(url)))
    print(f"{'player':28} {'RSS MB':>8} {'PSS MB':>8} {'to playing s':>13}")
    for name, row in rows:
        if row is None:
            print(f"{name:28} {'failed':>8}")
            continue
        rss, pss, t = row
        print(f"{name:28} {rss:8.1f} {pss:8.1f} {t if t is None else round(t, 3)!s:>13}")
finally:
    if stream:
        subprocess.run([os.path.join(root, "scripts/test-stream"), "stop", os.path.join(work, "stream")],
                       capture_output=True)
