"""A player control that refuses a step of its set-up ends the run the way a missing control
does: one message, a clean exit, nothing left behind. The test build of our control
(flash_faulty.ocx) refuses the step named in BRIMLOFT_FAULT."""
import unittest

from harness import BUILD, Program, register_player, wine_temp_dir
from test_hosting import NO_PLAYER
from test_startup import MOVIES, make_projector, qvl_files

FAULTY = BUILD / "player" / "control" / "flash_faulty.ocx"


def setUpModule():
    register_player()


class Faults(unittest.TestCase):
    def projector(self, name):
        return make_projector(BUILD / "e2e-runs" / name, MOVIES / "anim_240x180.swf",
                              runtime=FAULTY)

    def test_each_refused_set_up_step_means_no_player(self):
        temp = wine_temp_dir()
        for step in ("SetClientSite", "InPlaceActivate", "Advise", "Draw"):
            with self.subTest(step=step):
                exe = self.projector(f"fault-{step}")
                before = qvl_files(temp)
                program = Program(f"fault-{step}", exe=exe, folder=exe.parent)
                self.addCleanup(program.kill)
                program.start(env={"BRIMLOFT_FAULT": step})
                texts, buttons = program.wait_message_box("Quorvel")
                self.assertEqual(len(texts), 1)
                self.assertTrue(texts[0].startswith(NO_PLAYER), texts)
                self.assertEqual(buttons, ["OK"])
                program.press_ok()
                self.assertEqual(program.wait_exit(), 0)
                self.assertEqual(qvl_files(temp) - before, set(), "temporary files left behind")


if __name__ == "__main__":
    unittest.main()
