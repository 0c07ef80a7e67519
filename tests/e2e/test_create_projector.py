"""Create Projector and Change Icon in authoring mode, through the real file dialogs: the new
file carries the chosen icon and no start page, runs as a projector, and a build that fails
leaves the destination as it was."""
import os
import subprocess
import time
import unittest

from harness import BUILD, PLAYER, SOURCE, Program, register_player, wine, wine_path
from swf_info import stage_size
from test_interaction import xdotool
from test_startup import PACK

ICON = BUILD / "resources" / "icon_document.ico"
EPOCH = {"SOURCE_DATE_EPOCH": "1700000000"}
CLASS = "{D27CDB6E-AE6D-11cf-96B8-444553540000}"


def resources(path):
    """pefile's listing of a file's resources: 'TYPE NAME LANGUAGE SIZE CODEPAGE CRC' lines."""
    out = subprocess.run(["/usr/bin/python3", SOURCE / "tests" / "unit" / "packaging" /
                          "pe_resources.py", str(path)], capture_output=True, text=True,
                         check=True).stdout.splitlines()
    return [line for line in out[1:]]


def answer_dialog(program, title, path):
    """Fills `path` into the file dialog captioned `title` and accepts it."""
    code, _ = program.probe("fill-dialog", title, wine_path(path), timeout=60)
    assert code == 0, f"no dialog {title!r}"


def setUpModule():
    register_player()


class CreateProjector(unittest.TestCase):
    def authoring(self, name):
        program = Program(name)
        self.addCleanup(program.kill)
        program.start(env=EPOCH)
        program.wait_window()
        return program

    def test_the_new_projector_carries_the_chosen_icon_and_plays_the_movie(self):
        program = self.authoring("builder")
        program.command(32779)  # Change Icon
        answer_dialog(program, "Select a Flash File", ICON)
        time.sleep(1)
        out = program.folder / "Game.exe"
        program.command(32775)  # Create Projector
        answer_dialog(program, "Create an Execution file", out)
        # Built beside the destination and moved into place whole: once there, it is complete.
        deadline = time.time() + 30
        while not out.exists() and time.time() < deadline:
            time.sleep(0.2)
        start_page = stage_size((program.folder / "Brimloft.swf").read_bytes())
        self.assertEqual(program.close(), 0)

        built, base = resources(out), resources(program.exe)
        self.assertFalse([r for r in built if r.startswith("BINARY #235 ")], "start page kept")
        self.assertTrue([r for r in base if r.startswith("BINARY #235 ")])
        group = [r for r in built if r.startswith("#14 #211 ")]
        self.assertEqual(len(group), 1)
        self.assertNotIn(group[0], base, "icon group 211 is the chosen icon's")
        self.assertEqual(list(program.folder.glob("*.tmp")), [], "temporary files left")

        # The command line makes the same file from the same inputs.
        packed = program.folder / "Packed.exe"
        subprocess.run([str(PACK), "--player", str(PLAYER), "--movie",
                        str(program.folder / "Brimloft.swf"), "--icon", str(ICON), "--base",
                        str(program.exe), "-o", str(packed)], check=True,
                       env={**os.environ, **EPOCH}, stdout=subprocess.DEVNULL)
        self.assertEqual(packed.read_bytes(), out.read_bytes())

        projector = Program("built", exe=out)
        self.addCleanup(projector.kill)
        projector.start()
        window = projector.wait_window()
        self.assertEqual((window["width"], window["height"]), start_page)
        self.assertEqual(projector.close(), 0)

    def test_a_failed_build_says_why_and_leaves_the_destination_as_it_was(self):
        def movie_gone(program):
            (program.folder / "Brimloft.swf").unlink()

        def control_gone(program):
            # The registration now names a file that is not there.
            self.addCleanup(register_player)
            subprocess.run(wine("reg", "add", f"HKCR\\CLSID\\{CLASS}\\InprocServer32", "/ve",
                                "/d", "C:\\nowhere\\flash.ocx", "/f"),
                           capture_output=True, check=True, timeout=60)

        cases = [(movie_gone, "Failed to open source file(.swf)."),
                 (control_gone, "Faile to open swflash.ocx or flash.ocx file.")]
        for fault, message in cases:
            with self.subTest(fault.__name__):
                program = self.authoring(f"builder-{fault.__name__}")
                out = program.folder / "Existing.exe"
                out.write_bytes(b"the file that was there")
                fault(program)
                program.command(32775)
                answer_dialog(program, "Create an Execution file", out)
                # The save dialog first asks whether to replace the file that is there.
                code, _ = program.probe("wait-msgbox", "Quorvel", 5000, timeout=40)
                if code != 0:
                    xdotool("key", "Return")
                texts, _ = program.wait_message_box()
                self.assertEqual(texts, [message])
                program.press_ok()
                self.assertEqual(out.read_bytes(), b"the file that was there")
                self.assertEqual(list(program.folder.glob("*.tmp")), [], "temporary files left")
                self.assertEqual(program.close(), 0)
                register_player()


if __name__ == "__main__":
    unittest.main()
