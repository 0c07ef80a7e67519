"""Runs Brimloft.exe under Wine for whole-program tests and reads its state back.

The tests run inside scripts/with-display, which provides DISPLAY (a private Xvfb) and the
build tree's Wine prefix. Window state comes from probe.exe, a small Win32 helper; pixels come
from screenshots of the root window."""
import os
import shutil
import subprocess
import time
from pathlib import Path

BUILD = Path(os.environ.get("BRIMLOFT_BUILD", Path(__file__).resolve().parents[2] / "build" / "win32"))
SOURCE = Path(os.environ.get("BRIMLOFT_SOURCE", Path(__file__).resolve().parents[2]))
RUNS = BUILD / "e2e-runs"
MAIN_CLASS = "QuorvelSprite"


BITS = os.environ.get("BRIMLOFT_BITS", "32")
WINETOOL = SOURCE / "scripts" / "winetool"


def wine(*args):
    """The command line that runs one of Wine's commands for this build's bitness and prefix
    (see scripts/winetool): wine("wine", exe, ...), wine("regsvr32", ...), wine("winepath", ...)."""
    return [str(WINETOOL), BITS, *map(str, args)]


def wine_prefix():
    return Path(os.environ.get("WINEPREFIX", BUILD / "wineprefix"))


def probe(*args, timeout=30, exe=None, env=None):
    """Runs probe.exe; returns (exit code, stdout lines). With `exe` (a Windows path) it sees
    only the windows of that program. Titles come back as the code page's bytes would read in
    UTF-8, undecodable bytes kept as surrogate escapes."""
    # The probe answers 0 (found, done) or 1 (not there). Any other code means it did not run
    # to its answer (Wine failed to start it, or it crashed): ask again rather than report a
    # window as missing, and keep what it said for the failure's message.
    global last_probe_said
    for attempt in range(3):
        done = subprocess.run(wine("wine", BUILD / "tests" / "e2e" / "probe.exe", *args),
                              capture_output=True, timeout=timeout,
                              env={**os.environ, **(env or {}), "PROBE_EXE": exe or ""})
        said = done.stderr.decode("utf-8", "replace").strip().splitlines()[-5:]
        last_probe_said = f"probe {args[0]} exited {done.returncode:#x}" + \
            ("; it said:\n" + "\n".join(said) if said else "")
        if done.returncode in (0, 1):
            break
    done.stdout = done.stdout.decode("utf-8", "surrogateescape")
    return done.returncode, [line.strip() for line in done.stdout.splitlines() if line.strip()]


last_probe_said = ""


def parse_fields(line):
    """'a=1 b=x title=rest of line' -> dict; the title takes the rest of the line."""
    fields = {}
    head, _, title = line.partition(" title=")
    for part in head.split():
        key, _, value = part.partition("=")
        fields[key] = value
    fields["title"] = title
    for key in ("x", "y", "width", "height", "client_width", "client_height", "topmost",
                "visible", "pid"):
        if key in fields:
            fields[key] = int(fields[key])
    for key in ("style", "exstyle"):
        if key in fields:
            fields[key] = int(fields[key], 16)
    return fields


def wine_temp_dir():
    """The Unix path of the temporary folder Windows programs in the prefix use."""
    code, lines = probe("temp-path")
    assert code == 0 and lines, "probe could not tell the temporary folder"
    drive, _, rest = lines[0].partition(":\\")
    parts = [p for p in rest.split("\\") if p]
    assert drive.upper() in ("C", "Z"), f"temporary folder on an unexpected drive: {lines[0]}"
    return (wine_prefix() / "drive_c" if drive.upper() == "C" else Path("/")).joinpath(*parts)


def wine_path(unix_path):
    """The Windows name programs in the prefix see for a Unix path: C: is the prefix's drive_c,
    Z: the Unix root (the prefix's own drive mapping, read without starting a Wine process)."""
    path = Path(unix_path).absolute()
    drive_c = wine_prefix() / "drive_c"
    if path.is_relative_to(drive_c):
        return "C:\\" + "\\".join(path.relative_to(drive_c).parts)
    return "Z:" + str(path).replace("/", "\\")


PLAYER = BUILD / "player" / "control" / "flash.ocx"


