"""The movie drives its window through fscommand: movies made by make_test_movie send commands
from their second frame (once the window is up) and echo what they are told into the window
title; the test reads the window, the registry and the files back."""
import subprocess
import time
import unittest

from harness import BUILD, Program, parse_fields, pixel, probe, register_player, screenshot, \
    wine, wine_path, wine_temp_dir
from test_startup import make_projector, qvl_files

MAKE_MOVIE = BUILD / "host" / "make_test_movie"
RUNS = BUILD / "e2e-runs"
WS_EX_TOOLWINDOW = 0x80
REG_KEY = "HKEY_CURRENT_USER\\Software\\BrimloftTest"


def movie(name, *options):
    """A 320x240 movie of two frames; `options` are make_test_movie's script options."""
    out = RUNS / f"{name}.swf"
    out.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(MAKE_MOVIE), str(out), "--width", "320", "--height", "240", "--frames",
                    "2", *options], check=True)
    return out


def send(*pairs):
    """make_test_movie options sending each (command, argument)."""
    return [arg for command, argument in pairs for arg in ("--fscommand", command, argument)]


def metrics():
    code, lines = probe("metrics")
    assert code == 0
    return parse_fields(lines[0])


def reg(*args):
    return subprocess.run(wine("reg", *args), capture_output=True, text=True, timeout=60)


def wait_for_file(path, timeout=15):
    """Until `path` has some text: another program writes it."""
    deadline = time.time() + timeout
    while not (path.exists() and path.read_text().strip()) and time.time() < deadline:
        time.sleep(0.2)


def setUpModule():
    register_player()


class MovieRuns:
    """For test cases: a projector of a make_test_movie movie, started (and killed at the end)."""

    def run_movie(self, name, *options, env=None, wait=True):
        exe = make_projector(RUNS / name, movie(name, *options))
        program = Program(name, exe=exe, folder=exe.parent)
        self.addCleanup(program.kill)
        program.start(env=env)
        if wait:
            program.wait_window()
        return program


