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
import sys
import threading
import time
import urllib.parse
import journey
from journey import playerctl, step, test_stream, wait_for

norvale, root = sys.argv[1], sys.argv[2]
journey.require(*journey.STREAM_TOOLS, "playerctl")
work = journey.workspace("norvale-mpris-")
stream_dir = os.path.join(work, "stream")
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


program = server = None
inst = os.path.join(work, "program", "INST.INI")
try:
    step("starting the local Icecast stream")
    stream_url = test_stream(root, "start", stream_dir, "--burst", "8192")["URL"]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Directory)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    step("starting norvale")
    journey.installed_folder(norvale, work)
    program = journey.start_norvale(norvale, work, f"http://127.0.0.1:{server.server_address[1]}/")

    wait_for("the player on the session bus", lambda: "norvale" in playerctl("-l") or playerctl("status"), 30)
    identity = journey.mpris("Get", "string:org.mpris.MediaPlayer2", "string:Identity",
                             interface="org.freedesktop.DBus.Properties")
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
    journey.mpris("Quit")
    program.wait(15)
    with open(inst, encoding="utf-8") as f:
        stored = f.read()
    if f"LaatsteURL={stream_url}" not in stored:
        failures.append(f"INST.INI does not hold the last station:\n{stored}")
except Exception as error:  # noqa: BLE001 - any failure is reported with the program log
    failures.append(f"{type(error).__name__}: {error}")
finally:
    journey.end(program)
    journey.stop_stream(root, work)
    if server is not None:
        server.shutdown()
journey.finish("desktop control journey", failures, work)
