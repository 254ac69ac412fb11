#!/usr/bin/python3
"""Plays whole races on the real program, reading the screen only through AT-SPI
and typing only through the X server, as a child with a screen reader would.

Usage (inside the session run_e2e.sh prepares): race_e2e.py EXECUTABLE RECORD_DIR
"""
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import traceback

import pyatspi

EXECUTABLE = os.path.abspath(sys.argv[1]) if len(sys.argv) == 3 else None
RECORD_DIR = sys.argv[2] if len(sys.argv) == 3 else None
SCORE_FILE = os.path.join(RECORD_DIR or "", "suc000.txt")
NAME_FILE = os.path.join(RECORD_DIR or "", "nsuc000.txt")

TITLE = "Contadopo"
NAME_QUESTION = "Come ti chiami?"
GREETING_END = " vediamo se sei un vero campione  "
RECORD_SAVED = "Ok! Ho registrato il tuo record, C A M P I O N E"
NEW_RACE_TITLE = "INIZIARE NUOVA GARA"
NEW_RACE_QUESTION = "INIZIAMO UNA NUOVA GARA  ?"
LIMIT_PROMPT = "Tavola pitagorica fino al numero? "
NO_LIMIT_END = " siccome non hai scelto arriviamo fino al 10."
ANSWER_BOX = "Il numero che viene dopo"
NEXT_BUTTON = "Nuovo calcolo"
START_CLOCK = "00:05:00"

NUMBER = "Numero da completare"
CLOCK = "Tempo restante"
VERDICT = "Esito della risposta"
RIGHT = "Risposte esatte"
WRONG = "Risposte errate"
TOTAL = "Risposte totali"
PLAYER = "Sfidante"
CHAMPION = "Nome del campione"
RECORD_SCORE = "Punti del record"

FIRST_PLAYER = "Niccolò"
SECOND_PLAYER = "Anna"

# Roles by the library's constants: their names change between releases
# (a push button is "push button" on at-spi2-core 2.46, "button" on 2.56).
FRAME = pyatspi.ROLE_FRAME
DIALOG = pyatspi.ROLE_DIALOG
ALERT = pyatspi.ROLE_ALERT
LABEL = pyatspi.ROLE_LABEL
TEXT = pyatspi.ROLE_TEXT
BUTTON = pyatspi.ROLE_PUSH_BUTTON
MENU_BAR = pyatspi.ROLE_MENU_BAR
MENU_ITEM = pyatspi.ROLE_MENU_ITEM

STARTUP_TIMEOUT = 20
STEP_TIMEOUT = 10


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")


