#!/usr/bin/python3
"""Plays races on the real program, reading the screen only through AT-SPI and
typing only through the X server, as a child with a screen reader would.

Usage (inside the session run_e2e.sh prepares): race_e2e.py EXECUTABLE RECORD_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

import pyatspi

EXECUTABLE = os.path.abspath(sys.argv[1]) if len(sys.argv) == 3 else None
RECORD_DIR = sys.argv[2] if len(sys.argv) == 3 else None
RECORD_FILES = [os.path.join(RECORD_DIR or "", name) for name in ("suc000.txt", "nsuc000.txt")]
TITLE = "Contadopo"
RECORD_SAVED = "Ok! Ho registrato il tuo record, C A M P I O N E"
# The main window's labels, by what they say they are.
NUMBER, CLOCK, VERDICT = "Numero da completare", "Tempo restante", "Esito della risposta"
RIGHT, WRONG, TOTAL = "Risposte esatte", "Risposte errate", "Risposte totali"
PLAYER, CHAMPION, RECORD_SCORE = "Sfidante", "Nome del campione", "Punti del record"
# Roles by the library's constants: their names change between releases.
FRAME, DIALOG, ALERT, LABEL = pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT, pyatspi.ROLE_LABEL
TEXT, BUTTON, MENU_BAR, MENU_ITEM = pyatspi.ROLE_TEXT, pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU_ITEM


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")


def wait_until(probe, what, timeout=10, interval=0.03):
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
            raise Failure(f"timed out after {timeout}s waiting for {what}" + (f" ({last_error})" if last_error else ""))
        time.sleep(interval)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True, timeout=30).stdout


def press(key):
    xdotool("key", key)


def has(acc, state):
    return acc.getState().contains(state)


def walk(acc):
    yield acc
    for child in acc:
        if child is not None:
            yield from walk(child)


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def hover(acc):
    # A --sync move to where the pointer already is hangs for seconds: poll instead.
    x, y, w, h = extents(acc)
    check(w > 0 and h > 0, f"{acc.name!r} has no area on screen")
    xdotool("mousemove", str(x + w // 2), str(y + h // 2))
    wait_until(lambda: f"X={x + w // 2}\nY={y + h // 2}\n" in xdotool("getmouselocation", "--shell"), "the pointer")


class Program:
    """One run of the executable, seen through its accessibility tree."""

    def __init__(self, log_path):
        self.log_path = log_path
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([EXECUTABLE], stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
        self.app = wait_until(self._find_app, "the program on the accessibility bus", timeout=20)

    def _find_app(self):
        self.alive()
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid and app.childCount > 0:
                return app
        return None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.log.close()

    def alive(self):
        check(self.process.poll() is None, f"the program exited with code {self.process.returncode}")

    def window(self, window_role, title=None):
        self.alive()
        return next((w for w in self.app if w is not None and w.getRole() == window_role
                     and title in (None, w.name) and has(w, pyatspi.STATE_SHOWING)), None)

    def frame(self):
        return wait_until(lambda: self.window(FRAME), "the main window")

    def wait_frame(self):
        return wait_until(lambda: has(self.frame(), pyatspi.STATE_ACTIVE) and self.frame(), "the main window, active")

    def wait_prompt(self, prompt):
        """A text prompt titled like the program, with its field ready for typing."""
        dialog = wait_until(lambda: self.window(DIALOG, TITLE), f"the prompt {prompt!r}")
        check_equal([a.name for a in walk(dialog) if a.getRole() == LABEL and has(a, pyatspi.STATE_SHOWING)],
                    [prompt], "prompt text")
        return wait_until(lambda: next((a for a in walk(dialog) if a.getRole() == TEXT
                                        and has(a, pyatspi.STATE_FOCUSED)), None), f"the field of {prompt!r}")

    def expect_message(self, text, title=TITLE):
        alert = wait_until(lambda: self.window(ALERT, title), f"the message {text!r}")
        # The icon of a message box is an empty label too: only words count.
        texts = wait_until(lambda: [a.name for a in walk(alert) if a.getRole() == LABEL and a.name], "its text")
        check_equal(texts, [text], f"text of the box titled {title!r}")
        return alert

    def answer_message(self, alert):
        wait_until(lambda: any(b.getRole() == BUTTON and has(b, pyatspi.STATE_FOCUSED) for b in walk(alert)),
                   "a focused button in the box")
        press("Return")
        # The last box may end the program; the caller judges that exit.
        wait_until(lambda: self.process.poll() is not None or not self.window(ALERT, alert.name), "the box to close")

    def give_name(self, name):
        field = self.wait_prompt("Come ti chiami?")
        xdotool("type", "--delay", "30", name)
        wait_until(lambda: field.queryText().getText(0, -1) == name, f"{name!r} in the name field")
        press("Return")
        return self.expect_message(" " + name + " vediamo se sei un vero campione  ")

    def labels(self):
        found = {a.description: a for a in walk(self.frame()) if a.getRole() == LABEL and a.description}
        for needed in (NUMBER, CLOCK, VERDICT, RIGHT, WRONG, TOTAL, PLAYER, CHAMPION, RECORD_SCORE):
            check(needed in found, f"no label described as {needed!r}")
        return found

    def board(self):
        return {desc: acc.name for desc, acc in self.labels().items()}

    def control(self, control_role, name):
        return wait_until(lambda: next((a for a in walk(self.frame()) if a.getRole() == control_role
                                        and a.name == name and has(a, pyatspi.STATE_SHOWING)), None), repr(name))

    def wait_question(self):
        """A question is open once the empty answer box has the focus; gives the number asked."""
        box = self.control(TEXT, "Il numero che viene dopo")
        wait_until(lambda: has(box, pyatspi.STATE_FOCUSED) and box.queryText().getText(0, -1) == "",
                   "the empty answer box to have the focus")
        board = self.board()
        check(re.fullmatch(r"[0-9]{1,3}", board[NUMBER]), f"the number asked is {board[NUMBER]!r}")
        check_equal(board[VERDICT], "", "verdict while a question is open")
        return int(board[NUMBER]), box

    def answer(self, typed):
        number, box = self.wait_question()
        xdotool("type", "--delay", "30", typed)
        wait_until(lambda: box.queryText().getText(0, -1) == typed, f"{typed!r} in the answer box")
        press("Return")
        button = self.control(BUTTON, "Nuovo calcolo")
        wait_until(lambda: has(button, pyatspi.STATE_ENABLED) and has(button, pyatspi.STATE_FOCUSED),
                   "'Nuovo calcolo' enabled and focused after the verdict")
        return number, self.board()

    def answer_right(self, player):
        number, board = self.answer(str(self.wait_question()[0] + 1))
        check_equal(board[VERDICT], f"Esatto! {player} sei forte!", f"verdict for {number + 1} after {number}")
        return board

    def wait_exit(self, what):
        try:
            check_equal(self.process.wait(timeout=10), 0, f"exit code after {what}")
        except subprocess.TimeoutExpired:
            raise Failure(f"the program is still running 10s after {what}")


def counters(board):
    return board[RIGHT], board[WRONG], board[TOTAL]


def record_bytes():
    return tuple(open(path, "rb").read() for path in RECORD_FILES)


def scenario_first_race(program):
    """First start on an empty folder; wrong first, then right twice; Exit stores the record."""
    program.answer_message(program.give_name("Niccolò"))
    frame = program.wait_frame()
    clock = program.labels()[CLOCK]
    check_equal(clock.name, "00:05:00", "clock when the window shows")
    x, y, w, h = extents(frame)
    screen = xdotool("getdisplaygeometry").split()
    check(x <= 0 and w >= int(screen[0]) and h >= int(screen[1]) - 60, f"main window at {x},{y} {w}x{h} not maximized")
    board = program.board()
    check_equal((counters(board), board[PLAYER], board[CHAMPION], board[RECORD_SCORE]),
                (("0", "0", "0"), "Niccolò", "", ""), "counters, player and record on a first start")
    first, started = clock.name, time.monotonic()
    then = wait_until(lambda: clock.name if clock.name != first else None, "the clock to tick", timeout=3)
    seconds = [sum(int(p) * f for p, f in zip(t.split(":"), (3600, 60, 1))) for t in (first, then)]
    check(seconds[1] == seconds[0] - 1 and time.monotonic() - started < 2.0, f"the clock went from {first} to {then}")

    number, board = program.answer(str(program.wait_question()[0] + 2))
    check_equal((board[VERDICT], counters(board)), (f"Sbagliato!! {number + 1}", ("0", "1", "1")), "after a wrong answer")
    press("Return")  # the focus is on the next-question button
    check_equal(counters(program.answer_right("Niccolò")), ("1", "1", "2"), "counters")
    press("alt+n")
    check_equal(counters(program.answer_right("Niccolò")), ("2", "1", "3"), "counters")
    press("alt+x")
    program.answer_message(program.expect_message(RECORD_SAVED))
    program.wait_exit("the record box was closed")
    check_equal(record_bytes(), (b"2\r\n", "Niccolò\r\n".encode()), "record files (score, name)")


def open_new_race_box(program):
    menus = [m for a in walk(program.frame()) if a.getRole() == MENU_BAR for m in a if m is not None and m.getRole() == MENU_ITEM]
    check(len(menus) >= 2, f"the menu bar has {len(menus)} menus")
    hover(menus[1])
    xdotool("click", "1")
    item = wait_until(lambda: next((a for a in walk(menus[1]) if a.getRole() == MENU_ITEM and a.name == "nuovo"
                                    and has(a, pyatspi.STATE_SHOWING) and extents(a)[2] > 0), None), "'nuovo'")
    # The item is reported before its popup is painted: hover until it lights up.
    hover(item)
    wait_until(lambda: has(item, pyatspi.STATE_FOCUSED), "'nuovo' highlighted under the pointer")
    xdotool("click", "1")
    return program.expect_message("INIZIAMO UNA NUOVA GARA  ?", "INIZIARE NUOVA GARA")


def scenario_second_start_and_new_race(program):
    """The stored record is shown; No keeps the race, Yes starts it over; the frame's close saves nothing."""
    before = record_bytes()
    program.answer_message(program.give_name("Anna"))
    program.wait_frame()
    board = program.board()
    check_equal((board[RECORD_SCORE], board[CHAMPION]), ("2\r\n", "Niccolò\r\n"), "record shown")
    board = program.answer_right("Anna")

    alert = open_new_race_box(program)
    no = next((b for b in walk(alert) if b.getRole() == BUTTON and b.name == "No"), None)
    check(no is not None and has(no, pyatspi.STATE_IS_DEFAULT), "'No' is not the default button")
    program.answer_message(alert)
    program.wait_frame()
    kept = (NUMBER, VERDICT, RIGHT, WRONG, TOTAL, PLAYER)
    check_equal([program.board()[k] for k in kept], [board[k] for k in kept], "the window after answering No")

    alert = open_new_race_box(program)
    hover(next(b for b in walk(alert) if b.getRole() == BUTTON and b.name == "Sì"))
    xdotool("click", "1")
    program.wait_prompt("Tavola pitagorica fino al numero? ")
    press("Return")
    program.answer_message(program.expect_message(" Anna siccome non hai scelto arriviamo fino al 10."))
    program.answer_message(program.give_name("Anna"))
    program.wait_frame()
    program.wait_question()
    board = program.board()
    check_equal((counters(board), board[CLOCK], board[RECORD_SCORE]), (("0", "0", "0"), "00:05:00", "2\r\n"),
                "the new race")
    # Better than the record, yet closing from the frame must not store it.
    for _ in range(3):
        program.answer_right("Anna")
        press("Return")
    program.wait_question()
    press("alt+F4")
    program.wait_exit("Alt+F4")
    check_equal(record_bytes(), before, "record files after closing from the frame")


