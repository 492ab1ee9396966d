#!/usr/bin/python3
"""Stop always stops, and nothing is lost at the end: a station that stalls (a second of MP3,
then silence on an open connection) is stopped from the desktop within a second by PlayPause and
by Stop; then an Icecast station plays and SIGTERM ends the program with INST.INI naming it.
    stop_exit_journey.py NORVALE NORVALE_DIRECTORY REPOSITORY_ROOT
"""
import os
import signal
import subprocess
import sys
import time

import journey
from journey import application, click, find, playerctl, step, wait_for

norvale, server, root = sys.argv[1:4]
journey.require(*journey.STREAM_TOOLS, "playerctl")
work = journey.workspace("norvale-stop-")
failures = []


class StallingStation:
    """A radio station that sends a little audio and then nothing, holding on."""

    def __init__(self, audio):
        self.audio, self.connections, self.closed = audio, 0, 0
        self.url = journey.station(self.serve)

    def serve(self, conn):
        self.connections += 1
        conn.recv(4096)
        conn.sendall(b"ICY 200 OK\r\nicy-name:Stil\r\nContent-Type: audio/mpeg\r\nicy-br:128\r\n\r\n" + self.audio)
        while conn.recv(4096):  # quiet, until the player hangs up
            pass
        self.closed += 1
        conn.close()


def stop_within_a_second(app, how):
    started = time.time()
    playerctl(how)
    while playerctl("status") != "Stopped":
        if time.time() - started > 1.0:
            raise RuntimeError(f"{how} did not stop the stalled station within a second")
        time.sleep(0.05)
    step(f"{how}: stopped after {time.time() - started:.2f} s")
    wait_for("the button to offer play", lambda: find(app, "push button", "Afspelen"), 2)


def stall(app, started):
    """Waits until the station has sent all and the engine waits for more, offering to stop."""
    wait_for("the player to connect", lambda: station.connections > started, 10)
    wait_for("the stalled stream shown as buffering", lambda: find(app, "label", starts="Bufferen"), 10)
    if playerctl("status") != "Playing" or not find(app, "push button", "Stop"):
        raise RuntimeError("while stalled, the desktop or the button does not offer to stop")


with journey.running("stop and exit journey", root, work, failures):
    step("a second of MP3, the local Icecast and the directory")
    clip = os.path.join(work, "clip.mp3")
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
                    "-c:a", "libmp3lame", "-b:a", "128k", clip], check=True)
    station = StallingStation(open(clip, "rb").read())
    icecast = journey.test_stream(root, "start", os.path.join(work, "stream"), "--burst", "8192", "--owner",
                                  str(os.getpid()))
    directory, directory_url = journey.directory_server(
        server, work, [("NL", "Norvale toon", icecast["ROOT_URL"]), ("NL", "Norvale stil", station.url)])
    journey.installed_folder(norvale, work)
    inst = os.path.join(work, "program", "INST.INI")
    program = journey.start_norvale(norvale, work, directory_url)
    app = wait_for("the norvale window on the accessibility bus", application, 30)

    step("the stalled station, stopped with PlayPause")
    click(wait_for("the stalled station in the list", lambda: find(app, "list item", "Norvale stil"), 20))
    stall(app, 0)
    stop_within_a_second(app, "play-pause")

    step("started again, stopped with Stop")
    playerctl("play-pause")
    stall(app, 1)
    stop_within_a_second(app, "stop")

    step("the Icecast station plays; SIGTERM")
    click(find(app, "list item", "Norvale toon"))
    wait_for("the stream to play", lambda: playerctl("metadata", "xesam:url") == icecast["ROOT_URL"]
             and playerctl("status") == "Playing", 20)
    program.send_signal(signal.SIGTERM)
    program.wait(10)
    stored = open(inst, encoding="utf-8").read()
    for line in (f"LaatsteURL={icecast['ROOT_URL']}", "LaatsteNAAM=Norvale toon"):
        if line not in stored:
            failures.append(f"INST.INI lacks {line!r}:\n{stored}")
    # Both stops hung up, and no reconnect came after them.
    if (station.connections, station.closed) != (2, 2):
        failures.append(f"the stalled station saw {station.connections} connections, {station.closed} closed")