class Commands(MovieRuns, unittest.TestCase):
    def test_window_commands_place_and_dress_the_window(self):
        m = metrics()
        full_w, full_h = int(m["full_width"]), int(m["full_height"])
        rows = [
            # name, commands, expected (x, y, width, height), other checks
            ("place", [("QVL.WIN.MOVE", ""), ("QVL.WIN.SETXY", "100,50"),
                       ("qvl.win.title", "Hello, world"), ("QVL.WIN.ONTOP", "false")],
             (100, 50, 320, 240), lambda s: s["title"] == "Hello" and s["topmost"] == 0),
            ("lock", [("LOCKFSCOMMAND", "TRUE"), ("QVL.WIN.SETWH", "300,200"),
                      ("lockfscommand", "no"), ("ANY.WIN.SETXY", "12px,-3")],
             (12, -3, 320, 240), None),
            ("rect", [("QVL.WIN.SETRECT", "10,20,410,320")], (10, 20, 400, 300), None),
            ("size", [("QVL.WIN.SETXY", "50,50"), ("QVL.WIN.SETWH", "300,200")],
             (0, 0, 300, 200), None),
            ("align-end", [("QVL.WIN.POS", "RIGHT,BOTTOM")],
             (full_w - 320, full_h - 240, 320, 240), None),
            ("align-middle", [("QVL.WIN.SETXY", "7,9"), ("QVL.WIN.POS", "middle")],
             ((full_w - 320) >> 1, 9, 320, 240), None),
            ("taskbutton", [("QVL.WIN.HIDE", ""), ("QVL.TASKBUTTON.HIDE", ""),
                            ("QVL.WIN.SETXY", "1,1")],
             (1, 1, 320, 240), lambda s: s["exstyle"] & WS_EX_TOOLWINDOW and s["visible"]),
        ]
        for name, commands, (x, y, w, h), extra in rows:
            with self.subTest(name):
                program = self.run_movie(f"cmd-{name}", *send(*commands))
                program.wait_until(lambda s: (s["x"], s["y"], s["width"], s["height"]) ==
                              (x, y, w, h) and (extra is None or extra(s)),
                              f"{name}: not at {(x, y, w, h)}")
                self.assertEqual(program.close(), 0)

    def test_titles_reach_the_window_in_the_systems_code_page(self):
        # A Cyrillic code page: the title goes through it both ways.
        program = self.run_movie("cmd-cyrillic", *send(("qvl.win.title", "Привет, мир")),
                                 env={"LC_ALL": "ru_RU.UTF-8"})
        expected = "Привет".encode("cp1251").decode("utf-8", "surrogateescape")
        program.wait_until(lambda s: s["title"] == expected, "the Cyrillic title")
        self.assertEqual(program.close(), 0)

    def test_queries_answer_into_the_movies_variables(self):
        program = self.run_movie(
            "cmd-query",
            *send(("QVL.WIN.SETXY", "30,40"), ("QVL.WIN.GETXY", "px,py"), ("QVL.WIN.GETWH", "w"),
                  ("QVL.WIN.GETRECT", ",,r,b"), ("QVL.SHELL.GETSCREENWH", "sw,sh"),
                  ("QVL.SHELL.GETDESKTOPRECT", "l,t,wr,wb"), ("QVL.SHELL.GETINITDIR", "dir")),
            "--echo", "px py w r b sw sh l t wr wb dir")
        m = metrics()
        folder = wine_path(program.folder) + "\\"
        expected = " ".join(["30", "40", "320", "350", "280", m["screen_width"],
                             m["screen_height"], *m["work"].split(","), folder])
        program.wait_until(lambda s: s["title"] == expected, f"title is not {expected!r}")
        self.assertEqual(program.close(), 0)

    def test_full_screen_and_back_through_the_movies_menu_item(self):
        program = self.run_movie(
            "cmd-fullscreen",
            *send(("QVL.WIN.SETXY", "30,40"), ("FULLSCREEN", "true"), ("QVL.WIN.SETXY", "5,5"),
                  ("QVL.RMENU.ADDITEM", "3,Back"), ("QVL.EVENT.MENU", "/:back,item")),
            "--label", "back", *send(("fullscreen", "false")), "--echo", "item")
        m = metrics()
        screen = (0, 0, int(m["screen_width"]), int(m["screen_height"]))
        program.wait_until(lambda s: (s["x"], s["y"], s["width"], s["height"]) == screen,
                      "full screen does not cover the screen (or a move got through)")
        program.command(25003)
        program.wait_until(lambda s: (s["x"], s["y"], s["width"], s["height"], s["title"]) ==
                      (30, 40, 320, 240, "3"), "the pick did not restore the window")
        self.assertEqual(program.close(), 0)

    def test_registry_values_are_written_and_read_back(self):
        reg("delete", REG_KEY, "/f")
        self.addCleanup(reg, "delete", REG_KEY, "/f")
        reg("add", REG_KEY, "/v", "Long", "/t", "REG_SZ", "/d", "x" * 300, "/f")
        program = self.run_movie(
            "cmd-registry",
            "--set", "t", "none", "--set", "u", "none",
            *send(("QVL.REG.SET", f"{REG_KEY}\\Deeper,Score,42"),
                  ("QVL.REG.GET", f"{REG_KEY}\\Deeper,Score,s"),
                  ("QVL.REG.GET", "HKCU\\Software\\BrimloftTest\\Deeper,Score,t"),
                  ("QVL.REG.GET", f"{REG_KEY},Long,u")),
            "--echo", "s t u")
        program.wait_until(lambda s: s["title"] == "42 none none", "registry replies")
        self.assertEqual(program.close(), 0)
        query = reg("query", f"{REG_KEY}\\Deeper", "/v", "Score")
        self.assertRegex(query.stdout, r"Score\s+REG_SZ\s+42")

    def test_exec_starts_a_program_and_quit_ends_with_nothing_left(self):
        temp = wine_temp_dir()
        before = qvl_files(temp)
        program = self.run_movie(
            "cmd-exec", *send(("EXEC", "cmd.exe /c echo a,B>exec-out.txt"), ("quit", "")),
            wait=False)
        self.assertEqual(program.wait_exit(), 0)
        out = program.folder / "exec-out.txt"
        wait_for_file(out)
        self.assertEqual(out.read_text().strip(), "a,B", "EXEC got its command line as sent")
        self.assertEqual(qvl_files(temp) - before, set(), "temporary files left behind")

    def test_shell_open_opens_a_document_through_its_association(self):
        # A document type of our own, opened by copying it, so that the opening leaves a file.
        self.addCleanup(reg, "delete", "HKCR\\.brimdoc", "/f")
        self.addCleanup(reg, "delete", "HKCR\\brimdocfile", "/f")
        reg("add", "HKCR\\.brimdoc", "/ve", "/d", "brimdocfile", "/f")
        reg("add", "HKCR\\brimdocfile\\shell\\open\\command", "/ve", "/d",
            'cmd.exe /c copy "%1" opened.txt', "/f")
        folder = RUNS / "cmd-open"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "opened.txt").unlink(missing_ok=True)
        (folder / "readme.brimdoc").write_text("hello\n")
        program = self.run_movie("cmd-open", *send(("QVL.SHELL.OPEN", "readme.brimdoc")))
        wait_for_file(folder / "opened.txt")
        self.assertEqual((folder / "opened.txt").read_text().strip(), "hello")
        self.assertEqual(program.close(), 0)

    def test_close_request_goes_to_the_movie_until_it_quits(self):
        program = self.run_movie(
            "cmd-close",
            *send(("QVL.EVENT.APCLOSE", "/:askClose"), ("QVL.RMENU.ADDITEM", "1,Bye"),
                  ("QVL.EVENT.MENU", "/:bye,"), ("QVL.WIN.TITLE", "ready")),
            "--label", "askClose", *send(("QVL.WIN.TITLE", "asked")),
            "--label", "bye", *send(("QUIT", "")))
        program.wait_until(lambda s: s["title"] == "ready", "the movie did not start")
        code, _ = probe("close", "QuorvelSprite")
        self.assertEqual(code, 0)
        program.wait_until(lambda s: s["title"] == "asked", "the close call did not run")
        self.assertIsNone(program.process.poll(), "the window closed despite the close call")
        program.command(25001)
        self.assertEqual(program.wait_exit(), 0)

    def test_a_script_that_never_ends_is_stopped_and_the_window_goes_on(self):
        # The looping script runs before the one that retitles the window, in the same frame.
        program = self.run_movie("cmd-endless", "--endless",
                                 *send(("QVL.WIN.TITLE", "after the loop")))
        program.wait_until(lambda s: s["title"] == "after the loop", "the movie did not go on",
                           timeout=40)
        self.assertEqual(program.close(), 0)

    def test_sprite_bound_cuts_the_window_to_the_movies_rectangle(self):
        def bounds(region):
            return (min(r[0] for r in region), min(r[1] for r in region),
                    max(r[2] for r in region), max(r[3] for r in region))
        region_path = [("QVL.WIN.SIMULATE9X", "true")]
        whole = self.run_movie("cmd-unbound", *send(*region_path, ("QVL.WIN.TITLE", "x")))
        whole.wait_until(lambda s: s["title"] == "x", "the movie did not start")
        time.sleep(1)
        self.assertEqual(bounds(whole.region()), (10, 10, 310, 230), "the panel's own shape")
        self.assertEqual(whole.close(), 0)

        bound = self.run_movie(
            "cmd-bound", "--set", "xMin", "40", "--set", "xMax", "200", "--set", "yMin", "30",
            "--set", "yMax", "150",
            *send(*region_path, ("QVL.EVENT.SPRITEBOUND", ",_root"), ("QVL.WIN.TITLE", "x")))
        bound.wait_until(lambda s: s["title"] == "x", "the movie did not start")
        time.sleep(1)
        # The bound's right and bottom values name the last pixels inside it.
        self.assertEqual(bounds(bound.region()), (40, 30, 201, 151))
        self.assertEqual(bound.close(), 0)



