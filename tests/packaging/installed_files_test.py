#!/usr/bin/env python3
"""The files the package installs beside the programs agree with the programs.

Usage: installed_files_test.py VERSION Z7PANEL Z7SIM DATA_DIR APP_ID [unittest args]
DATA_DIR is the build's packaging/ folder with the configured manual pages, desktop entry and
metainfo.
"""
import os
import re
import subprocess
import sys
import unittest

# An option as --help prints it and as a manual page shows it once "\-" is read as "-".
OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=30, **kwargs)


def no_display_env():
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    return env


class Programs(unittest.TestCase):
    def programs(self):
        return {"z7panel": PANEL, "z7sim": SIM}

    def test_version_without_display(self):
        for name, path in self.programs().items():
            with self.subTest(program=name):
                r = run([path, "--version"], env=no_display_env())
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(r.stdout, f"{name} {VERSION}\n")

    def test_manual_page_documents_every_option(self):
        for name, path in self.programs().items():
            with self.subTest(program=name):
                r = run([path, "--help"], env=no_display_env())
                self.assertEqual(r.returncode, 0, r.stderr)
                options = set(OPTION.findall(r.stdout))
                self.assertIn("--help", options)
                with open(os.path.join(DATA, f"{name}.1"), encoding="utf-8") as f:
                    page = set(OPTION.findall(f.read().replace("\\-", "-")))
                self.assertEqual(sorted(options - page), [], f"options of {name} --help missing in {name}(1)")


class Validators(unittest.TestCase):
    def test_manual_pages_render_without_warnings(self):
        env = dict(os.environ, LC_ALL="C.UTF-8")
        for name in ("z7panel.1", "z7sim.1"):
            with self.subTest(page=name):
                r = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", os.path.join(DATA, name)],
                        env=env)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(r.stderr, "")

    def test_desktop_entry_and_metainfo(self):
        cases = [
            ["desktop-file-validate", os.path.join(DATA, f"{APP_ID}.desktop")],
            ["appstreamcli", "validate", "--no-net", os.path.join(DATA, f"{APP_ID}.metainfo.xml")],
        ]
        for args in cases:
            with self.subTest(tool=args[0]):
                r = run(args)
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)


if __name__ == "__main__":
    VERSION, PANEL, SIM, DATA, APP_ID = sys.argv[1:6]
    unittest.main(argv=[sys.argv[0]] + sys.argv[6:], verbosity=2)
