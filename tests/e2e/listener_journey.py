#!/usr/bin/python3
"""A listener's first session against the real directory server, then the evening after the next
start. First run, Holland list, Belgium chosen, a search played and kept as favourite, volume, quit
from the desktop; the next start brings all back and plays. With a second favourite on an ICY server
sending Latin-1 titles (Icecast's are UTF-8 with markup), Next/Previous switch them, titles reach
MPRIS and `--history`, an opened address plays, `--sleep 1` stops within 65 s keeping the volume.
No message box may ever appear.
    listener_journey.py NORVALE_EXECUTABLE REPOSITORY_ROOT NORVALE_DIRECTORY_EXECUTABLE
"""
import os
import subprocess
import sys
import time

import journey
from journey import Atspi, application, click, find, playerctl, step, test_stream, walk

norvale, root, directory = sys.argv[1], sys.argv[2], sys.argv[3]
journey.require(*journey.STREAM_TOOLS, "playerctl")
work = journey.workspace("norvale-listener-")
stream_dir = os.path.join(work, "stream")
failures = []
app = None
UTF8_SONG = "Zoë Ünïcode - Straße <b>5</b>"
LATIN1_SONG = "Café Noir - Déjà Vu"
METAINT = 8000


def no_message_box():
    box = find(app, "alert") if app is not None else None
    if box is not None:
        texts = [n.get_name() for n in walk(box) if n.get_role_name() == "label"]
        raise AssertionError(f"a message box appeared: {box.get_name()!r} {texts!r}")


def wait_for(what, predicate, timeout):
    return journey.wait_for(what, predicate, timeout, check=no_message_box)


def press(node):
    wait_for(f"{node.get_name()!r} to be enabled", lambda: node.get_state_set().contains(Atspi.StateType.ENABLED), 20)
    node.do_action(0)


def item_in(list_name, item):
    found = find(app, "list", list_name)
    return find(found, "list item", item) if found is not None else None


def start_norvale(log_name):
    global app
    app = None
    process = journey.start_norvale(norvale, work, base, log_name)
    app = wait_for("the norvale window on the accessibility bus", application, 30)
    return process


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