def wait_until(probe, what, timeout=STEP_TIMEOUT, interval=0.03):
    """Polls probe() until it gives something true; objects vanish and appear
    while windows change, so AT-SPI errors only mean 'not yet'."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except Failure:
            raise
        except Exception as error:  # GLib errors from objects that went away
            last_error = error
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Failure(f"timed out after {timeout}s waiting for {what}{detail}")
        time.sleep(interval)


# ---- the X server, as a keyboard and a mouse --------------------------------

def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=30)


def type_text(text):
    xdotool("type", "--delay", "30", text)


def press(key):
    xdotool("key", key)


def pointer():
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True,
                         capture_output=True, text=True, timeout=30).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"])


def move_pointer(x, y):
    # A --sync move to where the pointer already is hangs for seconds: poll instead.
    if pointer() != (x, y):
        xdotool("mousemove", str(x), str(y))
        wait_until(lambda: pointer() == (x, y), f"the pointer at {x},{y}")


def screen_size():
    out = subprocess.run(["xwininfo", "-root"], check=True, capture_output=True,
                         text=True, timeout=30).stdout
    width = int(re.search(r"Width:\s*(\d+)", out).group(1))
    height = int(re.search(r"Height:\s*(\d+)", out).group(1))
    return width, height


# ---- AT-SPI, as a screen reader ---------------------------------------------

def states(acc):
    return acc.getState()


def is_showing(acc):
    return states(acc).contains(pyatspi.STATE_SHOWING)


def is_focused(acc):
    return states(acc).contains(pyatspi.STATE_FOCUSED)


def is_enabled(acc):
    return states(acc).contains(pyatspi.STATE_ENABLED)


def role(acc):
    return acc.getRole()


def walk(acc):
    yield acc
    for child in acc:
        if child is not None:
            yield from walk(child)


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def click(acc, what):
    x, y, w, h = extents(acc)
    check(w > 0 and h > 0, f"{what} has no area on screen")
    move_pointer(x + w // 2, y + h // 2)
    xdotool("click", "1")


class Program:
    """One run of the executable, seen through its accessibility tree."""
    last = None  # for the failure report

    def __init__(self, log_path):
        Program.last = self
        self.log_path = log_path
        self.exit_before_stop = None
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen([EXECUTABLE], stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
        self.app = wait_until(self._find_app, "the program on the accessibility bus",
                              timeout=STARTUP_TIMEOUT)

    def _find_app(self):
        check(self.process.poll() is None,
              f"the program exited early with code {self.process.returncode}")
        for app in pyatspi.Registry.getDesktop(0):
            if app is None:
                continue
            try:
                if app.get_process_id() == self.process.pid and app.childCount > 0:
                    check_equal(app.name.lower(), "contadopo", "application name")
                    return app
            except Failure:
                raise
            except Exception:
                continue
        return None

    def stop(self):
        self.exit_before_stop = self.process.poll()
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.log.close()

    def alive(self):
        check(self.process.poll() is None,
              f"the program exited unexpectedly with code {self.process.returncode}")

    def windows(self, showing_only=True):
        self.alive()
        return [w for w in self.app if w is not None and (not showing_only or is_showing(w))]

    def wait_window(self, window_role, title, what):
        def probe():
            for w in self.windows():
                if role(w) == window_role and w.name == title:
                    return w
            return None
        return wait_until(probe, what)

    def frame(self, showing_only=True):
        frames = [w for w in self.windows(showing_only) if role(w) == FRAME]
        check(len(frames) == 1, f"expected one main window, found {len(frames)}")
        return frames[0]

    def wait_frame(self):
        return wait_until(lambda: self.frame() if any(
            role(w) == FRAME and states(w).contains(pyatspi.STATE_ACTIVE) for w in self.windows()) else None,
            "the main window, shown and active")

    # -- dialogs --

    def wait_prompt(self, prompt):
        """A text prompt titled like the program, with its field ready for typing."""
        dialog = self.wait_window(DIALOG, TITLE, f"the prompt {prompt!r}")
        labels = [a.name for a in walk(dialog) if role(a) == LABEL and is_showing(a)]
        check_equal(labels, [prompt], "prompt text")
        field = wait_until(lambda: next((a for a in walk(dialog) if role(a) == TEXT and is_focused(a)), None),
                           f"the focused text field of {prompt!r}")
        return dialog, field

    def wait_alert(self, title, what):
        alert = self.wait_window(ALERT, title, what)
        # The icon of a message box is an empty label too: only words count.
        texts = wait_until(lambda: [a.name for a in walk(alert) if role(a) == LABEL and a.name],
                           f"the text of {what}")
        return alert, texts

    def expect_message(self, text, title=TITLE):
        alert, texts = self.wait_alert(title, f"the message {text!r}")
        check_equal(texts, [text], f"text of the box titled {title!r}")
        return alert

    def answer_message(self, alert, then=None):
        """Enter on the box; then() runs before waiting for it to go, for what lasts only a moment."""
        wait_until(lambda: any(role(b) == BUTTON and is_focused(b) for b in walk(alert)),
                   "a focused button in the box")
        press("Return")
        result = then() if then else None

        def closed():
            # The last box may end the program; the caller judges that exit.
            if self.process.poll() is not None:
                return True
            return not any(role(w) == ALERT and w.name == alert.name for w in self.windows())
        wait_until(closed, "the box to close")
        return result

    def give_name(self, name):
        _, field = self.wait_prompt(NAME_QUESTION)
        type_text(name)
        typed = []

        def field_holds_name():
            typed.append(field.queryText().getText(0, -1))
            return typed[-1] == name
        try:
            wait_until(field_holds_name, f"{name!r} in the name field")
        except Failure as error:
            raise Failure(f"{error}; the field holds {typed[-1:]!r}")
        press("Return")
        return self.expect_message(" " + name + GREETING_END)

    # -- the main window --

    def board_labels(self, showing_only=True):
        """The described labels of the main window, by description."""
        found = {}
        for acc in walk(self.frame(showing_only)):
            if role(acc) == LABEL and acc.description and (not showing_only or is_showing(acc)):
                check(acc.description not in found, f"two labels described as {acc.description!r}")
                found[acc.description] = acc
        for needed in (NUMBER, CLOCK, VERDICT, RIGHT, WRONG, TOTAL, PLAYER, CHAMPION, RECORD_SCORE):
            check(needed in found, f"no label described as {needed!r}")
        return found

    def board(self):
        return {desc: acc.name for desc, acc in self.board_labels().items()}

    def control(self, control_role, name):
        matches = [a for a in walk(self.frame()) if role(a) == control_role and a.name == name and is_showing(a)]
        check(len(matches) == 1, f"expected one {control_role} {name!r}, found {len(matches)}")
        return matches[0]

    def wait_question(self):
        """A question is open once the answer box has the focus; gives the number asked."""
        box = self.control(TEXT, ANSWER_BOX)
        wait_until(lambda: is_focused(box) and box.queryText().getText(0, -1) == "",
                   "the empty answer box to have the focus")
        board = self.board()
        number = board[NUMBER]
        check(re.fullmatch(r"[0-9]{1,3}", number) is not None, f"the number asked is {number!r}")
        check_equal(board[VERDICT], "", "verdict while a question is open")
        return int(number), box

    def answer(self, typed):
        number, box = self.wait_question()
        type_text(typed)
        wait_until(lambda: box.queryText().getText(0, -1) == typed, f"{typed!r} in the answer box")
        press("Return")
        verdict_label = self.board_labels()[VERDICT]
        wait_until(lambda: verdict_label.name, "a verdict")
        button = self.control(BUTTON, NEXT_BUTTON)
        wait_until(lambda: is_enabled(button) and is_focused(button),
                   f"{NEXT_BUTTON!r} enabled and focused after the verdict")
        return number, self.board()

    def answer_right(self, player):
        number, _ = self.wait_question()
        _, board = self.answer(str(number + 1))
        check_equal(board[NUMBER], str(number), "number after answering")
        check_equal(board[VERDICT], f"Esatto! {player} sei forte!", f"verdict for {number + 1} after {number}")
        return board

    def expect_counters(self, board, right, wrong, total):
        check_equal((board[RIGHT], board[WRONG], board[TOTAL]), (str(right), str(wrong), str(total)),
                    "counters (right, wrong, total)")

    def wait_exit(self, what, timeout=STEP_TIMEOUT):
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program is still running {timeout}s after {what}")
        check_equal(code, 0, f"exit code after {what}")


def check_counts_down(clock_label, first):
    def seconds(text):
        h, m, s = (int(p) for p in text.split(":"))
        return h * 3600 + m * 60 + s
    check(re.fullmatch(r"\d\d:\d\d:\d\d", first) is not None, f"clock shows {first!r}")
    start = time.monotonic()
    nxt = wait_until(lambda: clock_label.name if clock_label.name != first else None,
                     "the clock to tick", timeout=3)
    elapsed = time.monotonic() - start
    check(re.fullmatch(r"\d\d:\d\d:\d\d", nxt) is not None, f"clock shows {nxt!r}")
    check_equal(seconds(nxt), seconds(first) - 1, f"clock after {first}")
    check(elapsed < 2.0, f"the clock took {elapsed:.2f}s to tick once")


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        raise Failure(f"{path} does not exist")


def record_bytes():
    return read_bytes(SCORE_FILE), read_bytes(NAME_FILE)


# ---- scenarios ---------------------------------------------------------------

def scenario_first_start(log_path):
    """First start on an empty record folder: prompts, greeting, a fresh window."""
    program = Program(log_path)
    try:
        dialog, _ = program.wait_prompt(NAME_QUESTION)
        check_equal(dialog.name, TITLE, "title of the name prompt")
        type_text(FIRST_PLAYER)
        press("Return")
        greeting = program.expect_message(" " + FIRST_PLAYER + GREETING_END)
        program.answer_message(greeting)

        # The window shows at once, the clock's first tick a second after the greeting.
        frame = program.wait_frame()
        clock = program.board_labels()[CLOCK]
        check_equal(clock.name, START_CLOCK, "clock when the window shows")
        check_equal(frame.name, TITLE, "caption of the main window")
        x, y, w, h = extents(frame)
        screen_w, screen_h = screen_size()
        check(x <= 0 and w >= screen_w and h >= screen_h - 60,
              f"main window at {x},{y} {w}x{h} is not maximized on a {screen_w}x{screen_h} screen")

        number, _ = program.wait_question()
        check(0 <= number <= 999, f"number asked {number} is outside 0..999")
        board = program.board()
        program.expect_counters(board, 0, 0, 0)
        check_equal(board[PLAYER], FIRST_PLAYER, "player shown")
        check_equal(board[CHAMPION], "", "record holder on a first start")
        check_equal(board[RECORD_SCORE], "", "record score on a first start")
        check_counts_down(clock, program.board()[CLOCK])

        for path in (SCORE_FILE, NAME_FILE):
            check(os.path.isfile(path) and not os.path.islink(path), f"{path} was not created")
            info = os.stat(path)
            check_equal(info.st_size, 0, f"size of {path}")
            check_equal(stat.S_IMODE(info.st_mode), 0o666, f"mode of {path} (octal {oct(info.st_mode)})")
    finally:
        program.stop()


def scenario_race_and_record(log_path):
    """Right, wrong, right, right, then Exit: a better score is stored."""
    program = Program(log_path)
    try:
        program.answer_message(program.give_name(FIRST_PLAYER))
        program.wait_frame()

        board = program.answer_right(FIRST_PLAYER)
        program.expect_counters(board, 1, 0, 1)
        press("Return")  # the focus is on the next-question button
        number, _ = program.wait_question()
        check(program.board()[VERDICT] == "", "the verdict stayed after a new question")

        number, board = program.answer(str(number + 2))
        check_equal(board[VERDICT], f"Sbagliato!! {number + 1}", f"verdict for {number + 2} after {number}")
        program.expect_counters(board, 1, 1, 2)
        press("alt+n")
        program.wait_question()

        board = program.answer_right(FIRST_PLAYER)
        program.expect_counters(board, 2, 1, 3)

        press("alt+x")
        saved = program.expect_message(RECORD_SAVED)
        program.answer_message(saved)
        program.wait_exit("the record box was closed")
        check_equal(record_bytes(), (b"2\r\n", (FIRST_PLAYER + "\r\n").encode("utf-8")),
                    "record files (score, name)")
    finally:
        program.stop()


def open_new_race_box(program):
    menu_bar = next((a for a in walk(program.frame()) if role(a) == MENU_BAR), None)
    check(menu_bar is not None, "no menu bar")
    menus = [m for m in menu_bar if m is not None and role(m) == MENU_ITEM]
    check(len(menus) >= 2, f"the menu bar has {len(menus)} menus")
    click(menus[1], f"the menu {menus[1].name!r}")
    item = wait_until(lambda: next((a for a in walk(menus[1]) if role(a) == MENU_ITEM and a.name == "nuovo"
                                    and is_showing(a) and extents(a)[2] > 0), None),
                      "the item 'nuovo' on screen")
    # The item is reported before its popup is painted: hover until it lights up.
    x, y, w, h = extents(item)
    move_pointer(x + w // 2, y + h // 2)
    wait_until(lambda: is_focused(item), "'nuovo' highlighted under the pointer")
    xdotool("click", "1")
    alert, texts = program.wait_alert(NEW_RACE_TITLE, "the new-race question")
    check_equal(texts, [NEW_RACE_QUESTION], "new-race question")
    return alert


def scenario_second_start_and_new_race(log_path):
    """The stored record is shown; No keeps the race, Yes starts it over; the frame's close saves nothing."""
    before = record_bytes()
    check_equal(before, (b"2\r\n", (FIRST_PLAYER + "\r\n").encode("utf-8")),
                "record files left by the race scenario")
    program = Program(log_path)
    try:
        program.answer_message(program.give_name(SECOND_PLAYER))
        program.wait_frame()
        board = program.board()
        check_equal(board[RECORD_SCORE], "2\r\n", "record score shown")
        check_equal(board[CHAMPION], FIRST_PLAYER + "\r\n", "record holder shown")
        check_equal(board[PLAYER], SECOND_PLAYER, "player shown")

        board = program.answer_right(SECOND_PLAYER)
        program.expect_counters(board, 1, 0, 1)

        alert = open_new_race_box(program)
        no = next((b for b in walk(alert) if role(b) == BUTTON and b.name == "No"), None)
        check(no is not None and states(no).contains(pyatspi.STATE_IS_DEFAULT), "'No' is not the default button")
        program.answer_message(alert)
        program.wait_frame()
        after_no = program.board()
        for desc in (NUMBER, VERDICT, RIGHT, WRONG, TOTAL, PLAYER):
            check_equal(after_no[desc], board[desc], f"{desc} after answering No")

        alert = open_new_race_box(program)
        yes = next((b for b in walk(alert) if role(b) == BUTTON and b.name == "Sì"), None)
        check(yes is not None, "no 'Sì' button in the new-race box")
        click(yes, "the Yes button")
        program.wait_prompt(LIMIT_PROMPT)
        press("Return")
        program.answer_message(program.expect_message(" " + SECOND_PLAYER + NO_LIMIT_END))

        program.answer_message(program.give_name(SECOND_PLAYER))
        program.wait_frame()
        check_equal(program.board()[CLOCK], START_CLOCK, "clock when the new race shows")
        program.wait_question()
        board = program.board()
        program.expect_counters(board, 0, 0, 0)
        check_equal(board[PLAYER], SECOND_PLAYER, "player shown in the new race")
        check_equal(board[RECORD_SCORE], "2\r\n", "record score shown in the new race")

        # Better than the record, yet closing from the frame must not store it.
        for _ in range(3):
            program.answer_right(SECOND_PLAYER)
            press("Return")
        program.wait_question()
        program.expect_counters(program.board(), 3, 0, 3)
        press("alt+F4")
        program.wait_exit("Alt+F4")
        check_equal(record_bytes(), before, "record files after closing from the frame")
    finally:
        program.stop()