def main():
    if EXECUTABLE is None:
        print("usage: race_e2e.py EXECUTABLE RECORD_DIR", file=sys.stderr)
        return 2
    os.makedirs(RECORD_DIR, exist_ok=True)
    for path in RECORD_FILES:
        if os.path.lexists(path):
            os.remove(path)
    failed = 0
    logdir = tempfile.mkdtemp(prefix="contadopo-logs.")
    for scenario in (scenario_first_race, scenario_second_start_and_new_race):
        name = scenario.__name__[len("scenario_"):]
        started = time.monotonic()
        program = None
        try:
            program = Program(os.path.join(logdir, name + ".log"))
            scenario(program)
            print(f"PASS {name} ({time.monotonic() - started:.1f}s)")
        except Exception as error:  # every fault is reported, the rest still run
            failed += 1
            where = "" if isinstance(error, Failure) else f" (line {traceback.extract_tb(error.__traceback__)[-1].lineno})"
            print(f"FAIL {name}: {type(error).__name__}: {error}{where}")
            if program:
                program.stop()
                with open(program.log_path, "rb") as log:
                    print("  program output:\n    " + "\n    ".join(log.read().decode(errors="replace").splitlines()[-10:]))
        finally:
            if program:
                program.stop()
        sys.stdout.flush()
    shutil.rmtree(logdir, ignore_errors=True)
    print(f"{2 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
