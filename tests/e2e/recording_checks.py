"""The recording journeys' checks: a file per song, and audio as one run of a looped source."""
import json
import os
import subprocess


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
        data = open(path, "rb").read()
        if not data.startswith(b"ID3\x04"):
            problems.append(f"{path} has no ID3v2.4 tag in front")
        audio += without_id3(data)
    return problems + check_run(audio, source), audio
