#!/usr/bin/python3
"""A listener's evening driven from the desktop (playerctl, MPRIS): two favourites, one on
Icecast (UTF-8 title with markup), one on an ICY server sending Latin-1 titles. Next/Previous
switch them, the titles reach MPRIS as artist and plain title and `--history` exactly, an opened
address plays, `--sleep 1` stops within 65 s and the stored volume is the user's, not a faded one.
    listener_journey.py NORVALE_EXECUTABLE REPOSITORY_ROOT NORVALE_DIRECTORY_EXECUTABLE
"""
import os
import subprocess
import sys
import time
import journey
from journey import playerctl, step, test_stream, wait_for

norvale, root, directory = sys.argv[1], sys.argv[2], sys.argv[3]
journey.require(*journey.STREAM_TOOLS, "playerctl")
work = journey.workspace("norvale-listener-")
stream_dir = os.path.join(work, "stream")
failures = []

UTF8_SONG = "Zoë Ünïcode - Straße <b>5</b>"
LATIN1_SONG = "Café Noir - Déjà Vu"
METAINT = 8000


def icy_station(title_bytes):
    """A station that answers icy-metaint itself: a tone, one metadata block a second."""
    tone = subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "sine=f=523:d=20", "-ac", "1",
                           "-b:a", "64k", "-f", "mp3", "-"], check=True, capture_output=True).stdout

    def serve(client):
        try:
            client.recv(4096)
            client.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Bravo\r\n"
                           b"icy-metaint: %d\r\n\r\n" % METAINT)
            position = 0
            while True:
                chunk = tone[position:position + METAINT]
                position = (position + METAINT) % (len(tone) - METAINT)
                meta = b"StreamTitle='" + title_bytes + b"';"
                meta += b"\0" * (-len(meta) % 16)
                client.sendall(chunk + bytes([len(meta) // 16]) + meta)
                time.sleep(0.9)
        except OSError:
            pass
        finally:
            client.close()

    return journey.station(serve)


def metadata(key):
    return playerctl("metadata", key)


with journey.running("listener journey", root, work, failures):
    step("two stations: a local Icecast mount and a Latin-1 ICY server")
    alfa = test_stream(root, "start", stream_dir, "--burst", "8192")["URL"]
    bravo = icy_station(LATIN1_SONG.encode("latin-1"))

    step("the directory server with both stations")
    server, base = journey.directory_server(directory, work, [("NL", "Alfa Zender", alfa),
                                                              ("NL", "Bravo Zender", bravo)])

    step("a program folder with two favourites and volume 37")
    folder = journey.installed_folder(norvale, work, volume=37)
    inst = os.path.join(folder, "INST.INI")
    for name, url in (("Alfa Zender", alfa), ("Bravo Zender", bravo)):
        with open(os.path.join(folder, "favo", name), "w", encoding="utf-8") as f:
            f.write(f"[Internet]\nnaam={name}\nurl={url}\nwebsite=\n")
    env = journey.environment(work, base)
    program = journey.start_norvale(norvale, work, base)
    wait_for("the player on the session bus", lambda: playerctl("status"), 30)

    identity = journey.mpris("Get", "string:org.mpris.MediaPlayer2", "string:Identity",
                             interface="org.freedesktop.DBus.Properties")
    if "Norvale Internet Radio" not in identity:
        failures.append(f"Identity is {identity!r}")

    # Next with no favourite playing starts at the first.
    for key, name, url, song in (("next", "Alfa Zender", alfa, UTF8_SONG), ("next", "Bravo Zender", bravo, LATIN1_SONG),
                                 ("previous", "Alfa Zender", alfa, None)):
        step(f"{key}: {name}")
        playerctl(key)
        wait_for(f"{name}'s address", lambda: metadata("xesam:url") == url, 15)
        wait_for(f"{name} playing", lambda: playerctl("status") == "Playing", 30)
        if song is None:
            continue
        if url == alfa:
            test_stream(root, "title", stream_dir, song)
        artist, title = song.split(" - ", 1)
        wait_for(f"{song!r} in MPRIS", lambda: metadata("xesam:title") == title, 30)
        if (shown := (metadata("xesam:artist"), metadata("xesam:album"))) != (artist, name):
            failures.append(f"artist/album: {shown!r}")

    step("opening a stream by its address")
    playerctl("open", bravo)
    wait_for("the opened stream", lambda: metadata("xesam:url") == bravo and playerctl("status") == "Playing", 30)

    step("norvale --history")
    history = subprocess.run([norvale, "--history", "5"], env=dict(env, DISPLAY="", WAYLAND_DISPLAY=""),
                             capture_output=True, text=True, timeout=20)
    rows = [line.split("\t") for line in history.stdout.splitlines()]
    heard = [(row[1], row[2]) for row in rows if len(row) == 4]
    for expected in (("Alfa Zender", UTF8_SONG), ("Bravo Zender", LATIN1_SONG)):
        if expected not in heard:
            failures.append(f"{expected} not in --history: {history.stdout!r} {history.stderr!r}")

    step("norvale --sleep 1")
    started = time.time()
    sleep = subprocess.run([norvale, "--sleep", "1"], env=env, capture_output=True, text=True, timeout=20)
    if sleep.returncode != 0:
        failures.append(f"--sleep 1 ended with {sleep.returncode}: {sleep.stderr!r}")
    wait_for("playback to stop", lambda: playerctl("status") == "Stopped", 70)
    stopped = time.time() - started
    step(f"stopped after {stopped:.1f} s")
    if not 55 <= stopped <= 65:
        failures.append(f"the sleep timer stopped after {stopped:.1f} s")
    if not playerctl("volume").startswith("0.37"):
        failures.append(f"the volume after the sleep timer is {playerctl('volume')!r}")

    journey.mpris("Quit")
    program.wait(15)
    stored = open(inst, encoding="utf-8").read()
    if "Volume=37" not in stored:
        failures.append(f"the stored volume changed:\n{stored}")
