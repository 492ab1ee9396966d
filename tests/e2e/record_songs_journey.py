#!/usr/bin/python3
"""Recording per song with no display: `norvale --record ADDRESS --per-song --for 25s` while
a local Icecast loops a known MP3 and changes its title three times. One file per title, named
and ID3-tagged after it, each decoding cleanly; their audio together one unbroken run of the source.
    record_songs_journey.py NORVALE REPOSITORY_ROOT
"""
import os
import subprocess
import sys
import threading
import time

import journey
from journey import step, test_stream
from recording_checks import check_songs, make_source, without_id3

norvale, root = sys.argv[1:3]
journey.require(*journey.STREAM_TOOLS)
work = journey.workspace("norvale-songs-")  # the Icecast user reads the source file in here too
stream_dir, record_dir = os.path.join(work, "stream"), os.path.join(work, "opnames")
TITLES = ["Artiest Een - Eerste lied", "Artiest Twee - Tweede lied", "Derde lied", "Artiest Vier - Café 4/4"]
failures = []

with journey.running("recording per song journey", root, work, failures, ()):
    step("making the source file and starting the local Icecast")
    source_file, source = make_source(work)
    url = test_stream(root, "start", stream_dir, "--file", source_file, "--burst", "0", "--owner",
                      str(os.getpid()))["URL"]
    test_stream(root, "title", stream_dir, TITLES[0])

    def change_titles():
        for title in TITLES[1:]:
            time.sleep(6)
            test_stream(root, "title", stream_dir, title)

    step("recording 25 s per song, with no display")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(NORVALE_HOME=os.path.join(work, "program"), HOME=os.path.join(work, "home"))
    changer = threading.Thread(target=change_titles)
    changer.start()
    run = subprocess.run([norvale, "--record", url, "--per-song", "--for", "25s", "--to", record_dir], env=env,
                         capture_output=True, text=True, timeout=90)
    changer.join()
    print(run.stdout, run.stderr, sep="")
    if run.returncode != 0:
        raise RuntimeError(f"norvale --record ended with {run.returncode}")
    kept = [line.split(": ", 1)[1] for line in run.stdout.splitlines() if line.startswith("Bewaard: ")]
    names = [os.path.basename(path) for path in kept]
    expected = [f"{TITLES[0]} (begin ontbreekt).mp3", f"{TITLES[1]}.mp3", f"{TITLES[2]}.mp3",
                f"{TITLES[3].replace('/', '%2F')} (einde ontbreekt).mp3"]
    if names != expected:
        raise RuntimeError(f"files {names}, expected {expected}")
    if {os.path.dirname(path) for path in kept} != {os.path.join(record_dir, "Norvale test stream")}:
        failures.append(f"the files are not in the station's folder: {kept}")

    problems, audio = check_songs(kept, TITLES, "Norvale test stream", source)
    failures += problems
    if len(audio) < 20 * 16000:
        failures.append(f"only {len(audio)} bytes recorded in 25 s")

    step("a station that cannot be reached and a folder that cannot be written")
    port = url.split(":")[2].split("/")[0]
    for args, code, says in ((["--record", url.replace(port, "1"), "--to", record_dir], 2, "niet bereikbaar"),
                             (["--record", url, "--to", "/proc/norvale"], 3, "/proc/norvale")):
        run = subprocess.run([norvale, *args], env=env, capture_output=True, text=True, timeout=30)
        if run.returncode != code or says not in run.stdout + run.stderr:
            failures.append(f"{args}: exit {run.returncode}, said {run.stdout[-200:]}{run.stderr[-200:]}")

    step("a whole-stream recording ended by SIGTERM")
    whole_dir = os.path.join(work, "heel")
    recorder = subprocess.Popen([norvale, "--record", url, "--to", whole_dir], env=env, stdout=subprocess.PIPE,
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
