#!/usr/bin/python3
"""A new user's first session against the real directory server, and the next start: first-run
window, Holland list, another country, a search played and kept as favourite, volume, quit from
the desktop; the next start brings all back and plays at once. No message box may ever appear.
    directory_journey.py NORVALE_EXECUTABLE REPOSITORY_ROOT NORVALE_DIRECTORY_EXECUTABLE
"""
import os
import sys

import journey
from journey import Atspi, application, click, find, playerctl, step, walk

norvale, root, directory = sys.argv[1], sys.argv[2], sys.argv[3]
journey.require(*journey.STREAM_TOOLS, "playerctl")
work = journey.workspace("norvale-directory-journey-")
failures = []
app = None


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


logs = ("norvale-1.log", "norvale-2.log", "directory.log", "program/INST.INI")
with journey.running("directory journey", root, work, failures, logs):
    step("starting the local Icecast stream")
    stream_url = journey.test_stream(root, "start", os.path.join(work, "stream"), "--burst", "8192")["URL"]

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
    playing = playerctl("metadata", "xesam:url")
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

    step("second start: the last station comes back and plays")
    program = start_norvale("norvale-2.log")
    wait_for("PlaybackStatus Playing", lambda: playerctl("status") == "Playing", 30)
    checks = {
        "the station played": lambda: playerctl("metadata", "xesam:url") == stream_url,
        "the station's name": lambda: find(app, "label", "Vlaamse Zonnetoon"),
        "the country": lambda: find(app, "label", "België"),
        "the country's list": lambda: item_in("Online", "Brussel Praat"),
        "the favourite": lambda: item_in("Favorieten", "Vlaamse Zonnetoon"),
        "the volume": lambda: playerctl("volume").startswith("0.3") and find(app, "label", "30%"),
    }
    for what, check in checks.items():
        try:
            wait_for(what, check, 10)
        except TimeoutError as error:
            failures.append(str(error))
    if find(app, "push button", "Starten") is not None:
        failures.append("the first-run window showed again")
    no_message_box()