def pixel_checks(png, number_box, verdict_box):
    """True once the yellow number box and some red verdict text are painted."""
    def crop_mean(box, colour):
        x, y, w, h = box
        out = subprocess.run(["convert", png, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-fuzz", "12%",
                              "-fill", "white", "-opaque", colour, "-fill", "black", "+opaque", "white",
                              "-colorspace", "gray", "-format", "%[fx:mean]", "info:"],
                             check=True, capture_output=True, text=True, timeout=30).stdout
        return float(out)
    return crop_mean(number_box, "#FFFF00") > 0.3 and crop_mean(verdict_box, "#FF0000") > 0.01


def scenario_screenshot(log_path):
    """The race as painted on the screen, after a right answer."""
    program = Program(log_path)
    try:
        program.answer_message(program.give_name(FIRST_PLAYER))
        program.wait_frame()
        program.answer_right(FIRST_PLAYER)
        labels = program.board_labels()
        number_box, verdict_box = extents(labels[NUMBER]), extents(labels[VERDICT])
        png = log_path[:-len(".log")] + ".png"

        def painted():
            subprocess.run(["import", "-window", "root", png], check=True, timeout=30)
            return pixel_checks(png, number_box, verdict_box)
        # AT-SPI runs ahead of the paint: grab again until the verdict is on screen.
        wait_until(painted, "the verdict to be painted", interval=0.2)
        target = os.environ.get("CONTADOPO_SCREENSHOT")
        if target:
            os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
            shutil.copyfile(png, target)
            print(f"screenshot saved as {target}")
        press("alt+F4")
        program.wait_exit("Alt+F4")
    finally:
        program.stop()


