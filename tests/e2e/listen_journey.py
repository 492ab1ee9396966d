#!/usr/bin/python3
"""A listener's first minutes, driven from outside as a person would: the real norvale
program is started with its own program folder and directory URL, the station list
arrives over HTTP and a click on a station plays a local Icecast stream. (A dropped
source and the reconnect are covered by tst_mpvplayer and tst_listen_e2e.)

Run inside scripts/xvfb-session (X server, session bus, accessibility bus).
    listen_journey.py NORVALE_EXECUTABLE REPOSITORY_ROOT
"""
import functools
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time
from journey import application, click, find, step, test_stream, wait_for


norvale, root = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="norvale-journey-")
os.chmod(work, 0o755)  # the Icecast user reads its config and writes its log in here
stream_dir = os.path.join(work, "stream")
os.makedirs(stream_dir)
failures = []


icecast = None
program = None
server = None
try:
    step("starting the local Icecast stream")
    icecast = test_stream(root, "start", stream_dir)
    stream_url = icecast["URL"]

    step("serving the station list over HTTP")
    site = os.path.join(work, "site")
    os.makedirs(os.path.join(site, "radio/inter/zenders"))
    with open(os.path.join(site, "radio/inter/zenders/holland.txt"), "w", encoding="utf-8") as f:
        f.write("<naam>Kapotte zender</naam><url>http://127.0.0.1:9/none</url><homepage>h</homepage>\n"
                f"<naam>Norvale toon</naam><url>{stream_url}</url><homepage>http://example.invalid/</homepage>\n")
    class QuietHandler(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(QuietHandler, directory=site)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    step("starting norvale")
    home = os.path.join(work, "home")
    env = dict(os.environ, NORVALE_HOME=os.path.join(work, "program"), HOME=home,
               NORVALE_DIRECTORY_URL=f"http://127.0.0.1:{server.server_address[1]}/",
               NORVALE_MPV_OPTIONS="ao=null", XDG_CONFIG_HOME=os.path.join(home, ".config"))
    log = open(os.path.join(work, "norvale.log"), "w")
    program = subprocess.Popen([norvale], env=env, stdout=log, stderr=subprocess.STDOUT)

    app = wait_for("the norvale window on the accessibility bus", application, 30)
    # A fresh program folder starts with the first-run window; "Starten" leads on.
    start = wait_for("the first-run window's Start button", lambda: find(app, "push button", "Starten"), 20)
    start.do_action(0)
    # A fresh program folder speaks Dutch: the play button offers "Afspelen".
    button = wait_for("the play button", lambda: find(app, "push button", "Afspelen"), 20)

    step("waiting for the station list")
    station = wait_for("the station 'Norvale toon'", lambda: find(app, "list item", "Norvale toon"), 20)
    click(station)

    step("clicked; waiting for the stream to play")
    wait_for("the button to offer Stop", lambda: button.get_name() == "Stop", 30)
    status = wait_for("a playing status line", lambda: find(app, "label", starts="Speelt"), 20)
    step(f"playing, status line: {status.get_name()!r}")

    if program.poll() is not None:
        failures.append(f"norvale ended early with {program.returncode}")
except Exception as error:  # noqa: BLE001 - any failure is reported with the program log
    failures.append(f"{type(error).__name__}: {error}")
finally:
    if program is not None:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
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
print("listening journey passed")
