#!/usr/bin/python3
"""Stop always stops, recordings keep every byte, nothing is lost at the end. A station that stalls
(a second of MP3, then silence on an open connection) is stopped from the desktop within a second by
PlayPause and by Stop; a local Icecast looping a known MP3 plays, the recorder window records a few
seconds (a tag, then one run of the stream's body as long as the time recorded), and SIGTERM ends
the program with INST.INI naming the station. Then, with no display, `norvale --record --per-song`
while the title changes: one tagged, cleanly decoding file per title, together one unbroken run.
    stop_record_exit_journey.py NORVALE NORVALE_DIRECTORY REPOSITORY_ROOT
"""
import glob
import json
import os
import signal
import subprocess
import sys
import threading
import time

import journey
from journey import Atspi, application, click, find, has, playerctl, step, test_stream, wait_for

norvale, server, root = sys.argv[1:4]
journey.require(*journey.STREAM_TOOLS, "playerctl")
work = journey.workspace("norvale-stop-")  # the Icecast user reads the source file in here too
stream_dir, record_dir = os.path.join(work, "stream"), os.path.join(work, "opnames")
os.makedirs(record_dir)
TITLES = ["Artiest Een - Eerste lied", "Artiest Twee - Tweede lied", "Derde lied", "Artiest Vier - Café 4/4"]
failures = []


def make_source(work):
    """Three seconds of noise as a bare MP3 (no ID3, no Xing frame): its path and bytes."""
    path = os.path.join(work, "bron.mp3")
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                    "anoisesrc=seed=7:amplitude=0.3:duration=3", "-ar", "44100", "-ac", "2", "-c:a", "libmp3lame",
                    "-b:a", "128k", "-id3v2_version", "0", "-write_xing", "0", path], check=True)
    return path, open(path, "rb").read()


def without_id3(data):
    if data[:3] != b"ID3":
        return data
    return data[10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]):]


def check_run(data, source):
    """From wherever it starts, the file's bytes in order across loops: nothing lost, doubled or added."""
    offset = (source + source).find(data[:4096])
    expected = (source * (len(data) // len(source) + 2))[offset:offset + len(data)]
    if offset >= 0 and data == expected:
        return []
    first = next((i for i, (a, b) in enumerate(zip(data, expected)) if a != b), min(len(data), len(expected)))
    return [f"the recording is no contiguous run of the stream (start found at {offset}, first "
            f"difference at byte {first} of {len(data)}, begins {data[:24]!r})"]


def check_songs(paths, titles, album, source):
    """Each file tagged with its title ("Artist - Title") and album, decoding cleanly; together one run."""
    problems, audio = [], b""
    for path, title in zip(paths, titles):
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path],
                               capture_output=True, text=True)
        tags = {k.lower(): v for k, v in json.loads(probe.stdout or "{}").get("format", {}).get("tags", {}).items()}
        artist, _, name = title.rpartition(" - ")
        if (tags.get("title"), tags.get("artist", ""), tags.get("album")) != (name, artist, album):
            problems.append(f"{path}: tags {tags}")
        decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                                capture_output=True, text=True)
        if decode.returncode != 0 or decode.stderr.strip():
            problems.append(f"{path} does not decode cleanly: {decode.stderr.strip()[:300]}")
        audio += without_id3(open(path, "rb").read())
    return problems + check_run(audio, source), audio


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


def shown(top, role, name):
    return find(top, role, name, showing=True)


def enabled_button(top, name):
    node = shown(top, "push button", name)
    return node if node is not None and has(node, Atspi.StateType.ENABLED) else None


def record_a_few_seconds(app):
    """The recorder window's start and stop; the seconds between them."""
    wait_for("the record button to be enabled", lambda: enabled_button(app, "Opnemen"), 20).do_action(0)
    recorder = wait_for("the recorder window", lambda: shown(app, "dialog", "Opnemen"), 10)
    start = wait_for("the start button", lambda: enabled_button(recorder, "Opname starten"), 10)
    started = time.time()
    start.do_action(0)
    wait_for("the status 'recording'", lambda: shown(recorder, "label", "Bezig met opnemen"), 10)
    while time.time() < started + 5:  # the window must stay connected throughout
        if not shown(recorder, "label", "Bezig met opnemen"):
            raise RuntimeError("the recording stopped by itself")
        time.sleep(0.2)
    enabled_button(recorder, "Opname stoppen").do_action(0)
    seconds = time.time() - started
    wait_for("the status 'not connected'", lambda: shown(recorder, "label", "Geen verbinding"), 10)
    wait_for("the close button", lambda: enabled_button(recorder, "Sluiten"), 10).do_action(0)
    wait_for("the recorder to close", lambda: not has(recorder, Atspi.StateType.SHOWING), 10)
    return seconds


def check_recording(source, seconds):
    files = glob.glob(os.path.join(record_dir, "*.mp3"))
    if len(files) != 1:
        return [f"expected one recording in {record_dir}, found {os.listdir(record_dir)}"]
    data = without_id3(open(files[0], "rb").read())
    step(f"{os.path.basename(files[0])}: {len(data)} bytes in {seconds:.2f} s")
    if abs(len(data) / 16000 - seconds) > 1.0:  # the source is 128 kbit/s, sent in real time
        return [f"{len(data) / 16000:.2f} s of audio, but {seconds:.2f} s were recorded"]
    return check_run(data, source)