SCENARIOS = [
    ("first_start", scenario_first_start),
    ("race_and_record", scenario_race_and_record),
    ("second_start_and_new_race", scenario_second_start_and_new_race),
    ("screenshot", scenario_screenshot),
]


def clear_records():
    os.makedirs(RECORD_DIR, exist_ok=True)
    for path in (SCORE_FILE, NAME_FILE):
        if os.path.lexists(path):
            os.remove(path)


def main():
    if EXECUTABLE is None:
        print("usage: race_e2e.py EXECUTABLE RECORD_DIR", file=sys.stderr)
        return 2
    passed = failed = 0
    logdir = tempfile.mkdtemp(prefix="contadopo-logs.")
    try:
        try:
            clear_records()
        except OSError as error:
            print(f"FAIL setup: cannot empty {RECORD_DIR}: {error}")
            print("0 passed, 1 failed")
            return 1
        for name, scenario in SCENARIOS:
            started = time.monotonic()
            log_path = os.path.join(logdir, name + ".log")
            Program.last = None
            try:
                scenario(log_path)
            except Exception as error:  # every fault is reported, the rest still run
                failed += 1
                if isinstance(error, Failure):
                    print(f"FAIL {name}: {error}")
                else:
                    where = traceback.extract_tb(error.__traceback__)[-1]
                    print(f"FAIL {name}: {type(error).__name__}: {error} (line {where.lineno}: {where.line})")
                program = Program.last
                if program is not None and program.exit_before_stop is not None:
                    print(f"  the program had exited with code {program.exit_before_stop}")
                if os.path.exists(log_path):
                    with open(log_path, "rb") as f:
                        tail = f.read().decode("utf-8", "replace").splitlines()[-10:]
                    if tail:
                        print("  program output:\n    " + "\n    ".join(tail))
            else:
                passed += 1
                print(f"PASS {name} ({time.monotonic() - started:.1f}s)")
            sys.stdout.flush()
    finally:
        shutil.rmtree(logdir, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