def regsvr32(*args):
    subprocess.run(wine("regsvr32", "/s", *args), check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def register_player(path=PLAYER):
    """Registers our player control in the test prefix, as a user would with regsvr32."""
    regsvr32(str(path))


def unregister_player(path=PLAYER):
    regsvr32("/u", str(path))


def registered_player_path():
    """The InprocServer32 path registered for the player class, or None."""
    done = subprocess.run(wine("reg", "query",
                                "HKCR\\CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32",
                                "/ve"), capture_output=True, text=True, timeout=60)
    for line in done.stdout.splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return None


def system32():
    return wine_prefix() / "drive_c" / "windows" / "system32"


def screenshot(path):
    subprocess.run(["import", "-window", "root", str(path)], check=True, timeout=30)
    return Path(path)


def pixel(path, x, y):
    """(r, g, b) of one pixel of an image file."""
    out = subprocess.run(["convert", str(path), "-format", f"%[fx:int(255*p{{{x},{y}}}.r)],"
                          f"%[fx:int(255*p{{{x},{y}}}.g)],%[fx:int(255*p{{{x},{y}}}.b)]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return tuple(int(v) for v in out.strip().split(","))


class Program:
    """One run of a Brimloft executable, copied into a folder of its own so that files it writes
    beside itself belong to this run only."""

    def __init__(self, name, exe=None, folder=None):
        self.folder = Path(folder) if folder else RUNS / name
        if not folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder.mkdir(parents=True)
        source = Path(exe) if exe else BUILD / "app" / "Brimloft.exe"
        self.exe = self.folder / "Brimloft.exe"
        if source.resolve() != self.exe.resolve():
            shutil.copyfile(source, self.exe)
        self.process = None
        self.env = {}
        self._windows_exe = None

    def probe(self, *args, **kwargs):
        """probe.exe, seeing only this program's windows."""
        if self._windows_exe is None:
            self._windows_exe = wine_path(self.exe)
        return probe(*args, exe=self._windows_exe, env=self.env, **kwargs)

    def start(self, *args, env=None):
        """`env`: variables added to the program's environment. Wine's own messages go to a
        log beside the program, which a failure's message quotes."""
        self.log = self.folder / "wine-stderr.txt"
        with open(self.log, "wb") as log:
            self.env = env or {}
            self.process = subprocess.Popen(wine("wine", self.exe, *args), cwd=self.folder,
                                            env={**os.environ, **self.env},
                                            stdout=subprocess.DEVNULL, stderr=log)
        return self

    def wait_window(self, timeout_ms=20000):
        code, lines = self.probe("wait-window", MAIN_CLASS, timeout_ms,
                                 timeout=timeout_ms / 1000 + 30)
        assert code == 0 and lines, f"the main window did not appear ({self.state()})"
        return parse_fields(lines[0])

    def wait_until(self, check, what, timeout=15):
        """The window's state once `check(state)` holds; fails with `what` after `timeout`."""
        deadline = time.time() + timeout
        while True:
            state = self.wait_window()
            if check(state):
                return state
            assert time.time() < deadline, f"{what}; the window is {state}"
            time.sleep(0.2)

    def wait_message_box(self, caption="Quorvel", timeout_ms=40000):
        code, lines = self.probe("wait-msgbox", caption, timeout_ms,
                                 timeout=timeout_ms / 1000 + 30)
        assert code == 0, f"no message box captioned {caption!r} appeared ({self.state()})"
        texts = [l[len("text="):] for l in lines if l.startswith("text=")]
        buttons = [l[len("button="):] for l in lines if l.startswith("button=")]
        return texts, buttons

    def press_ok(self, caption="Quorvel"):
        code, _ = self.probe("press-ok", caption)
        assert code == 0, "could not answer the message box"

    def close(self):
        code, _ = self.probe("close", MAIN_CLASS)
        assert code == 0, f"no main window to close ({self.state()})"
        return self.wait_exit()

    def state(self):
        """What the program is doing when it has no main window: for a failure's message."""
        missed = last_probe_said
        if self.process.poll() is not None:
            doing = f"the program ended with exit code {self.process.returncode:#x}"
        else:
            code, lines = self.probe("wait-msgbox", "Quorvel", 0)
            doing = f"the program shows {lines}" if code == 0 else "no window"
        said = self.log.read_text(errors="replace").strip().splitlines()[-15:]
        return doing + f" ({missed})" + \
            ("; Wine said:\n" + "\n".join(said) if said else "")

    def wait_exit(self, timeout=30):
        return self.process.wait(timeout=timeout)

    def region(self):
        """The main window's region as a list of rectangles, or None when it has none."""
        code, lines = self.probe("region", MAIN_CLASS)
        assert code == 0, "no main window"
        if lines[0] == "region=none":
            return None
        return [tuple(int(v) for v in l[len("rect="):].split(",")) for l in lines[1:]]

    def command(self, command_id):
        code, _ = self.probe("post-command", MAIN_CLASS, command_id)
        assert code == 0, "no main window"

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
