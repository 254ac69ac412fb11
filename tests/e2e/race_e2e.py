#!/usr/bin/python3
"""Plays a race on the real program, reading the screen only through AT-SPI and
typing only through the X server, as a child with a screen reader would, and
listens to it through the session's sound server, a PulseAudio with a null sink,
whose monitor is recorded while the child answers; halfway the server dies and
comes back, and the next cue must be heard.

Usage: scripts/desktop-session.sh --accessibility race_e2e.py EXECUTABLE RECORD_DIR
"""
import array
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from polling import wait  # noqa: E402

try:
    import pyatspi
except ImportError:
    sys.exit("race_e2e: python3 cannot import pyatspi (Debian: python3-pyatspi)")

EXECUTABLE, RECORD_DIR = os.path.abspath(sys.argv[1]), sys.argv[2]
TITLE = "Contadopo"
# The main window's labels, by what they say they are.
NUMBER, CLOCK = "Numero da completare", "Tempo restante"
# Roles by the library's constants: their names change between releases.
FRAME, DIALOG, ALERT, LABEL = pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT, pyatspi.ROLE_LABEL
TEXT, BUTTON = pyatspi.ROLE_TEXT, pyatspi.ROLE_PUSH_BUTTON
CUES = os.path.join(os.path.dirname(EXECUTABLE), "suoni")
RATE = 22050
# Below this a sample counts as silence, in the cue files and the recording alike.
QUIET = 200
# Silence longer than this ends a cue; the two beeps of the wrong cue are closer.
BETWEEN_CUES = int(0.25 * RATE)
TOLERANCE = int(0.010 * RATE)


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(probe, what, timeout=60, interval=0.03):
    """As wait(); objects vanish and appear while windows change, so AT-SPI errors
    only mean 'not yet'."""
    def attempt():
        try:
            return probe()
        except Failure:
            raise
        except Exception:  # GLib errors from objects that went away
            return None
    return wait(attempt, what, timeout, interval)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True, timeout=30).stdout


def has(acc, state):
    return acc.getState().contains(state)


def walk(acc):
    yield acc
    for child in acc:
        if child is not None:
            yield from walk(child)


