#!/usr/bin/env python3
"""The Windows installer and program under Wine, seen as a child sees them.

Installs silently into a fresh Wine prefix, starts the installed program on Xvfb
with openbox, answers the name prompt and the greeting, answers right then wrong,
exits saving the record, checks the record files under ProgramData, then
uninstalls silently and checks the record stayed. Wine's windows are invisible to
AT-SPI: the screen is read from screenshots (pixel colours; digits matched
against the shapes of the font, Tesseract OCR for the texts) and keys are typed
with xdotool.

Then the program from the zip, in a machine without the record folder: it makes
the folder and the three files itself, writable by every user.

usage: installer_smoke.py SETUP_EXE ZIP WORK_DIR
"""
import difflib
import os
import re
import shutil
import subprocess
import sys
import time

SETUP, ZIP, WORK = (sys.argv + ["", "", "."])[1:4]
WORK = os.path.abspath(WORK)
PREFIX = os.path.join(WORK, "prefix")
PLAYER = "Lucia"
STEP_TIMEOUT = 60
SCREEN = (1280, 1024)
# Where the window puts things, in pixels from the top left of its surface.
NUMBER_BOX = (168, 8)
VERDICT_BOX = (100, 130, 480, 60)
WRONG_BOX = (310, 262, 120, 120)
TOTAL_BOX = (544, 262, 120, 120)
YELLOW, BLUE, RED = (255, 255, 0), (0, 0, 255), (255, 0, 0)
LIBERATION = "/usr/share/fonts/truetype/liberation2/"
NUMBER_FONT = LIBERATION + "LiberationSans-Bold.ttf"
COUNTER_FONT = LIBERATION + "LiberationSerif-Bold.ttf"
FONTS = {"Arial": "Liberation Sans", "Arial Black": "Liberation Sans", "Times New Roman": "Liberation Serif",
         "Microsoft Sans Serif": "Liberation Sans", "Tahoma": "Liberation Sans", "Segoe UI": "Liberation Sans"}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(probe, what, timeout=STEP_TIMEOUT, interval=0.3):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


def mentions(text, word):
    """The word is in the OCR reading, allowing a letter misread."""
    if word in re.sub(r"\s", "", text):
        return True
    tokens = re.findall(r"\w+", text)
    return any(difflib.SequenceMatcher(None, token, word).ratio() >= 0.8 for token in tokens)


def run(*args, **kw):
    return subprocess.run(list(args), check=True, capture_output=True, text=True, timeout=120, **kw).stdout


