"""Movies on the desktop: shaped windows on both presentation paths, animation, projectors with
their private player, and what happens without a player."""
import subprocess
import time
import unittest
from pathlib import Path

from harness import (BITS, BUILD, PLAYER, Program, pixel, probe, register_player,
                     registered_player_path, screenshot, system32, unregister_player, wine,
                     wine_path, wine_temp_dir)
from swf_info import stage_size
from test_startup import MOVIES, make_projector, qvl_files

DESKTOP = (58, 110, 165)  # the root colour scripts/with-display paints
WS_EX_LAYERED = 0x00080000
SIMULATE_9X = 208
SWFRENDER = BUILD.parent / "native" / "player" / "tools" / "swfrender"
SHOTS = BUILD / "e2e-shots"
# A real module built for the other processor, from the MinGW packages.
OTHER_MACHINE = Path("/usr/i686-w64-mingw32/lib/libwinpthread-1.dll" if BITS == "64" else
                     "/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll")
NO_PLAYER = "Flash ActiveX control wasn't installed."


def setUpModule():
    register_player()
    SHOTS.mkdir(parents=True, exist_ok=True)


def close_enough(a, b, tolerance=8):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def alpha_mask(movie, width, height):
    """The engine's own alpha for the movie's first frame, from the native renderer, or None
    when the native build is not there."""
    if not SWFRENDER.exists():
        return None
    out = SHOTS / (Path(movie).stem + "-alpha.png")
    subprocess.run([str(SWFRENDER), str(movie), "--frame", "1", "--out", str(out),
                    "--transparent"], check=True)
    raw = subprocess.run(["convert", str(out), "-alpha", "extract", "-depth", "8", "gray:-"],
                         capture_output=True, check=True).stdout
    assert len(raw) == width * height
    return raw


