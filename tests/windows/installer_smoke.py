#!/usr/bin/env python3
"""The Windows installer and program under Wine, seen as a child sees them.

Installs silently into a fresh Wine prefix, checks the version the program and its
uninstall entry show, starts the installed program on the private desktop, answers the
name prompt and the greeting, answers right then wrong, exits saving the record, then
uninstalls silently and checks the record stayed. The same race from the MSI's install,
with msiexec. Then the program from the zip, with no record folder: it makes the three
files itself, writable by every user. Wine's windows are invisible to AT-SPI: the
screen is read from screenshots (pixel colours, Tesseract OCR for texts and
digits) and keys are typed with xdotool.

usage: scripts/desktop-session.sh installer_smoke.py SETUP_EXE MSI ZIP VERSION WORK_DIR
"""
import difflib
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

import pefile

sys.path.insert(0, str(Path(__file__).absolute().parents[1]))
from polling import wait  # noqa: E402

SETUP, MSI, ZIP, VERSION, WORK = (sys.argv + [""] * 4 + ["."])[1:6]
WORK = Path(WORK).absolute()
MSI = "Z:" + str(Path(MSI).absolute()).replace("/", "\\")  # msiexec takes a Windows path
SHOTS = WORK / "screens"
DRIVE_C = WORK / "prefix" / "drive_c"
INSTALLED = DRIVE_C / "Program Files" / "Contadopo"
RECORD = [DRIVE_C / "ProgramData" / "Contadopo" / name for name in ("suc000.txt", "nsuc000.txt", "suc000.jnl")]
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Contadopo"
# Wine's msiexec puts a per-machine shortcut in the user's Start menu, Windows in everyone's.
START_MENU = ["ProgramData/Microsoft/Windows/Start Menu/Programs/Contadopo.lnk",
              "users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Contadopo.lnk"]
PLAYER = "Lucia"
SCREEN = (1920, 1080)  # the private desktop's
# From the top left corner inside the frame of the number asked, where the verdict is drawn.
VERDICT_BOX = (-70, 120, 480, 60)
YELLOW, BLUE, RED, BLACK = (255, 255, 0), (0, 0, 255), (255, 0, 0), (0, 0, 0)
FONTS = {"Arial": "Liberation Sans", "Arial Black": "Liberation Sans", "Times New Roman": "Liberation Serif",
         "Microsoft Sans Serif": "Liberation Sans", "Tahoma": "Liberation Sans", "Segoe UI": "Liberation Sans"}


def check(condition, message):
    if not condition:
        sys.exit(f"FAIL: {message} (screens in {SHOTS})")  # through main's clean-up


def run(*args, check=True):
    return subprocess.run(args, check=check, capture_output=True, text=True, timeout=300).stdout


def key(name):
    run("xdotool", "key", name)


def mentions(text, word):
    """The word is in the OCR reading, allowing a letter misread."""
    tokens = re.findall(r"\w+", text)
    return word in re.sub(r"\s", "", text) or any(difflib.SequenceMatcher(None, t, word).ratio() >= 0.8 for t in tokens)


def ocr(png, *options, box=None, colour=None):
    """Tesseract's reading of the picture in black and white, or of what is in `colour` inside `box`."""
    crop = ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1]), "+repage"] if box else []
    ink = "#%02X%02X%02X" % colour if colour else None
    only_ink = ["-fuzz", "25%", "-fill", "white", "+opaque", ink, "-fill", "black", "-opaque", ink] if ink else []
    run("convert", png, *crop, *only_ink, "-colorspace", "gray", "-resize", "300%", "-threshold", "60%",
        "-bordercolor", "white", "-border", "20", f"{png}.ocr.png")
    return run("tesseract", f"{png}.ocr.png", "-", *options).strip()


def active_window():
    """Where the active window is on the screen; all 0 when none is."""
    window = run("xdotool", "getactivewindow", check=False).strip()
    info = run("xwininfo", "-id", window, check=False) if window else ""
    found = [re.search(rf"{key}:\s+(-?\d+)", info) for key in ("left X", "left Y", "Width", "Height")]
    return tuple(int(place.group(1)) if place else 0 for place in found)


def dialog(name, *words):
    """Waits for the active window to say all the words; the last picture of it stays in SHOTS."""
    def says():
        box = active_window()
        return box[2] and all(mentions(ocr(Shot(name).path, "--psm", "11", box=box), word) for word in words)
    wait(says, f"the {name} saying {', '.join(words)}", interval=0.3)


