#!/usr/bin/python3
"""The desktop drives the player: the real norvale program on a session bus, a local
Icecast stream and a test directory. playerctl (what media keys and panels use) finds
the player, opens a stream by its address, sees it play with the station in the
metadata, sees a song title set on the Icecast mount, and quits it; the directory has
received the play report and INST.INI holds the last station.

Run inside scripts/xvfb-session (X server, session bus, accessibility bus).
    mpris_journey.py NORVALE_EXECUTABLE REPOSITORY_ROOT
"""
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from journey import playerctl, step, test_stream, wait_for

norvale, root = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="norvale-mpris-")
os.chmod(work, 0o755)  # the Icecast user reads its config and writes its log in here
stream_dir = os.path.join(work, "stream")
os.makedirs(stream_dir)
reports = []
failures = []


class Directory(http.server.BaseHTTPRequestHandler):
    """Answers every page with a short HTML text and records play reports."""

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        if url.path == "/radio/inter/meld/index.php":
            reports.append(query.get("meld", [""])[0])
        body = b"<html><body><p>Norvale</p></body></html>" if url.path.endswith(".php") else b""
        self.send_response(200 if url.path.endswith(".php") else 404)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


icecast = program = server = None
inst = os.path.join(work, "program", "INST.INI")
try:
    step("starting the local Icecast stream")
    icecast = test_stream(root, "start", stream_dir, "--burst", "8192")
    stream_url = icecast["URL"]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Directory)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    step("starting norvale")
    # An installed program folder that has been through its first run.
    program_folder = os.path.join(work, "program")
    shutil.copytree(os.path.join(os.path.dirname(norvale), "..", "share", "norvale"), program_folder)
    with open(inst, encoding="utf-8") as f:
        settings = f.read().replace("firstrun=0", "firstrun=1")
    with open(inst, "w", encoding="utf-8") as f:
        f.write(settings)
    home = os.path.join(work, "home")
    env = dict(os.environ, NORVALE_HOME=os.path.join(work, "program"), HOME=home,
               NORVALE_DIRECTORY_URL=f"http://127.0.0.1:{server.server_address[1]}/",
               NORVALE_MPV_OPTIONS="ao=null", XDG_CONFIG_HOME=os.path.join(home, ".config"))
    log = open(os.path.join(work, "norvale.log"), "w")
    program = subprocess.Popen([norvale], env=env, stdout=log, stderr=subprocess.STDOUT)

    wait_for("the player on the session bus", lambda: "norvale" in playerctl("-l") or playerctl("status"), 30)
    identity = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.norvale",
                               "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Get",
                               "string:org.mpris.MediaPlayer2", "string:Identity"],
                              capture_output=True, text=True).stdout
    if "Norvale Internet Radio" not in identity:
        failures.append(f"Identity is not the program's name: {identity!r}")

    step("opening the stream by its address")
    started = time.time()
    playerctl("open", stream_url)
    wait_for("PlaybackStatus Playing", lambda: playerctl("status") == "Playing", 30)
    step(f"playing after {time.time() - started:.2f} s")
    url_in_metadata = wait_for("the stream in the metadata", lambda: playerctl("metadata", "xesam:url"), 10)
    if url_in_metadata != stream_url:
        failures.append(f"xesam:url is {url_in_metadata!r}, not {stream_url!r}")
    wait_for("the play report", lambda: f"zender_{stream_url}" in reports, 10)

    step("a song title on the mount")
    test_stream(root, "title", stream_dir, "Een liedje <b>vet</b>")
    wait_for("the song title in the metadata",
             lambda: playerctl("metadata", "xesam:title") == "Een liedje <b>vet</b>", 30)

    step("volume from the desktop")
    playerctl("volume", "0.3")
    wait_for("the volume to read back", lambda: playerctl("volume").startswith("0.3"), 10)

    step("quitting from the desktop")
    playerctl("stop")
    wait_for("PlaybackStatus Stopped", lambda: playerctl("status") == "Stopped", 10)
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.norvale",
                    "/org/mpris/MediaPlayer2",
                    "org.mpris.MediaPlayer2.Quit"], check=True)
    program.wait(15)
    with open(inst, encoding="utf-8") as f:
        stored = f.read()
    if f"LaatsteURL={stream_url}" not in stored:
        failures.append(f"INST.INI does not hold the last station:\n{stored}")
except Exception as error:  # noqa: BLE001 - any failure is reported with the program log
    failures.append(f"{type(error).__name__}: {error}")
finally:
    if program is not None and program.poll() is None:
        program.kill()
        program.wait()
    if icecast is not None:
        subprocess.run([os.path.join(root, "scripts/test-stream"), "stop", stream_dir], capture_output=True)
    if server is not None:
        server.shutdown()

if failures:
    print("FAILED:", *failures, sep="\n  ")
    try:
        print(open(os.path.join(work, "norvale.log")).read()[-4000:])
    except OSError:
        pass
    sys.exit(1)
print("desktop control journey passed")