class Program:
    """One run of the executable, seen through its accessibility tree."""

    def __init__(self, log_path):
        self.log_path = log_path
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([EXECUTABLE], stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
        self.app = wait_until(self._find_app, "the program on the accessibility bus")

    def _find_app(self):
        self.alive()
        return next((app for app in pyatspi.Registry.getDesktop(0) if app is not None
                     and app.get_process_id() == self.process.pid and app.childCount > 0), None)

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

    def message(self, what):
        """A message box, answered with Enter; the last box may end the program."""
        alert = wait_until(lambda: self.window(ALERT, TITLE), what)
        wait_until(lambda: any(b.getRole() == BUTTON and has(b, pyatspi.STATE_FOCUSED) for b in walk(alert)),
                   "a focused button in the box")
        xdotool("key", "Return")
        wait_until(lambda: self.process.poll() is not None or not self.window(ALERT, TITLE), "the box to close")

    def give_name(self, name):
        dialog = wait_until(lambda: self.window(DIALOG, TITLE), "the name prompt")
        field = wait_until(lambda: next((a for a in walk(dialog) if a.getRole() == TEXT
                                         and has(a, pyatspi.STATE_FOCUSED)), None), "the focused name field")
        xdotool("type", "--delay", "30", name)
        wait_until(lambda: field.queryText().getText(0, -1) == name, f"{name!r} in the name field")
        xdotool("key", "Return")
        self.message("the greeting")

    def label(self, description):
        """What the main window's label described so says."""
        found = [a.name for a in walk(self.frame()) if a.getRole() == LABEL and a.description == description]
        check(len(found) == 1, f"{len(found)} labels described as {description!r}")
        return found[0]

    def control(self, control_role, name):
        return wait_until(lambda: next((a for a in walk(self.frame()) if a.getRole() == control_role
                                        and a.name == name and has(a, pyatspi.STATE_SHOWING)), None), repr(name))

    def wait_question(self):
        """A question is open once the empty answer box has the focus; gives the number asked."""
        box = self.control(TEXT, "Il numero che viene dopo")
        wait_until(lambda: has(box, pyatspi.STATE_FOCUSED) and box.queryText().getText(0, -1) == "",
                   "the empty answer box to have the focus")
        return int(self.label(NUMBER)), box

    def answer(self, beyond):
        """Types the number asked plus `beyond` (1 is right) and Enter, as the box has the focus."""
        number, box = self.wait_question()
        typed = str(number + beyond)
        xdotool("type", "--delay", "30", typed)
        wait_until(lambda: box.queryText().getText(0, -1) == typed, f"{typed!r} in the answer box")
        xdotool("key", "Return")
        button = self.control(BUTTON, "Nuovo calcolo")
        wait_until(lambda: has(button, pyatspi.STATE_ENABLED) and has(button, pyatspi.STATE_FOCUSED),
                   "'Nuovo calcolo' enabled and focused after the verdict")


def ms(count):
    return f"{count * 1000 / RATE:.1f} ms"


def samples_of(path):
    """The samples of a WAV file, brought by sox to the cues' own rate, one channel."""
    command = ["sox", path, "-t", "raw", "-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed-integer", "-"]
    return array.array("h", subprocess.run(command, check=True, capture_output=True, timeout=60).stdout)


def stretches(samples):
    """(start, end) of the sounding stretches, parted by more than BETWEEN_CUES of silence."""
    loud = [i for i, value in enumerate(samples) if abs(value) >= QUIET]
    starts = [i for k, i in enumerate(loud) if k == 0 or i - loud[k - 1] > BETWEEN_CUES]
    ends = [i + 1 for k, i in enumerate(loud) if k == len(loud) - 1 or loud[k + 1] - i > BETWEEN_CUES]
    return list(zip(starts, ends))


def cue(name):
    samples = samples_of(os.path.join(CUES, name))
    found = stretches(samples)
    check(len(found) == 1, f"{name} is not one cue: {[ms(e - s) for s, e in found]}")
    return samples[found[0][0]:found[0][1]]


def heard(path, cues, what):
    """The lengths of the cues in the recording, which must be these, one after the other, each whole."""
    lengths = [end - start for start, end in stretches(samples_of(path))]
    check(len(lengths) == len(cues) and all(abs(n - len(c)) <= TOLERANCE for n, c in zip(lengths, cues)),
          f"{what}: heard {[ms(n) for n in lengths]}, the cues last {[ms(len(c)) for c in cues]}")


def foreign_share(samples, end, cue):
    """How much of the recording, over the cue ending about at `end`, is not that cue:
    near 0 when it plays alone, large when another sound is mixed into it."""
    def share(start):
        part = samples[start:start + len(cue)]
        dot = sum(p * c for p, c in zip(part, cue))
        return 1 - dot * dot / max(1, sum(p * p for p in part) * sum(c * c for c in cue))
    return min(share(end - len(cue) + shift) for shift in range(-40, 41))


FOLDER = os.environ["TMPDIR"]


@contextlib.contextmanager
def recording(name):
    """The sound server's monitor, recorded into FOLDER/name while the block runs."""
    path = os.path.join(FOLDER, name)
    recorder = subprocess.Popen(["parec", "-d", "null.monitor", "--file-format=wav", "--latency-msec=20", path],
                                stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # The recording must have begun before anything is played into it.
        wait_until(lambda: os.path.getsize(path) > 44 + 4410, "the monitor recording to start", interval=0.05)
        yield path
        # Whatever was played last is let finish.
        time.sleep(1.5)
    finally:
        recorder.terminate()
        recorder.wait(timeout=10)


def race(program, right, wrong):
    """First start on an empty folder, every cue heard; Exit stores the record."""
    program.give_name("Niccolò")
    wait_until(lambda: has(program.frame(), pyatspi.STATE_ACTIVE), "the main window, active")
    # The clock started before the window showed: a slow start may show it a second or two on.
    first = program.label(CLOCK)
    check(re.fullmatch(r"00:0[0-5]:[0-5][0-9]", first) and first <= "00:05:00", f"the clock shows {first} at first")
    wait_until(lambda: program.label(CLOCK) < first, f"the clock to go down from {first}")

    # Two wrong answers typed in one go: the second cue cuts the first off, so it
    # is heard alone from its start on.
    program.wait_question()
    with recording("cut.wav") as path:
        xdotool("key", "--delay", "40", "0", "Return", "Return", "0", "Return")
    samples = samples_of(path)
    found = stretches(samples)
    check(len(found) == 1 and len(wrong) + TOLERANCE < found[0][1] - found[0][0] < 2 * len(wrong),
          f"two quick wrong answers: heard {[ms(e - s) for s, e in found]}, not one cue cut off by the next")
    foreign = foreign_share(samples, found[0][1], wrong)
    check(foreign < 0.1, f"the first wrong cue went on under the second: {foreign:.2f} of its stretch is not it")

    # The session's sound server dies: three answers go unheard, and the program says
    # why once, not at every cue. Then another server starts in its place.
    os.kill(int(os.environ["CONTADOPO_SOUND_PID"]), signal.SIGKILL)
    xdotool("key", "alt+n")
    program.wait_question()
    xdotool("key", "--delay", "40", "0", "Return", "Return", "0", "Return", "Return", "0", "Return", "Return")
    program.wait_question()
    time.sleep(1.0)
    told = [line for line in open(program.log_path, "rb").read().splitlines() if line.startswith(b"Contadopo:")]
    check(len(told) == 1, f"without a sound server the program said {told!r}")
    session = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts/desktop-session.sh")
    subprocess.run(["bash", session, "--sound-server"], check=True, capture_output=True, timeout=60)
    with recording("again.wav") as path:
        # Once the program is back on the server, the next answers are heard; each cue is
        # let finish before the next answer, so each is heard alone.
        wait_until(lambda: "\tcontadopo" in subprocess.run(["pactl", "list", "short", "clients"], capture_output=True,
                                                           text=True, timeout=30).stdout, "the program back on the sound server")
        program.answer(2)
        time.sleep(1.2)
        xdotool("key", "Return")  # the focus is on the next-question button
        program.answer(1)
    heard(path, [wrong, right], "a wrong answer, then a right one, after the sound server came back")

    xdotool("key", "alt+x")
    program.message("the record box")
    wait_until(lambda: program.process.poll() is not None, "the program to end after the record box")
    check(program.process.returncode == 0, f"exit code {program.process.returncode} after the record box")
    stored = [open(os.path.join(RECORD_DIR, name), "rb").read() for name in ("suc000.txt", "nsuc000.txt")]
    check(stored == [b"1\r\n", "Niccolò\r\n".encode()], f"record files (score, name): {stored!r}")
    return f"two quick wrong answers heard as {ms(found[0][1] - found[0][0])}, {foreign:.2f} of its end not the later cue"


def main():
    shutil.rmtree(RECORD_DIR, ignore_errors=True)
    os.makedirs(RECORD_DIR)
    started, program = time.monotonic(), None
    try:
        for tool in ("xdotool", "parec", "sox"):
            check(shutil.which(tool), f"'{tool}' is missing (Debian: xdotool pulseaudio-utils sox)")
        right, wrong = cue("Esatto.wav"), cue("no.wav")
        check(abs(len(right) - len(wrong)) > 2 * TOLERANCE,
              f"the cue files last alike, {ms(len(right))} and {ms(len(wrong))}: their lengths cannot tell them apart")
        program = Program(os.path.join(FOLDER, "race.log"))
        cut = race(program, right, wrong)
        print(f"PASS race ({time.monotonic() - started:.1f}s); every cue heard whole: right {ms(len(right))}, "
              f"wrong {ms(len(wrong))}, after the sound server came back; {cut}")
        return 0
    except Exception as error:
        where = "" if isinstance(error, Failure) else f" (line {traceback.extract_tb(error.__traceback__)[-1].lineno})"
        print(f"FAIL race: {type(error).__name__}: {error}{where}")
        if program:
            program.stop()
            with open(program.log_path, "rb") as log:
                print("  program output:\n    " + "\n    ".join(log.read().decode(errors="replace").splitlines()[-10:]))
        return 1
    finally:
        if program:
            program.stop()


if __name__ == "__main__":
    sys.exit(main())