def record_per_song(url):
    """`norvale --record` per song without a display, the title changed while it runs."""
    test_stream(root, "title", stream_dir, TITLES[0])

    def change_titles():
        for title in TITLES[1:]:
            time.sleep(6)
            test_stream(root, "title", stream_dir, title)

    changer = threading.Thread(target=change_titles)
    changer.start()
    songs_dir = os.path.join(work, "per-lied")
    run = subprocess.run([norvale, "--record", url, "--per-song", "--for", "25s", "--to", songs_dir], env=headless,
                         capture_output=True, text=True, timeout=90)
    changer.join()
    print(run.stdout, run.stderr, sep="")
    if run.returncode != 0:
        return [f"norvale --record ended with {run.returncode}"]
    kept = [line.split(": ", 1)[1] for line in run.stdout.splitlines() if line.startswith("Bewaard: ")]
    names = [os.path.basename(path) for path in kept]
    expected = [f"{TITLES[0]} (begin ontbreekt).mp3", f"{TITLES[1]}.mp3", f"{TITLES[2]}.mp3",
                f"{TITLES[3].replace('/', '%2F')} (einde ontbreekt).mp3"]
    if names != expected:
        return [f"files {names}, expected {expected}"]
    problems, audio = check_songs(kept, TITLES, "Norvale test stream", source)
    if {os.path.dirname(path) for path in kept} != {os.path.join(songs_dir, "Norvale test stream")}:
        problems.append(f"the files are not in the station's folder: {kept}")
    if len(audio) < 20 * 16000:
        problems.append(f"only {len(audio)} bytes recorded in 25 s")
    return problems


with journey.running("stop, record and exit journey", root, work, failures):
    step("a known MP3: its first second from the stalling station, looped by the local Icecast; the directory")
    source_file, source = make_source(work)
    station = StallingStation(source[:16000])
    icecast = test_stream(root, "start", stream_dir, "--file", source_file, "--burst", "0", "--owner", str(os.getpid()))
    directory, directory_url = journey.directory_server(
        server, work, [("NL", "Norvale toon", icecast["ROOT_URL"]), ("NL", "Norvale stil", station.url)])
    journey.installed_folder(norvale, work, f"[Record]\ndir={record_dir}/\n")
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

    step("the Icecast station plays; the ask service answered: recording from the recorder window")
    click(find(app, "list item", "Norvale toon"))
    wait_for("the stream to play", lambda: playerctl("metadata", "xesam:url") == icecast["ROOT_URL"]
             and playerctl("status") == "Playing", 20)
    failures += check_recording(source, record_a_few_seconds(app))

    step("SIGTERM")
    if program.poll() is not None:
        raise RuntimeError(f"norvale ended early with {program.returncode}")
    program.send_signal(signal.SIGTERM)
    program.wait(10)
    stored = open(inst, encoding="utf-8").read()
    for line in (f"LaatsteURL={icecast['ROOT_URL']}", "LaatsteNAAM=Norvale toon"):
        if line not in stored:
            failures.append(f"INST.INI lacks {line!r}:\n{stored}")
    # Both stops hung up, and no reconnect came after them.
    if (station.connections, station.closed) != (2, 2):
        failures.append(f"the stalled station saw {station.connections} connections, {station.closed} closed")

    step("recording 25 s per song, with no display")
    headless = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    headless.update(NORVALE_HOME=os.path.join(work, "program"), HOME=os.path.join(work, "home"))
    failures += record_per_song(icecast["URL"])

    step("a station that cannot be reached and a folder that cannot be written")
    url, port = icecast["URL"], icecast["PORT"]
    for args, code, says in ((["--record", url.replace(port, "1"), "--to", record_dir], 2, "niet bereikbaar"),
                             (["--record", url, "--to", "/proc/norvale"], 3, "/proc/norvale")):
        run = subprocess.run([norvale, *args], env=headless, capture_output=True, text=True, timeout=30)
        if run.returncode != code or says not in run.stdout + run.stderr:
            failures.append(f"{args}: exit {run.returncode}, said {run.stdout[-200:]}{run.stderr[-200:]}")

    step("a whole-stream recording ended by SIGTERM")
    whole_dir = os.path.join(work, "heel")
    recorder = subprocess.Popen([norvale, "--record", url, "--to", whole_dir], env=headless, stdout=subprocess.PIPE,
                                text=True)
    started = recorder.stdout.readline()
    time.sleep(3)
    recorder.terminate()
    rest, _ = recorder.communicate(timeout=20)
    files = os.listdir(whole_dir)
    path = os.path.join(whole_dir, files[0]) if len(files) == 1 else ""
    if recorder.returncode != 0 or not started.startswith("Opname naar ") or not path:
        failures.append(f"SIGTERM: exit {recorder.returncode}, printed {started!r}{rest!r}, files {files}")
    else:
        data = open(path, "rb").read()
        audio = without_id3(data)
        decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                                capture_output=True, text=True)
        if b"Norvale test stream" not in data[:len(data) - len(audio)] or audio not in source * 3 \
                or decode.stderr.strip():
            failures.append(f"SIGTERM: the whole recording is not tagged, contiguous and clean ({len(audio)} "
                            f"bytes) {decode.stderr.strip()[:200]}")
