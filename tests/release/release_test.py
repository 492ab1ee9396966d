#!/usr/bin/python3
"""`cmake --install` into a DESTDIR as a package makes it: the desktop's files, accepted by its
validators; the player seeds its folder from them, or says once why not; --help names exactly the
manual's options."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

BUILD, SOURCE = sys.argv.pop(1), sys.argv.pop(1)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


def need(tool):
    """The validators are Debian packages of scripts/deps.sh; in CI their absence fails."""
    if shutil.which(tool) is None:
        if os.environ.get("CI") == "true":
            raise AssertionError(f"{tool} is not installed")
        raise unittest.SkipTest(f"{tool} is not installed")


def options(text):
    """Long options and one-letter options, as a user would read them."""
    text = text.replace("\\-", "-")
    return set(re.findall(r"(?<![\w-])(--[a-z][a-z-]*|-[a-zA-Z])(?![\w-])", text))


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.tmp.name, "root")
        done = run(["cmake", "--install", BUILD, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=cls.root))
        assert done.returncode == 0, done.stderr
        cls.usr = os.path.join(cls.root, "usr")
        cls.addClassCleanup(cls.tmp.cleanup)

    def test_icons_in_every_size(self):
        for size in (16, 22, 24, 32, 48, 64, 128, 256):
            with self.subTest(size=size), open(f"{self.usr}/share/icons/hicolor/{size}x{size}/apps/norvale.png",
                                               "rb") as png:
                header = png.read(24)
                self.assertEqual((header[1:4], int.from_bytes(header[16:20], "big"),
                                  int.from_bytes(header[20:24], "big")), (b"PNG", size, size))
        self.assertTrue(os.path.isfile(f"{self.usr}/share/icons/hicolor/scalable/apps/norvale.svg"))

    def test_validators_accept_it(self):
        units = os.path.join(self.tmp.name, "units")
        os.makedirs(units, exist_ok=True)
        for name in ("norvale-directory.service", "norvale-directory@.service", "norvale-directory.target"):
            with open(f"{self.root}/lib/systemd/system/{name}") as shipped, open(f"{units}/{name}", "w") as copy:
                copy.write(shipped.read().replace("/usr/bin/", f"{self.usr}/bin/"))
        for tool, command in [
            ("desktop-file-validate", [f"{self.usr}/share/applications/norvale.desktop"]),
            ("appstreamcli", ["validate-tree", "--no-net", self.usr]),
            ("systemd-analyze", ["verify", "--man=no", f"{units}/norvale-directory.service",
                                 f"{units}/norvale-directory@8642.service", f"{units}/norvale-directory.target"]),
            ("groff", ["-man", "-ww", "-z", f"{self.usr}/share/man/man1/norvale.1",
                       f"{self.usr}/share/man/man1/norvale-directory.1"]),
        ]:
            with self.subTest(tool=tool):
                need(tool)
                done = run([tool] + command)
                # systemd-analyze only warns about a value it cannot parse.
                self.assertEqual((done.returncode, done.stderr), (0, ""), done.stdout)

    def test_player_seeds_its_folder_from_the_installation(self):
        home = os.path.join(self.tmp.name, "home")
        env = {"PATH": os.environ["PATH"], "HOME": home, "XDG_RUNTIME_DIR": self.tmp.name}
        done = run([f"{self.usr}/bin/norvale", "--history"], env=env)
        self.assertEqual(done.returncode, 0, done.stderr)
        for name in ("lang.ini", "INST.INI", "skins/Nacht_head.skn", "alarm.mp3"):
            self.assertTrue(os.path.isfile(f"{home}/.local/share/norvale/{name}"), name)

        # A file where the favourites belong, an engine that cannot start: main says each once,
        # the engine first, before any station is tried.
        blocked = os.path.join(self.tmp.name, "blocked")
        os.makedirs(blocked)
        open(os.path.join(blocked, "favo"), "w").close()
        player = subprocess.Popen([f"{self.usr}/bin/norvale"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True, env=dict(env, NORVALE_HOME=blocked, QT_QPA_PLATFORM="offscreen",
                                                      NORVALE_DIRECTORY_URL="http://127.0.0.1:9/",
                                                      NORVALE_MPV_OPTIONS="ao=null,audio-device=help"))
        timer = threading.Timer(20, player.kill)
        timer.start()
        output = ""
        while "cannot create" not in output and (line := player.stdout.readline()):
            output += line
        timer.cancel()
        player.kill()
        player.communicate()
        engine_says = "The playback engine (libmpv) did not start"
        engine, folder = output.find(engine_says), output.find("could not be placed in the program folder")
        self.assertTrue(0 <= engine < folder and output.count(engine_says) == 1, output)
        self.assertIn("cannot create", output)

    def test_completion(self):
        for program, words, expected in [
            ("norvale", "norvale --re", "--record"),
            ("norvale", "norvale --record http://x --pe", "--per-song"),
            ("norvale-directory", "norvale-directory se", "serve"),
            ("norvale-directory", "norvale-directory serve --trus", "--trusted-proxy"),
            ("norvale-directory", "norvale-directory import a.json --lo", "--logos"),
        ]:
            with self.subTest(words=words):
                script = (f". {self.usr}/share/bash-completion/completions/{program}; COMP_WORDS=({words});"
                          f" COMP_CWORD=$((${{#COMP_WORDS[@]}}-1)); $(complete -p {program} | awk '{{print $3}}');"
                          ' echo "${COMPREPLY[*]}"')
                self.assertEqual(run(["bash", "-c", script]).stdout.split(), [expected])

    def test_command_lines_follow_gnu_conventions(self):
        for program in ("norvale", "norvale-directory"):
            binary = f"{self.usr}/bin/{program}"
            with self.subTest(program=program, option="--help"):
                done = run([binary, "--help"])
                self.assertEqual((done.returncode, done.stderr), (0, ""))
                with open(f"{self.usr}/share/man/man1/{program}.1") as page:
                    manual = page.read().split(".SH OPTIONS", 1)[1].split("\n.SH ", 1)[0]
                self.assertEqual(options(done.stdout), options(manual))
            with self.subTest(program=program, option="--version"):
                done = run([binary, "--version"])
                self.assertEqual((done.returncode, done.stdout, done.stderr), (0, f"{program} 3.0\n", ""))
            with self.subTest(program=program, option="--no-such-option"):
                done = run([binary, "--no-such-option"], env={"PATH": os.environ["PATH"], "DISPLAY": ""})
                self.assertEqual((done.returncode, done.stdout), (2, ""))
                self.assertIn("no-such-option", done.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
