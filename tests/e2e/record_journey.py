#!/usr/bin/python3
"""Recording from the recorder window: a local Icecast loops a known MP3, the real directory
lists it, norvale plays it and records a few seconds. The file must be a tag, then one run of
the stream's body (no header byte) as long as the time recorded. (Per song: record_songs_journey.)
    record_journey.py NORVALE NORVALE_DIRECTORY REPOSITORY_ROOT
"""
import glob
import os
import sys
import time

import journey
from journey import Atspi, application, click, has, step, wait_for
from recording_checks import check_run, make_source, without_id3

norvale, server, root = sys.argv[1:4]
journey.require(*journey.STREAM_TOOLS)
work = journey.workspace("norvale-record-")  # the Icecast user reads the source file in here too
stream_dir, record_dir = os.path.join(work, "stream"), os.path.join(work, "opnames")
os.makedirs(record_dir)
failures = []


def find(top, role, name):
    return journey.find(top, role, name, showing=True)


def enabled_button(top, name):
    node = find(top, "push button", name)
    return node if node is not None and has(node, Atspi.StateType.ENABLED) else None


def check_recording(path, source, seconds):
    data = without_id3(open(path, "rb").read())
    step(f"recorded {len(data)} bytes in {seconds:.2f} s")
    if len(data) < 4096:
        return [f"the recording holds only {len(data)} bytes"]
    if abs(len(data) / 16000 - seconds) > 1.0:  # the source is 128 kbit/s, sent in real time
        return [f"{len(data) / 16000:.2f} s of audio, but {seconds:.2f} s were recorded"]
    return check_run(data, source)


with journey.running("recording journey", root, work, failures):
    step("making the source file and starting the local Icecast")
    source_file, source = make_source(work)
    station_url = journey.test_stream(root, "start", stream_dir, "--file", source_file, "--burst", "0",
                                      "--owner", str(os.getpid()))["ROOT_URL"]

    step("starting the directory server with that station")
    directory, directory_url = journey.directory_server(server, work, [("NL", "Norvale opname", station_url)])

    step("starting norvale")
    journey.installed_folder(norvale, work, f"[Record]\ndir={record_dir}/\n")
    program = journey.start_norvale(norvale, work, directory_url)
    app = wait_for("the norvale window on the accessibility bus", application, 30)

    step("playing the station from the list")
    station = wait_for("the station in the list", lambda: find(app, "list item", "Norvale opname"), 20)
    click(station)
    wait_for("the station to play", lambda: find(app, "push button", "Stop"), 30)

    step("the ask service answered: opening the recorder")
    wait_for("the record button to be enabled", lambda: enabled_button(app, "Opnemen"), 20).do_action(0)
    recorder = wait_for("the recorder window", lambda: find(app, "dialog", "Opnemen"), 10)
    start = wait_for("the start button", lambda: enabled_button(recorder, "Opname starten"), 10)
    started = time.time()
    start.do_action(0)
    wait_for("the status 'recording'", lambda: find(recorder, "label", "Bezig met opnemen"), 10)
    # Recording lasts while the status says so; the window must stay connected throughout.
    while time.time() < started + 5:  # seconds
        if not find(recorder, "label", "Bezig met opnemen"):
            raise RuntimeError("the recording stopped by itself")
        time.sleep(0.2)
    enabled_button(recorder, "Opname stoppen").do_action(0)
    seconds = time.time() - started
    wait_for("the status 'not connected'", lambda: find(recorder, "label", "Geen verbinding"), 10)
    wait_for("the close button", lambda: enabled_button(recorder, "Sluiten"), 10).do_action(0)
    wait_for("the recorder to close", lambda: not has(recorder, Atspi.StateType.SHOWING), 10)

    files = glob.glob(os.path.join(record_dir, "*.mp3"))
    if len(files) != 1:
        raise RuntimeError(f"expected one recording in {record_dir}, found {os.listdir(record_dir)}")
    step(f"checking {os.path.basename(files[0])}")
    failures += check_recording(files[0], source, seconds)

    if program.poll() is not None:
        failures.append(f"norvale ended early with {program.returncode}")