class Hosting(unittest.TestCase):
    def start(self, name, exe=None, folder=None):
        program = Program(name, exe=exe, folder=folder)
        self.addCleanup(program.kill)
        program.start()
        window = program.wait_window()
        time.sleep(1.0)  # a few frames, so that the first paints are done
        return program, window

    def test_start_page_floats_on_the_desktop_with_per_pixel_alpha(self):
        program, window = self.start("layered")
        self.assertTrue(window["exstyle"] & WS_EX_LAYERED)
        self.assertEqual((window["x"], window["y"]), (0, 0))
        self.assertEqual((window["width"], window["height"]),
                         stage_size((program.folder / "Brimloft.swf").read_bytes()))
        self.assertIsNone(program.region(), "the layered path sets no region")
        shot = screenshot(SHOTS / "start-page-layered.png")
        self.assertEqual(pixel(shot, 2, 2), DESKTOP, "corner pixels show the desktop")
        self.assertNotEqual(pixel(shot, 160, 160), DESKTOP, "the badge is drawn")
        self.assertEqual(program.close(), 0)

    def test_region_path_cuts_the_window_to_the_movie(self):
        movie = MOVIES / "panel_320x240.swf"
        exe = make_projector(BUILD / "e2e-runs" / "region", movie)
        program, window = self.start("region", exe=exe, folder=exe.parent)
        program.command(SIMULATE_9X)
        time.sleep(1.0)
        info = program.wait_window()
        self.assertFalse(info["exstyle"] & WS_EX_LAYERED)
        rects = program.region()
        self.assertIsNotNone(rects)
        width, height = stage_size(movie.read_bytes())
        inside = bytearray(width * height)
        for left, top, right, bottom in rects:
            for y in range(max(top, 0), min(bottom, height)):
                for x in range(max(left, 0), min(right, width)):
                    inside[y * width + x] = 1
        expected = alpha_mask(movie, width, height)
        if expected is not None:
            # Exactly the pixels with alpha of 128 or more; a pixel right at the threshold may
            # land either side by the rounding of drawing over the undrawn marker.
            wrong = [(i % width, i // width) for i in range(width * height)
                     if inside[i] != (expected[i] >= 128) and not 120 <= expected[i] <= 136]
            self.assertEqual(wrong, [], "region differs from the movie's opaque pixels")
        shot = screenshot(SHOTS / "panel-region.png")
        self.assertEqual(pixel(shot, 3, 3), DESKTOP)
        self.assertEqual(pixel(shot, 11, 11), DESKTOP, "the rounded corner is cut away")
        self.assertTrue(close_enough(pixel(shot, 40, 40), (0x20, 0x80, 0xE0)))
        self.assertEqual(pixel(shot, 160, 120), (255, 255, 255), "the disc in the middle")
        # And back to the layered path.
        program.command(SIMULATE_9X)
        time.sleep(0.5)
        self.assertTrue(program.wait_window()["exstyle"] & WS_EX_LAYERED)
        self.assertIsNone(program.region())
        self.assertEqual(program.close(), 0)

    def test_animated_movie_changes_between_frames(self):
        movie = MOVIES / "anim_240x180.swf"
        exe = make_projector(BUILD / "e2e-runs" / "anim", movie)
        program, _ = self.start("anim", exe=exe, folder=exe.parent)
        first = screenshot(SHOTS / "anim-1.png")
        time.sleep(0.35)
        second = screenshot(SHOTS / "anim-2.png")
        diff = subprocess.run(["compare", "-metric", "AE", "-extract", "240x180+0+0", str(first),
                               str(second), "null:"], capture_output=True, text=True).stderr
        self.assertGreater(float(diff.split()[0]), 50, "the moving disc should change pixels")
        self.assertTrue(close_enough(pixel(second, 20, 90), (0x20, 0x80, 0xE0)))
        self.assertEqual(program.close(), 0)

    def test_projector_uses_its_own_player_even_without_a_registered_one(self):
        temp = wine_temp_dir()
        movie = MOVIES / "panel_320x240.swf"
        exe = make_projector(BUILD / "e2e-runs" / "private", movie)
        unregister_player()
        self.addCleanup(register_player)
        before = qvl_files(temp)
        first = Program("private", exe=exe, folder=exe.parent)
        second_folder = BUILD / "e2e-runs" / "private-2"
        second_folder.mkdir(parents=True, exist_ok=True)
        second = Program("private-2", exe=exe, folder=second_folder)
        for p in (first, second):
            self.addCleanup(p.kill)
            p.start()
            p.wait_window()
        deadline = time.time() + 20
        while time.time() < deadline:
            code, lines = probe("count", "QuorvelSprite")
            if lines and lines[0] == "count=2":
                break
            time.sleep(0.2)
        self.assertEqual(lines, ["count=2"], "both projectors run at once")
        made = qvl_files(temp) - before
        self.assertEqual(len(made), 4, "each run has its own player and movie copies")
        time.sleep(0.5)
        shot = screenshot(SHOTS / "private.png")
        self.assertTrue(close_enough(pixel(shot, 40, 40), (0x20, 0x80, 0xE0)))
        probe("close-all", "QuorvelSprite")
        self.assertEqual(first.wait_exit(), 0)
        self.assertEqual(second.wait_exit(), 0)
        self.assertEqual(qvl_files(temp) - before, set(), "temporary files left behind")

    def test_install_runtime_only_when_not_older_than_the_registered_one(self):
        installed = system32() / "Macromed" / "Flash" / "flash.ocx"
        movie = MOVIES / "panel_320x240.swf"
        cases = [("older", "0", "0", False), ("newer", str(99 << 16), "0", True)]
        self.addCleanup(register_player)
        for name, ms, ls, expect_install in cases:
            with self.subTest(name):
                register_player()
                installed.unlink(missing_ok=True)
                exe = make_projector(BUILD / "e2e-runs" / f"install-{name}", movie,
                                     "--runtime-name", "\\flash.ocx", "--version", ms, ls)
                program, _ = self.start(f"install-{name}", exe=exe, folder=exe.parent)
                self.assertEqual(program.close(), 0)
                self.assertEqual(installed.exists(), expect_install)
                if expect_install:
                    self.assertEqual(installed.read_bytes(), PLAYER.read_bytes())
                    self.assertTrue(registered_player_path().lower().endswith(
                        "\\macromed\\flash\\flash.ocx"))

    def test_projectors_started_together_all_play(self):
        # Packed with the registered control's own version, so that every start installs it.
        register_player()
        exe = make_projector(BUILD / "e2e-runs" / "together", MOVIES / "panel_320x240.swf",
                             "--runtime-name", "\\flash.ocx", "--version", str(1 << 16), "1")
        installed = system32() / "Macromed" / "Flash" / "flash.ocx"
        self.addCleanup(register_player)
        for round_ in range(2):
            programs = []
            for i in range(3):
                folder = BUILD / "e2e-runs" / f"together-{i}"
                folder.mkdir(parents=True, exist_ok=True)
                program = Program(folder.name, exe=exe, folder=folder)
                self.addCleanup(program.kill)
                programs.append(program.start())
                time.sleep(0.2)
            deadline = time.time() + 20
            while time.time() < deadline:
                _, lines = probe("count", "QuorvelSprite")
                if lines == ["count=3"]:
                    break
                time.sleep(0.2)
            self.assertEqual(lines, ["count=3"], f"round {round_}: every copy shows its window")
            code, _ = probe("wait-msgbox", "Quorvel", 500)
            self.assertNotEqual(code, 0, "a message box appeared")
            probe("close-all", "QuorvelSprite")
            self.assertEqual([p.wait_exit() for p in programs], [0, 0, 0])
            self.assertEqual(installed.read_bytes(), PLAYER.read_bytes())
        self.assertEqual(sorted(p.name for p in installed.parent.glob("QVL*")), [],
                         "unpacking leftovers in the install folder")

    def assert_no_player_message_then_exit(self, program):
        self.addCleanup(program.kill)
        program.start()
        texts, buttons = program.wait_message_box("Quorvel")
        self.assertEqual(len(texts), 1)
        self.assertTrue(texts[0].startswith(NO_PLAYER))
        self.assertEqual(buttons, ["OK"])
        program.press_ok()
        self.assertEqual(program.wait_exit(), 0)

    def test_no_registered_player_says_so_and_ends(self):
        unregister_player()
        self.addCleanup(register_player)
        self.assert_no_player_message_then_exit(Program("noplayer"))

    def test_a_player_of_the_other_bitness_is_never_loaded_nor_installed(self):
        self.assertTrue(OTHER_MACHINE.exists(), "scripts/setup-deps installs the MinGW packages")
        temp = wine_temp_dir()
        installed = system32() / "Macromed" / "Flash" / "flash.ocx"
        register_player()
        installed.unlink(missing_ok=True)
        self.addCleanup(register_player)
        with self.subTest("packed into a projector, newer than the registered one"):
            exe = make_projector(BUILD / "e2e-runs" / "other-machine",
                                 MOVIES / "panel_320x240.swf", "--runtime-name", "\\flash.ocx",
                                 "--version", str(99 << 16), "0", runtime=OTHER_MACHINE)
            before = qvl_files(temp)
            self.assert_no_player_message_then_exit(Program("other-machine", exe=exe,
                                                            folder=exe.parent))
            self.assertFalse(installed.exists(), "a control of the other bitness was installed")
            self.assertEqual(registered_player_path().lower(), wine_path(PLAYER).lower())
            self.assertEqual(qvl_files(temp) - before, set(), "temporary files left behind")
        with self.subTest("registered"):
            key = "HKCR\\CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32"
            subprocess.run(wine("reg", "add", key, "/ve", "/d", wine_path(OTHER_MACHINE), "/f"),
                           check=True,
                           capture_output=True, timeout=60)
            self.assert_no_player_message_then_exit(Program("other-machine-registered"))


if __name__ == "__main__":
    unittest.main()
