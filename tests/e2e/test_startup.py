"""Start-up, the two kinds of run, and shutdown, as a user meets them under Wine."""
import subprocess
import time
import unittest
from pathlib import Path

from harness import BUILD, PLAYER, Program, probe, register_player, wine_temp_dir
from swf_info import stage_size

START_PAGE = BUILD / "resources" / "start_page.swf"
MOVIES = BUILD / "tests" / "e2e" / "movies"
MAKE_PROJECTOR = BUILD / "host" / "make_projector"
PACK = BUILD / "host" / "brimloft_pack_host"
WS_CAPTION = 0x00C00000
WS_POPUP = 0x80000000


def make_projector(folder, movie, *extra, runtime=PLAYER):
    """A projector as "Create Projector" makes one: our executable, the player control packed
    into it, and the movie."""
    folder.mkdir(parents=True, exist_ok=True)
    out = folder / "Projector.exe"
    subprocess.run([str(MAKE_PROJECTOR), "--exe", str(BUILD / "app" / "Brimloft.exe"), "--out",
                    str(out), "--movie", str(movie), "--runtime", str(runtime), *extra],
                   check=True)
    return out


def setUpModule():
    register_player()


def qvl_files(temp):
    return {p.name for p in temp.glob("QVL*.tmp")} | {p.name for p in temp.glob("qvl*.tmp")}


class Startup(unittest.TestCase):
    def run_until_window(self, program):
        self.addCleanup(program.kill)
        program.start()
        return program.wait_window()

    def assert_placed(self, window, movie):
        width, height = stage_size(Path(movie).read_bytes())
        self.assertEqual((window["x"], window["y"]), (0, 0))
        self.assertEqual((window["width"], window["height"]), (width, height))
        self.assertEqual(window["topmost"], 1)
        self.assertEqual(window["visible"], 1)
        self.assertTrue(window["style"] & WS_POPUP)
        self.assertFalse(window["style"] & WS_CAPTION)

    def assert_no_message_box(self):
        code, _ = probe("wait-msgbox", "Quorvel", 1500)
        self.assertNotEqual(code, 0, "a message box appeared")

    def test_authoring_mode_writes_and_keeps_the_start_page(self):
        program = Program("authoring")
        window = self.run_until_window(program)
        written = program.folder / "Brimloft.swf"
        self.assertEqual(written.read_bytes(), START_PAGE.read_bytes())
        self.assert_placed(window, START_PAGE)
        self.assertEqual(window["title"], "Brimloft")
        self.assertEqual(program.close(), 0)
        self.assertTrue(written.exists(), "the start page must stay beside the program")

    def test_command_line_arguments_change_nothing(self):
        program = Program("arguments")
        self.addCleanup(program.kill)
        program.start("--help", "C:\\nothing.swf")
        window = program.wait_window()
        self.assert_placed(window, START_PAGE)
        self.assertEqual(program.close(), 0)

    def test_projector_mode_plays_a_private_copy_of_its_movie(self):
        temp = wine_temp_dir()
        for movie in ("panel_320x240.swf", "panel_320x240_cws.swf"):
            with self.subTest(movie=movie):
                source = MOVIES / movie
                exe = make_projector(Path(BUILD / "e2e-runs" / "projector"), source)
                before = qvl_files(temp)
                program = Program("projector", exe=exe, folder=exe.parent)
                window = self.run_until_window(program)
                made = qvl_files(temp) - before
                # One private copy of the player, one of the movie.
                self.assertEqual(len(made), 2, f"expected two temporary files, found {made}")
                contents = sorted((temp / name).read_bytes() for name in made)
                self.assertEqual(contents, sorted([source.read_bytes(), PLAYER.read_bytes()]))
                self.assert_placed(window, source)
                self.assertFalse((program.folder / "Brimloft.swf").exists())
                self.assertEqual(program.close(), 0)
                self.assertEqual(qvl_files(temp) - before, set(), "temporary files left behind")

    def test_a_projector_from_the_command_line_builder_plays_its_movie(self):
        temp = wine_temp_dir()
        source = MOVIES / "panel_320x240_cws.swf"
        folder = BUILD / "e2e-runs" / "packed"
        folder.mkdir(parents=True, exist_ok=True)
        exe = folder / "Game.exe"
        subprocess.run([str(PACK), "--player", str(PLAYER), "--movie", str(source),
                        "--icon", str(BUILD / "resources" / "icon_document.ico"),
                        "--base", str(BUILD / "app" / "Brimloft.exe"), "-o", str(exe)],
                       check=True, stdout=subprocess.DEVNULL)
        before = qvl_files(temp)
        program = Program("packed", exe=exe, folder=folder)
        window = self.run_until_window(program)
        made = qvl_files(temp) - before
        contents = sorted((temp / name).read_bytes() for name in made)
        self.assertEqual(contents, sorted([source.read_bytes(), PLAYER.read_bytes()]))
        self.assert_placed(window, source)
        self.assertFalse((program.folder / "Brimloft.swf").exists())
        self.assertEqual(program.close(), 0)

    def test_damaged_payloads_mean_authoring_mode_without_a_word(self):
        for damage in ("trailer-length-plus-one", "movie-signature"):
            with self.subTest(damage=damage):
                folder = Path(BUILD / "e2e-runs" / f"damaged-{damage}")
                exe = make_projector(folder, MOVIES / "panel_320x240.swf", "--damage", damage)
                (folder / "Brimloft.swf").unlink(missing_ok=True)
                program = Program(folder.name, exe=exe, folder=folder)
                window = self.run_until_window(program)
                self.assert_no_message_box()
                self.assertEqual((folder / "Brimloft.swf").read_bytes(), START_PAGE.read_bytes())
                self.assert_placed(window, START_PAGE)
                self.assertEqual(program.close(), 0)

    def test_missing_start_page_resource_is_reported(self):
        program = Program("nostart", exe=BUILD / "tests" / "e2e" / "Brimloft_nostart.exe")
        self.addCleanup(program.kill)
        program.start()
        texts, buttons = program.wait_message_box("Quorvel")
        self.assertEqual(texts, ["Failed to find binary resource"])
        self.assertEqual(buttons, ["OK"])
        program.press_ok()
        window = program.wait_window()
        # Nothing to play: the window exists but has no area.
        self.assertEqual((window["width"], window["height"]), (0, 0))
        self.assertFalse((program.folder / "Brimloft.swf").exists())
        self.assertEqual(program.close(), 0)


if __name__ == "__main__":
    unittest.main()