class Screen:
    """A screenshot as raw RGB, read through ImageMagick."""

    def __init__(self, path, data=None):
        self.path = path
        if data is None:
            data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], check=True,
                                  capture_output=True, timeout=60).stdout
            with open(path, "wb") as f:
                f.write(data)
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.pixels = data[header.end():]

    def glyphs(self, box, colour):
        """What is drawn in `colour` inside `box`, one glyph per run of inked columns, left to right."""
        x, y, w, h = box
        ink = [[self.near(i, j, colour, 90) for i in range(x, x + w)] for j in range(y, y + h)]
        inked = [any(ink[j][i] for j in range(h)) for i in range(w)] + [False]
        found, start = [], None
        for i, on in enumerate(inked):
            if on and start is None:
                start = i
            elif not on and start is not None:
                rows = [j for j in range(h) if any(ink[j][start:i])]
                found.append([row[start:i] for row in ink[rows[0]:rows[-1] + 1]])
                start = None
        tallest = max((len(g) for g in found), default=0)
        return [g for g in found if len(g) >= tallest / 2]

    def digits(self, box, colour, font):
        """The number drawn in `colour` inside `box`, each glyph matched against the font's digits."""
        glyphs = self.glyphs(box, colour)
        return "".join(DigitShapes.of(font).nearest(g) for g in glyphs)

    def at(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def near(self, x, y, colour, tolerance=40):
        return all(abs(a - b) <= tolerance for a, b in zip(self.at(x, y), colour))

    def count(self, box, colour):
        x, y, w, h = box
        return sum(self.near(i, j, colour) for j in range(y, y + h) for i in range(x, x + w))

    def number_box(self):
        """The yellow box of the number asked: the topmost, leftmost yellow run."""
        for y in range(0, self.height // 3):
            run_start = None
            for x in range(0, self.width // 2):
                if self.near(x, y, YELLOW, 10):
                    run_start = x if run_start is None else run_start
                    if x - run_start >= 40:
                        right = x
                        while right + 1 < self.width and self.near(right + 1, y, YELLOW, 10):
                            right += 1
                        bottom = y
                        while bottom + 1 < self.height and self.near(run_start, bottom + 1, YELLOW, 10):
                            bottom += 1
                        return run_start, y, right - run_start + 1, bottom - y + 1
                else:
                    run_start = None
        return None

    def inside_frame(self, box, colour):
        """The inside of the frame drawn in `colour` around a label within `box`."""
        x, y, w, h = box
        columns = [i for i in range(x, x + w) if sum(self.near(i, j, colour) for j in range(y, y + h)) >= 30]
        if len(columns) < 2:
            return box
        left, right = columns[0], columns[-1]
        rows = [j for j in range(y, y + h)
                if sum(self.near(i, j, colour) for i in range(left, right + 1)) >= 0.8 * (right - left + 1)]
        if len(rows) < 2:
            return box
        top, bottom = rows[0], rows[-1]
        return left + 3, top + 3, right - left - 5, bottom - top - 5

    def read(self, box, colour):
        """OCR of the text drawn in `colour` inside `box`."""
        x, y, w, h = box
        png = self.path + f".{x}x{y}.png"
        hexcolour = "#%02X%02X%02X" % colour
        subprocess.run(["convert", self.path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-fuzz", "25%",
                        "-fill", "white", "+opaque", hexcolour, "-fill", "black", "-opaque", hexcolour,
                        "-bordercolor", "white", "-border", "20", "-resize", "300%", png],
                       check=True, timeout=60)
        return run("tesseract", png, "-", "--psm", "7").strip()


class DigitShapes:
    """The ten digits of a font, drawn by ImageMagick, to match what is on the screen against.

    Tesseract misreads large bold digits now and then; these are the very faces Wine draws
    the window with (the Liberation fonts under the Windows names)."""
    GRID = (12, 18)
    cache = {}

    @classmethod
    def of(cls, font):
        if font not in cls.cache:
            cls.cache[font] = cls(font)
        return cls.cache[font]

    def __init__(self, font):
        self.shapes = {}
        for digit in "0123456789":
            data = subprocess.run(["convert", "-font", font, "-pointsize", "96", "-fill", "black", "-background",
                                   "white", f"label:{digit}", "-depth", "8", "ppm:-"],
                                  check=True, capture_output=True, timeout=60).stdout
            drawn = Screen("", data)
            glyph = drawn.glyphs((0, 0, drawn.width, drawn.height), (0, 0, 0))[0]
            self.shapes[digit] = self.signature(glyph)

    @classmethod
    def signature(cls, glyph):
        gw, gh = cls.GRID
        h, w = len(glyph), len(glyph[0])
        cells = [glyph[min(h - 1, int((r + 0.5) * h / gh))][min(w - 1, int((c + 0.5) * w / gw))]
                 for r in range(gh) for c in range(gw)]
        return cells, w / h

    def nearest(self, glyph):
        cells, aspect = self.signature(glyph)
        score = lambda shape: (sum(a == b for a, b in zip(cells, shape[0])) / len(cells)
                               - abs(aspect - shape[1]))
        return max(self.shapes, key=lambda digit: score(self.shapes[digit]))


def visible_windows(name="Contadopo"):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$"],
                         capture_output=True, text=True, timeout=30).stdout
    return [w for w in out.split()]


def geometry(window):
    info = run("xwininfo", "-id", window)
    value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")


def key(name):
    run("xdotool", "key", name)


def type_text(text):
    run("xdotool", "type", "--delay", "60", text)


def wine_env(display):
    env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               DISPLAY=display)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def drive_c(*parts):
    return os.path.join(PREFIX, "drive_c", *parts)


def window_text(window, path):
    """OCR of a whole dialog, enlarged."""
    png = path + ".png"
    subprocess.run(["import", "-window", window, "-resize", "300%", png], check=True, timeout=60)
    # Thin grey faces (Wine's serif stand-in) read better at one threshold or another:
    # all the readings together.
    readings = [run("tesseract", png, "-", "--psm", "11")]
    for threshold in (70, 75, 80):
        subprocess.run(["convert", png, "-colorspace", "gray", "-threshold", f"{threshold}%", png + ".bw.png"],
                       check=True, timeout=60)
        readings.append(run("tesseract", png + ".bw.png", "-", "--psm", "11"))
    return "\n".join(readings)


def small_window(known):
    windows = [w for w in visible_windows() if w not in known]
    return next((w for w in windows if geometry(w)[2] < SCREEN[0] * 0.8), None)


def race(command, env, shots):
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        prompt = wait_until(lambda: small_window([]), "the name prompt")
        time.sleep(1)
        text = window_text(prompt, os.path.join(shots, "prompt"))
        check("chiami" in text, f"the name prompt does not ask the name: {text!r}")
        check("Annulla" in text, f"the name prompt has no Italian 'Annulla' button (qt.conf, qtbase_it.qm): {text!r}")
        type_text(PLAYER)
        key("Return")
        greeting = wait_until(lambda: small_window([prompt]), "the greeting")
        time.sleep(1)
        text = window_text(greeting, os.path.join(shots, "greeting"))
        check(mentions(text, PLAYER) and mentions(text, "campione"), f"greeting: {text!r}")
        key("Return")

        main = wait_until(lambda: next((w for w in visible_windows() if geometry(w)[2] >= SCREEN[0] * 0.95), None),
                          "the maximized main window")
        x, y, w, h = geometry(main)
        check(w >= SCREEN[0] - 2 and h >= SCREEN[1] - 60, f"main window {w}x{h} is not maximized on {SCREEN}")

        def seen_number():
            screen = Screen(os.path.join(shots, "question.ppm"))
            box = screen.number_box()
            if not box or screen.count(VERDICT_AT(box), RED) > 0:
                return None
            bx, by, bw, bh = box
            text = screen.digits((bx + 3, by + 3, bw - 6, bh - 6), BLUE, NUMBER_FONT)
            # The box fits the number: a digit is about 53 pixels wide at 72 points.
            whole = len(text) == round((bw - 4) / 53)
            return (int(text), box, whole) if text.isdigit() else None

        def question():
            # The same reading twice, so a number caught half painted is not taken.
            first = seen_number()
            time.sleep(0.3)
            return first if first and seen_number() == first else None

        def verdict(box):
            def probe():
                screen = Screen(os.path.join(shots, "verdict.ppm"))
                if screen.count(VERDICT_AT(box), RED) < 20:
                    return None
                said = screen.read(VERDICT_AT(box), RED)
                wrong_one = mentions(said, "Sbagliato")
                if not wrong_one and not mentions(said, "Esatto"):
                    return None
                # Below every label, the surface: black after a wrong answer only.
                sx, sy = box[0] - NUMBER_BOX[0], box[1] - NUMBER_BOX[1]
                black = all(screen.near(sx + 20 + dx, SCREEN[1] - 40, (0, 0, 0), 8) for dx in range(0, 400, 40))
                if black != wrong_one:
                    return None
                read = lambda b, colour: screen.digits(screen.inside_frame((sx + b[0], sy + b[1], b[2], b[3]), colour),
                                                       colour, COUNTER_FONT)
                return said, wrong_one, read(WRONG_BOX, RED), read(TOTAL_BOX, BLUE)
            return wait_until(probe, "a verdict, with the surface black after a wrong answer only")

        # One right answer and one wrong. A 3-digit number lies partly under the "+"
        # and may be misread: a reading with a digit too few is answered wrong, and
        # an answer meant to be right but judged wrong counts as the wrong one.
        right = wrong = 0
        for asked in range(1, 11):
            number, box, whole = wait_until(question, "a number on the yellow box")
            check(0 <= number <= 999, f"number asked {number}")
            answer = str(number + 1) if right == 0 and whole else "0"
            type_text(answer)
            key("Return")
            said, wrong_one, wrong_shown, total_shown = verdict(box)
            if not wrong_one:
                check(answer == str(number + 1) and mentions(said, PLAYER), f"verdict for {answer} after {number}: {said!r}")
                right += 1
            else:
                expected = re.search(r"(\d+)\W*$", said)
                check(expected and expected.group(1) != answer and 1 <= int(expected.group(1)) <= 1000,
                      f"verdict for {answer} after {number}: {said!r}")
                if answer != "0":
                    print(f"  read {number}, the program asked {int(expected.group(1)) - 1}: tried the next one")
                wrong += 1
            check((wrong_shown, total_shown) == (str(wrong), str(asked)),
                  f"counters after {right} right and {wrong} wrong: wrong {wrong_shown!r}, total {total_shown!r}")
            if right and wrong:
                break
            key("Return")  # the focus is on the next-question button
        check(right == 1 and wrong >= 1, f"{right} right and {wrong} wrong answers in {asked} questions")
        score = right

        key("alt+x")
        saved = wait_until(lambda: small_window([main]), "the record box")
        time.sleep(1)
        text = window_text(saved, os.path.join(shots, "saved"))
        check("registrato" in text, f"record box: {text!r}")
        key("Return")
        wait_until(lambda: program.poll() is not None, "the program to end")
        return score
    finally:
        if program.poll() is None:
            program.kill()


def unzipped_first_start(env, shots):
    shutil.rmtree(drive_c("ProgramData", "Contadopo"))
    subprocess.run(["unzip", "-q", ZIP, "-d", drive_c("Scuola")], check=True, timeout=120)
    program = subprocess.Popen(["wine", drive_c("Scuola", "Contadopo", "contadopo.exe")], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        prompt = wait_until(lambda: small_window([]), "the name prompt of the unzipped program")
        type_text(PLAYER)
        key("Return")
        greeting = wait_until(lambda: small_window([prompt]), "the greeting of the unzipped program")
        time.sleep(1)
        text = window_text(greeting, os.path.join(shots, "unzipped-greeting"))
        check(mentions(text, "campione"), f"greeting of the unzipped program: {text!r}")
        key("Return")  # the record files are made once the greeting is closed
        made = {"suc000.txt": b"", "nsuc000.txt": b"", "suc000.jnl": b""}
        wait_until(lambda: record() == made, f"the record files made by the unzipped program (now {record()})")
        # Wine keeps the access list as the Unix mode: Everyone may write is o+w.
        for name in ("suc000.txt", "nsuc000.txt", "suc000.jnl"):
            mode = os.stat(drive_c("ProgramData", "Contadopo", name)).st_mode
            check(mode & 0o002, f"{name} made by the program is not writable by every user (mode {oct(mode)})")
    finally:
        program.kill()


def VERDICT_AT(box):
    sx, sy = box[0] - NUMBER_BOX[0], box[1] - NUMBER_BOX[1]
    return sx + VERDICT_BOX[0], sy + VERDICT_BOX[1], VERDICT_BOX[2], VERDICT_BOX[3]


def record():
    folder = drive_c("ProgramData", "Contadopo")
    content = {}
    for name in ("suc000.txt", "nsuc000.txt", "suc000.jnl"):
        path = os.path.join(folder, name)
        content[name] = open(path, "rb").read() if os.path.isfile(path) else None
    return content


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    shots = os.path.join(WORK, "screens")
    os.makedirs(shots)
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    helpers = [xvfb]
    started = time.monotonic()
    try:
        display = ":" + xvfb.stdout.readline().decode().strip()
        env = wine_env(display)
        os.environ["DISPLAY"] = display
        helpers.append(subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        subprocess.run(["wineboot", "-i"], env=env, check=True, capture_output=True, timeout=300)
        subprocess.run(["wineserver", "-w"], env=env, timeout=300)
        # Wine has none of Windows' fonts and draws them all in a thin serif face: it
        # gets the metric-compatible Liberation ones under the Windows names, as a
        # Windows machine has its own, so the screen reads as it would there.
        fonts = os.path.join(WORK, "fonts.reg")
        with open(fonts, "w") as f:
            f.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n")
            f.writelines(f'"{family}"="{stand_in}"\n' for family, stand_in in FONTS.items())
        subprocess.run(["wine", "regedit", "/S", fonts], env=env, check=True, capture_output=True, timeout=120)
        subprocess.run(["wineserver", "-w"], env=env, timeout=300)

        subprocess.run(["wine", SETUP, "/S"], env=env, check=True, capture_output=True, timeout=300)
        installed = drive_c("Program Files", "Contadopo")
        for part in ("contadopo.exe", "qt.conf", "qtbase_it.qm", "suoni/Esatto.wav", "suoni/no.wav", "disinstalla.exe"):
            check(os.path.isfile(os.path.join(installed, part)), f"the installer did not put {part} in {installed}")
        check(os.path.isfile(drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Contadopo.lnk")),
              "no Start-menu entry")
        check(record() == {"suc000.txt": b"", "nsuc000.txt": b"", "suc000.jnl": b""},
              f"record files after install: {record()}")
        print(f"installed silently ({time.monotonic() - started:.0f}s)")

        race(["wine", drive_c("Program Files", "Contadopo", "contadopo.exe")], env, shots)
        check(record() == {"suc000.txt": b"1\r\n", "nsuc000.txt": (PLAYER + "\r\n").encode(), "suc000.jnl": b""},
              f"record files after the race: {record()}")
        print(f"race played, record saved in ProgramData ({time.monotonic() - started:.0f}s)")

        subprocess.run(["wine", os.path.join(installed, "disinstalla.exe"), "/S", "_?=C:\\Program Files\\Contadopo"],
                       env=env, check=True, capture_output=True, timeout=300)
        check(not os.path.exists(os.path.join(installed, "contadopo.exe")), "the uninstaller left contadopo.exe")
        check(record()["nsuc000.txt"] == (PLAYER + "\r\n").encode(), "the silent uninstall removed the record")
        print(f"uninstalled silently, record kept ({time.monotonic() - started:.0f}s)")

        unzipped_first_start(env, shots)
        print(f"unzipped program made the record files itself ({time.monotonic() - started:.0f}s)")
    except Failure as failure:
        print(f"FAIL: {failure} (screens in {shots})")
        return 1
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(""), timeout=60)
        for helper in reversed(helpers):
            helper.terminate()
            helper.wait(timeout=30)
    print("PASS installer smoke test")
    return 0


if __name__ == "__main__":
    sys.exit(main())