logs = ("norvale-1.log", "norvale-2.log", "directory.log", "program/INST.INI")
with journey.running("listener journey", root, work, failures, logs):
    step("two stations: a local Icecast mount and a Latin-1 ICY server")
    stream_url = test_stream(root, "start", stream_dir, "--burst", "8192")["URL"]
    bravo = icy_station(LATIN1_SONG.encode("latin-1"))

    step("filling and starting the directory server")
    server, base = journey.directory_server(directory, work, [
        ("NL", "Hollandse Hits", "http://127.0.0.1:9/hits"), ("NL", "Polder FM", "http://127.0.0.1:9/polder"),
        ("BE", "Brussel Praat", "http://127.0.0.1:9/praat"), ("BE", "Vlaamse Zonnetoon", stream_url)])

    step("first start in a fresh program folder")
    program = start_norvale("norvale-1.log")
    press(wait_for("the first-run window's Start button", lambda: find(app, "push button", "Starten"), 20))
    wait_for("the Holland list from the directory", lambda: item_in("Online", "Hollandse Hits"), 20)

    step("choosing Belgium in the country chooser")
    click(wait_for("the 'Ander land kiezen' link", lambda: find(app, "label", "Ander land kiezen"), 10))
    click(wait_for("Belgium in the country chooser", lambda: item_in("Landen", "België"), 20))
    chooser = find(app, "list", "Landen").get_parent()
    press(wait_for("the chooser's OK button", lambda: find(chooser, "push button", "OK"), 10))
    wait_for("the Belgian list", lambda: item_in("Online", "Brussel Praat"), 20)
    if item_in("Online", "Hollandse Hits") is not None:
        failures.append("the Holland stations are still listed after choosing Belgium")
    wait_for("the country shown as Belgium", lambda: find(app, "label", "België"), 10)

    step("searching a station and playing a result")
    click(wait_for("the 'Zender zoeken' link", lambda: find(app, "label", "Zender zoeken"), 10))
    search = wait_for("the search dialog", lambda: find(app, "list", "Zoekresultaten"), 20).get_parent()
    entry = wait_for("the search box", lambda: find(search, "text"), 10)
    Atspi.EditableText.set_text_contents(entry, "zonnetoon")
    press(wait_for("the search button", lambda: find(search, "push button", "Zoeken"), 10))
    click(wait_for("the search result", lambda: item_in("Zoekresultaten", "Vlaamse Zonnetoon"), 20))
    wait_for("PlaybackStatus Playing", lambda: playerctl("status") == "Playing", 30)
    playing = metadata("xesam:url")
    if playing != stream_url:
        failures.append(f"the result plays {playing!r}, not {stream_url!r}")
    wait_for("the play button to offer Stop", lambda: find(app, "push button", "Stop"), 10)
    wait_for("a playing status line", lambda: find(app, "label", starts="Speelt"), 20)
    press(wait_for("the search dialog's OK button", lambda: find(search, "push button", "OK"), 10))
    wait_for("the search dialog to close", lambda: find(app, "list", "Zoekresultaten") is None, 10)

    step("keeping it as a favourite, setting the volume, quitting from the desktop")
    press(wait_for("the add button", lambda: find(app, "push button", "Toevoegen"), 10))
    wait_for("the favourite", lambda: item_in("Favorieten", "Vlaamse Zonnetoon"), 10)
    playerctl("volume", "0.3")
    wait_for("the volume to read back", lambda: playerctl("volume").startswith("0.3"), 10)
    journey.mpris("Quit")
    program.wait(15)

    step("second start, with a second favourite: the last station comes back and plays")
    with open(os.path.join(work, "program", "favo", "Bravo Zender"), "w", encoding="utf-8") as f:
        f.write(f"[Internet]\nnaam=Bravo Zender\nurl={bravo}\nwebsite=\n")
    program = start_norvale("norvale-2.log")
    wait_for("PlaybackStatus Playing", lambda: playerctl("status") == "Playing", 30)
    wait_for("the station played", lambda: metadata("xesam:url") == stream_url, 10)
    wait_for("the station's name", lambda: find(app, "label", "Vlaamse Zonnetoon"), 10)
    wait_for("the country and its list", lambda: find(app, "label", "België") and item_in("Online", "Brussel Praat"),
             10)
    wait_for("the favourite", lambda: item_in("Favorieten", "Vlaamse Zonnetoon"), 10)
    wait_for("the volume", lambda: playerctl("volume").startswith("0.3") and find(app, "label", "30%"), 10)
    if find(app, "push button", "Starten") is not None:
        failures.append("the first-run window showed again")

    identity = journey.mpris("Get", "string:org.mpris.MediaPlayer2", "string:Identity",
                             interface="org.freedesktop.DBus.Properties")
    if "Norvale Internet Radio" not in identity:
        failures.append(f"Identity is {identity!r}")

    # Favourites by name: Bravo, then Vlaamse; the round wraps at either end.
    for key, name, url, song in (("next", "Bravo Zender", bravo, LATIN1_SONG),
                                 ("next", "Vlaamse Zonnetoon", stream_url, UTF8_SONG),
                                 ("previous", "Bravo Zender", bravo, None)):
        step(f"{key}: {name}")
        playerctl(key)
        wait_for(f"{name}'s address", lambda: metadata("xesam:url") == url, 15)
        wait_for(f"{name} playing", lambda: playerctl("status") == "Playing", 30)
        if song is None:
            continue
        if url == stream_url:
            test_stream(root, "title", stream_dir, song)
        artist, title = song.split(" - ", 1)
        wait_for(f"{song!r} in MPRIS", lambda: metadata("xesam:title") == title, 30)
        if (shown := (metadata("xesam:artist"), metadata("xesam:album"))) != (artist, name):
            failures.append(f"artist/album: {shown!r}")

    step("opening a stream by its address")
    playerctl("open", stream_url)
    wait_for("the opened stream", lambda: metadata("xesam:url") == stream_url and playerctl("status") == "Playing", 30)

    step("norvale --history")
    env = journey.environment(work, base)
    history = subprocess.run([norvale, "--history", "5"], env=dict(env, DISPLAY="", WAYLAND_DISPLAY=""),
                             capture_output=True, text=True, timeout=20)
    heard = [tuple(row[1:3]) for row in (line.split("\t") for line in history.stdout.splitlines()) if len(row) == 4]
    for expected in (("Vlaamse Zonnetoon", UTF8_SONG), ("Bravo Zender", LATIN1_SONG)):
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
    if not playerctl("volume").startswith("0.3"):
        failures.append(f"the volume after the sleep timer is {playerctl('volume')!r}")

    no_message_box()
    journey.mpris("Quit")
    program.wait(15)
    stored = open(os.path.join(work, "program", "INST.INI"), encoding="utf-8").read()
    if "Volume=30" not in stored:
        failures.append(f"the stored volume changed:\n{stored}")