class Shot:
    """The whole screen, as raw RGB, kept in SHOTS for OCR and for whoever looks after a failure."""

    def __init__(self, name):
        self.path = SHOTS / f"{name}.ppm"
        run("import", "-window", "root", "-depth", "8", self.path)
        data = self.path.read_bytes()
        header = re.match(rb"P6\s+(\d+)\s+\d+\s+255\s", data)
        self.width, self.pixels = int(header.group(1)), data[header.end():]

    def near(self, x, y, colour, tolerance=40):
        i = 3 * (y * self.width + x)
        return all(abs(a - b) <= tolerance for a, b in zip(self.pixels[i:i + 3], colour))

    def count(self, box, colour):
        x, y, w, h = box
        return sum(self.near(i, j, colour) for j in range(y, y + h) for i in range(x, x + w))

    def number_box(self):
        """Inside the frame of the number asked: its corner is the first yellow pixel down a column through it."""
        yellow = lambda x, y: self.near(x, y, YELLOW, 10)
        top = next((y for y in range(SCREEN[1] // 3) if yellow(190, y)), None)
        if top is None:
            return None
        left = next(x for x in range(190, 0, -1) if not yellow(x - 1, top))
        right = next(x for x in range(190, SCREEN[0]) if not yellow(x, top))
        bottom = next(y for y in range(top, SCREEN[1]) if not yellow(left, y))
        return left, top, right - left, bottom - top


def verdict_box(number_box):
    return number_box[0] + VERDICT_BOX[0], number_box[1] + VERDICT_BOX[1], VERDICT_BOX[2], VERDICT_BOX[3]


def number_asked():
    """The digits read in the yellow box, maybe none, and the box, once the last verdict is gone.
    Read alike twice, so a number caught half painted is not taken."""
    def reading():
        shot = Shot("question")
        box = shot.number_box()
        if box and not shot.count(verdict_box(box), RED):
            return ocr(shot.path, "--psm", "8", "-c", "tessedit_char_whitelist=0123456789", box=box, colour=BLUE), box

    def probe():
        first = reading()
        return first if first and reading() == first else None
    return wait(probe, "a number in the yellow box")


def verdict(box):
    """The verdict, once the surface below every label is black after a wrong answer only."""
    def probe():
        shot = Shot("verdict")
        if shot.count(verdict_box(box), RED) < 20:
            return None
        said = ocr(shot.path, "--psm", "7", box=verdict_box(box), colour=RED)
        wrong = mentions(said, "Sbagliato")
        black = all(shot.near(x, SCREEN[1] - 40, BLACK, 8) for x in range(20, 420, 40))
        return (said, wrong) if (wrong or mentions(said, "Esatto")) and black == wrong else None
    return wait(probe, "a verdict, with the surface black after a wrong answer only")


def start(exe):
    """Starts the program, gives the name and closes the greeting."""
    program = subprocess.Popen(["wine", exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # "Annulla" is Qt's own word, translated only when qt.conf finds qtbase_it.qm.
    dialog("name prompt", "chiami", "Annulla")
    run("xdotool", "type", "--delay", "60", PLAYER)
    key("Return")
    dialog("greeting", PLAYER, "campione")
    key("Return")
    return program


def race():
    program = start(INSTALLED / "contadopo.exe")
    number, box = number_asked()
    width, height = active_window()[2:]
    check(width >= SCREEN[0] - 2 and height >= SCREEN[1] - 60, f"the main window, {width}x{height}, is not maximized")
    # One right answer and one wrong. A 3-digit number lies partly under the "+" and may be
    # misread: an answer meant to be right but judged wrong counts as the wrong one.
    right = wrong = 0
    for asked in range(1, 11):
        answer = str(int(number) + 1) if number.isdigit() and not right else "0"
        run("xdotool", "type", "--delay", "60", answer)
        key("Return")
        said, judged_wrong = verdict(box)
        if judged_wrong:
            shown = re.findall(r"\d+", said)
            check(shown and shown[-1] != answer, f"{answer} after {number} judged wrong: {said!r}")
            wrong += 1
        else:
            check(answer != "0" and mentions(said, PLAYER), f"{answer} after {number} judged right: {said!r}")
            right += 1
        if right and wrong:
            break
        key("Return")  # the focus is on the next-question button
        number, box = number_asked()
    check(right and wrong, f"{right} right and {wrong} wrong answers in {asked} questions")
    key("alt+x")
    dialog("record box", "registrato")
    key("Return")
    wait(lambda: program.poll() is not None, "the program to end")


def record():
    return [path.read_bytes() if path.is_file() else None for path in RECORD]


def start_menu_entry():
    return any(any(DRIVE_C.glob(place)) for place in START_MENU)


def shows_the_version():
    """What inventory tools read from contadopo.exe, what it answers to --version and what
    the Programs list shows all name this build."""
    exe = INSTALLED / "contadopo.exe"
    pe = pefile.PE(str(exe))
    strings = {key.decode(): value.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for key, value in table.entries.items()}
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = "%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16)
    check(strings.get("FileVersion") == strings.get("ProductVersion") == VERSION and VERSION.startswith(numbers)
          and all(strings.get(key) for key in ("CompanyName", "LegalCopyright", "OriginalFilename")),
          f"contadopo.exe's version resource, {numbers}: {strings}")
    said = run("wine", exe, "--version").strip()
    check(said == f"contadopo {VERSION}", f"contadopo.exe --version said {said!r}")
    entry = dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", run("wine", "reg", "query", UNINSTALL_KEY), re.M))
    check(entry.get("DisplayVersion") == VERSION and entry.get("Publisher") == strings["CompanyName"]
          and entry.get("InstallLocation") == r"C:\Program Files\Contadopo"
          and int(entry.get("EstimatedSize", "0"), 16) > 1000, f"the uninstall entry: {entry}")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    SHOTS.mkdir(parents=True)
    os.environ.update(WINEPREFIX=str(WORK / "prefix"), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    started = time.monotonic()

    def done(what):
        print(f"{what} ({time.monotonic() - started:.0f}s)")
    try:
        # Wine has none of Windows' fonts and draws them all in a thin serif face: it gets the
        # metric-compatible Liberation ones under the Windows names, as Windows has its own.
        fonts = WORK / "fonts.reg"
        fonts.write_text("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"
                         + "".join(f'"{family}"="{stand_in}"\n' for family, stand_in in FONTS.items()))
        run("wineboot", "-i")
        run("wineserver", "-w")
        run("wine", "regedit", "/S", fonts)
        run("wine", SETUP, "/S")
        for part in ("contadopo.exe", "qt.conf", "qtbase_it.qm", "suoni/Esatto.wav", "suoni/no.wav", "disinstalla.exe"):
            check((INSTALLED / part).is_file(), f"the installer did not put {part} in {INSTALLED}")
        check(start_menu_entry(), "no Start-menu entry")
        check(record() == [b"", b"", b""], f"record files after install: {record()}")
        shows_the_version()
        done("installed silently, its version shown")

        race()
        saved = [b"1\r\n", f"{PLAYER}\r\n".encode(), b""]
        check(record() == saved, f"record files after the race: {record()}")
        done("race played, record saved in ProgramData")

        run("wine", INSTALLED / "disinstalla.exe", "/S", "_?=C:\\Program Files\\Contadopo")
        check(not (INSTALLED / "contadopo.exe").exists(), "the uninstaller left contadopo.exe")
        check(record() == saved, f"record files after the silent uninstall: {record()}")
        done("uninstalled silently, record kept")

        # The MSI on a machine with no record yet: the program makes the files at its start.
        shutil.rmtree(RECORD[0].parent)
        run("wine", "msiexec", "/i", MSI, "/qn")
        check((INSTALLED / "suoni/Esatto.wav").is_file() and (INSTALLED / "qtbase_it.qm").is_file()
              and start_menu_entry() and RECORD[0].parent.is_dir(), "the MSI's install is not whole")
        race()
        check(record() == saved, f"record files after the race from the MSI's install: {record()}")
        run("wine", "msiexec", "/x", MSI, "/qn")
        check(not INSTALLED.exists() and not start_menu_entry(), "the MSI's uninstall left the program")
        check(record() == saved, f"record files after the MSI's silent uninstall: {record()}")
        done("MSI installed, race played, uninstalled silently, record kept")

        shutil.rmtree(RECORD[0].parent)
        run("unzip", "-q", ZIP, "-d", DRIVE_C / "Scuola")
        start(DRIVE_C / "Scuola/Contadopo/contadopo.exe")  # the record files are made once the greeting is closed
        wait(lambda: record() == [b"", b"", b""], "the record files made by the program from the zip")
        # Wine keeps the access list as the Unix mode: Everyone may write is o+w.
        for path in RECORD:
            check(path.stat().st_mode & 0o002, f"{path.name} made by the program is not writable by every user")
        done("unzipped program made the record files itself")
    finally:
        run("wineserver", "-k", check=False)
    print("PASS installer smoke test")


if __name__ == "__main__":
    try:
        main()
    except AssertionError as error:  # a wait that timed out
        check(False, error)