class RelativeLoading(unittest.TestCase):
    def test_a_projector_loads_a_movie_that_lies_beside_it(self):
        # The projector plays its own movie from a temporary copy; only the bind host knows the
        # folder the projector lies in.
        folder = RUNS / "relative-load"
        exe = make_projector(folder, movie("relative-main", "--load", "sub.swf", "_level1"))
        subprocess.run([str(MAKE_MOVIE), str(folder / "sub.swf"), "--width", "320", "--height",
                        "240", "--color", "E02020", "--fscommand", "QVL.WIN.TITLE", "sub loaded"],
                       check=True)
        program = Program("relative-load", exe=exe, folder=folder)
        self.addCleanup(program.kill)
        program.start()
        program.wait_window()
        program.wait_until(lambda s: s["title"] == "sub loaded", "sub.swf did not play")
        time.sleep(0.5)
        shots = BUILD / "e2e-shots"
        shots.mkdir(parents=True, exist_ok=True)
        shot = screenshot(shots / "relative-load.png")
        # sub.swf's red panel covers the blue one of the projector's own movie.
        r, g, b = pixel(shot, 40, 40)
        self.assertTrue(r > 200 and g < 60 and b < 60, f"not sub.swf's panel: {(r, g, b)}")


if __name__ == "__main__":
    unittest.main()
