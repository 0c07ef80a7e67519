"""The user handles the window with real X input (xdotool): dragging by the movie, the
right-click menu and the About box, and in authoring mode Open through the real file dialog,
Reload and Start Page."""
import subprocess
import time
import unittest

from harness import BUILD, Program, parse_fields, register_player, screenshot, wine_path, \
    wine_temp_dir
from swf_info import stage_size
from test_commands import RUNS, MovieRuns, send
from test_startup import qvl_files

SHOTS = BUILD / "e2e-shots"


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=30)


def drag(start, travel):
    """Presses at `start`, moves by `travel` in a few steps, releases."""
    x, y = start
    xdotool("mousemove", x, y)
    xdotool("mousedown", 1)
    for step in range(1, 5):
        xdotool("mousemove", x + travel[0] * step // 4, y + travel[1] * step // 4)
        time.sleep(0.1)
    xdotool("mouseup", 1)
    time.sleep(0.5)


def setUpModule():
    register_player()
    SHOTS.mkdir(parents=True, exist_ok=True)


class Interaction(MovieRuns, unittest.TestCase):
    def test_dragging_by_the_movie_moves_the_window_by_the_cursors_travel(self):
        bound = ["--set", "xMin", "40", "--set", "xMax", "200", "--set", "yMin", "30", "--set",
                 "yMax", "150"]
        # With a sprite bound the window is the sprite: its corner, (40, 30) in the movie, stays
        # where it was on the screen, so the window starts that much further in.
        for path, options, commands, start in (
                ("layered", [], [], (200, 150)),
                ("region", [], [("QVL.WIN.SIMULATE9X", "true")], (200, 150)),
                ("bound", bound, [("QVL.EVENT.SPRITEBOUND", ",_root")], (240, 180))):
            with self.subTest(path):
                program = self.run_movie(
                    f"drag-{path}", *options, *send(*commands, ("QVL.WIN.SETXY", "200,150"),
                                                    ("QVL.WIN.TITLE", "ready")))
                program.wait_until(lambda s: s["title"] == "ready", "the movie did not start")
                program.wait_until(lambda s: (s["x"], s["y"]) == start, "the window is elsewhere")
                drag((start[0] + 60, start[1] + 70), (60, -40))
                program.wait_until(lambda s: (s["x"], s["y"]) == (start[0] + 60, start[1] - 40),
                                   "the window did not follow the cursor")
                self.assertEqual(program.close(), 0)

    def test_a_press_on_a_button_of_the_movie_goes_to_the_button_not_to_a_drag(self):
        program = self.run_movie("button-press", "--button", "pressed",
                                 *send(("QVL.WIN.SETXY", "200,150"), ("QVL.WIN.TITLE", "ready")))
        program.wait_until(lambda s: s["title"] == "ready", "the movie did not start")
        drag((200 + 160, 150 + 120), (60, -40))  # from the button in the middle of the stage
        program.wait_until(lambda s: s["title"] == "pressed", "the button did not hear the press")
        program.wait_until(lambda s: (s["x"], s["y"]) == (200, 150), "the press dragged the window")
        self.assertEqual(program.close(), 0)

    def test_keys_reach_the_movie_as_it_starts_and_after_a_click_on_it(self):
        # The movie's button answers the keys a and b, wherever the pointer is.
        program = self.run_movie("keys", "--key", "a", "key a", "--key", "b", "key b",
                                 *send(("QVL.WIN.SETXY", "200,150"), ("QVL.WIN.TITLE", "ready")))
        program.wait_until(lambda s: s["title"] == "ready", "the movie did not start")
        xdotool("mousemove", 200 + 30, 150 + 30)
        xdotool("key", "a")
        program.wait_until(lambda s: s["title"] == "key a", "the first key did not reach the movie")
        xdotool("click", 1)
        xdotool("key", "b")
        program.wait_until(lambda s: s["title"] == "key b", "a key after a click did not reach it")
        self.assertEqual(program.close(), 0)

    def test_right_click_opens_the_menu_whose_about_item_shows_the_about_box(self):
        program = self.run_movie("menu", *send(("QVL.WIN.SETXY", "300,200"),
                                               ("QVL.WIN.TITLE", "ready")))
        program.wait_until(lambda s: s["title"] == "ready", "the movie did not start")
        xdotool("mousemove", 300 + 120, 200 + 100)
        xdotool("click", 3)
        code, lines = program.probe("wait-window", "#32768", 10000, timeout=40)
        self.assertEqual(code, 0, "no context menu opened")
        menu = parse_fields(lines[0])
        screenshot(SHOTS / "context-menu.png")
        # A projector's menu: "About Brimloft", a separator, "Exit".
        xdotool("mousemove", menu["x"] + 20, menu["y"] + 10)
        xdotool("click", 1)
        code, lines = program.probe("wait-window", "#32770", 10000, timeout=40)
        self.assertEqual(code, 0, "the About box did not open")
        about = parse_fields(lines[0])
        self.assertEqual(about["title"], "Quorvel Brimloft")
        main = program.wait_window()
        # Centred over the window (to a pixel of rounding).
        self.assertLessEqual(abs((about["x"] + about["width"] // 2) -
                                 (main["x"] + main["width"] // 2)), 1)
        self.assertLessEqual(abs((about["y"] + about["height"] // 2) -
                                 (main["y"] + main["height"] // 2)), 1)
        screenshot(SHOTS / "about.png")
        program.press_ok("Quorvel Brimloft")
        self.assertEqual(program.close(), 0)

    def test_open_reload_and_start_page_in_authoring_mode(self):
        temp = wine_temp_dir()
        before = qvl_files(temp)
        chosen = RUNS / "open-chosen.swf"
        subprocess.run([str(BUILD / "host" / "make_test_movie"), str(chosen), "--width", "400",
                        "--height", "300", "--fscommand", "QVL.WIN.TITLE", "chosen",
                        "--frames", "2"], check=True)
        program = Program("authoring")
        self.addCleanup(program.kill)
        program.start()
        start = program.wait_window()
        start_page = stage_size((program.folder / "Brimloft.swf").read_bytes())
        self.assertEqual((start["width"], start["height"]), start_page)

        program.command(32781)  # Open
        code, lines = program.probe("wait-window", "#32770", 15000, timeout=60)
        self.assertEqual(code, 0, "the Open dialog did not appear")
        self.assertEqual(parse_fields(lines[0])["title"], "Select a Flash File")
        time.sleep(1)
        xdotool("type", "--delay", "20", wine_path(chosen))
        xdotool("key", "Return")
        program.wait_until(lambda s: (s["width"], s["height"], s["title"]) ==
                      (400, 300, "chosen"), "the chosen movie did not load")

        program.command(32776)  # Reload: the same stage again
        time.sleep(1)
        program.wait_until(lambda s: (s["width"], s["height"]) == (400, 300), "reload")
        program.command(245)  # Start Page
        program.wait_until(lambda s: (s["width"], s["height"]) == start_page,
                      "the start page did not come back")
        self.assertEqual(program.close(), 0)
        self.assertEqual(qvl_files(temp) - before, set(), "temporary files left behind")


    def test_tray_icon_shows_the_tray_menu_with_the_current_marks(self):
        program = Program("tray")
        self.addCleanup(program.kill)
        program.start()
        program.wait_window()
        # Without a desktop's notification area Wine keeps its own tray window.
        found = subprocess.run(["xdotool", "search", "--sync", "--name", "Wine System Tray"],
                               capture_output=True, text=True, timeout=30).stdout.split()
        self.assertTrue(found, "no tray window")
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", found[0]],
                                  capture_output=True, text=True, check=True).stdout
        tray = dict(line.split("=") for line in geometry.split())
        icon = (int(tray["X"]) + 10, int(tray["Y"]) + int(tray["HEIGHT"]) // 2)

        def tray_menu(button):
            """The rows of the tray menu that carry a check mark, counted from the menu's
            bottom edge; None when no menu opened."""
            xdotool("mousemove", *icon)
            xdotool("click", button)
            code, lines = program.probe("wait-window", "#32768", 4000, timeout=30)
            rows = None
            if code == 0:
                time.sleep(0.5)
                menu = parse_fields(lines[0])
                rows = check_rows(screenshot(SHOTS / "tray-menu.png"), menu)
            xdotool("key", "Escape")
            time.sleep(0.5)
            return rows

        self.assertIsNone(tray_menu(3), "a right click shows nothing")
        shown = tray_menu(1)
        self.assertTrue(shown, "a left click shows the tray menu, with \"Show\" checked")
        program.command(32784)  # Disable fscommand("quit")
        program.command(32783)  # Hide
        time.sleep(2)
        hidden = tray_menu(1)
        # "Show" and "Hide" are the items above the last separator and "Exit": the mark moves
        # down by one item, and "Disable fscommand(\"quit\") " gains one further up.
        self.assertEqual(len(hidden), len(shown) + 1)
        self.assertTrue(10 <= min(shown) - min(hidden) <= 30, (shown, hidden))
        program.command(32782)  # Show
        self.assertEqual(program.close(), 0)


def check_rows(shot, menu):
    """Bottom-relative rows of marks in the menu's left margin, one per mark (runs of dark
    rows merged)."""
    x, y, width, height = menu["x"], menu["y"], 18, menu["height"]
    pgm = subprocess.run(["convert", str(shot), "-crop", f"{width}x{height}+{x}+{y}",
                          "-colorspace", "gray", "-depth", "8", "pgm:-"],
                         capture_output=True, check=True).stdout
    header_end = 0
    for _ in range(4):  # "P5", width, height, maxval, each ending in white space
        while pgm[header_end:header_end + 1].isspace():
            header_end += 1
        while not pgm[header_end:header_end + 1].isspace():
            header_end += 1
    pixels = pgm[header_end + 1:]
    dark = [any(pixels[r * width + c] < 96 for c in range(2, width)) for r in range(height)]
    marks = []
    for r in range(height):
        if dark[r] and (r == 0 or not dark[r - 1]):
            marks.append(height - r)
    return marks



def dark_pixels(shot, area):
    """How many pixels of `area` ("WxH+X+Y") of a screenshot are nearly black."""
    out = subprocess.run(["convert", str(shot), "-crop", area, "+repage", "-colorspace", "Gray",
                          "-threshold", "20%", "-negate", "-format", "%[fx:mean*w*h]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return round(float(out))


class DeviceText(MovieRuns, unittest.TestCase):
    def test_device_font_text_stays_opaque_on_both_presentation_paths(self):
        # The movie's field lies at (20, 20): black text over the blue panel. Without the
        # patch the text is drawn with no alpha and the desktop shows through it.
        area = "260x30+22+22"
        for path, commands in (("layered", []), ("region", [("QVL.WIN.SIMULATE9X", "true")])):
            dark = {}
            for patched in (True, False):
                with self.subTest(path=path, patched=patched):
                    name = f"text-{path}-{'patched' if patched else 'plain'}"
                    program = self.run_movie(
                        name, "--text", "Opaque text", *send(*commands, ("QVL.WIN.TITLE", "ready")),
                        env=None if patched else {"BRIMLOFT_TEST_NO_TEXT_HOOK": "1"})
                    program.wait_until(lambda s: s["title"] == "ready", "the movie did not start")
                    time.sleep(1)
                    dark[patched] = dark_pixels(screenshot(SHOTS / f"{name}.png"), area)
                    self.assertEqual(program.close(), 0)
            self.assertGreater(dark[True], 150, f"{path}: the text is not drawn opaque")
            self.assertLess(dark[False], dark[True] // 5, f"{path}: the text shows without the patch")


if __name__ == "__main__":
    unittest.main()
