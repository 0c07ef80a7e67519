"""The movie drives its window through fscommand: movies made by make_test_movie send the
commands from their second frame (once the window is up), and the window's state is read back."""
import subprocess
import time
import unittest

from harness import BUILD, Program, register_player
from test_startup import make_projector

MAKE_MOVIE = BUILD / "host" / "make_test_movie"
RUNS = BUILD / "e2e-runs"


def movie_with_commands(name, *commands):
    """A 320x240 movie of two frames whose second sends each (command, argument) pair."""
    out = RUNS / f"{name}.swf"
    out.parent.mkdir(parents=True, exist_ok=True)
    args = [str(MAKE_MOVIE), str(out), "--width", "320", "--height", "240", "--frames", "2"]
    for command, argument in commands:
        args += ["--fscommand", command, argument]
    subprocess.run(args, check=True)
    return out


def setUpModule():
    register_player()


class Commands(unittest.TestCase):
    def run_movie(self, name, *commands):
        exe = make_projector(RUNS / name, movie_with_commands(name, *commands))
        program = Program(name, exe=exe, folder=exe.parent)
        self.addCleanup(program.kill)
        program.start()
        return program, program.wait_window()

    def wait_for(self, program, check):
        """Window state once `check` holds (the commands run as the second frame plays)."""
        deadline = time.time() + 10
        while True:
            state = program.wait_window()
            if check(state) or time.time() > deadline:
                return state
            time.sleep(0.2)

    def test_placement_and_title_follow_the_movie(self):
        program, _ = self.run_movie("cmd-place", ("QVL.WIN.SETXY", "100,50"),
                                    ("qvl.win.title", "Hello, world"),
                                    ("QVL.WIN.ONTOP", "false"))
        state = self.wait_for(program, lambda s: s["x"] == 100)
        self.assertEqual((state["x"], state["y"]), (100, 50))
        self.assertEqual((state["width"], state["height"]), (320, 240))
        self.assertEqual(state["title"], "Hello")
        self.assertEqual(state["topmost"], 0)
        self.assertEqual(program.close(), 0)

    def test_locked_commands_are_dropped_until_unlocked(self):
        program, _ = self.run_movie("cmd-lock", ("LOCKFSCOMMAND", "TRUE"),
                                    ("QVL.WIN.SETWH", "300,200"), ("lockfscommand", "no"),
                                    ("ANY.WIN.SETXY", "12px,-3"))
        state = self.wait_for(program, lambda s: s["x"] == 12)
        self.assertEqual((state["x"], state["y"]), (12, -3))
        self.assertEqual((state["width"], state["height"]), (320, 240), "SETWH ran while locked")
        self.assertEqual(program.close(), 0)


if __name__ == "__main__":
    unittest.main()
