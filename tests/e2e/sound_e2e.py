#!/usr/bin/python3
"""Listens to the real program's cues through a sound server of its own: a private
PulseAudio with a null sink, whose monitor is recorded while a child answers right
and wrong, then twice wrong in one go; then the server dies and comes back, and the
next cue must be heard.

Usage (inside the session run_e2e.sh prepares): sound_e2e.py EXECUTABLE RECORD_DIR
"""
import array
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import race_e2e as race
from race_e2e import Failure, check, wait_until

CUES = os.path.join(os.path.dirname(race.EXECUTABLE or ""), "suoni")
PLAYER = "Anna"
RATE = 22050
# Below this a sample counts as silence, in the cue files and the recording alike.
QUIET = 200
# Silence longer than this ends a cue; the two beeps of the wrong cue are closer.
BETWEEN_CUES = int(0.25 * RATE)
TOLERANCE = int(0.010 * RATE)


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
    return lengths


def foreign_share(samples, end, cue):
    """How much of the recording, over the cue ending about at `end`, is not that cue:
    near 0 when it plays alone, large when another sound is mixed into it."""
    def share(start):
        part = samples[start:start + len(cue)]
        dot = sum(p * c for p, c in zip(part, cue))
        return 1 - dot * dot / max(1, sum(p * p for p in part) * sum(c * c for c in cue))
    return min(share(end - len(cue) + shift) for shift in range(-40, 41))


class SoundServer:
    """A private PulseAudio with a null sink, started and stopped by its pid.

    The sink never rewinds: a rewind rewrites what a real card is about to play,
    but its monitor has already handed that stretch to the recorder as silence,
    and the start of a cue would go missing from the recording alone."""
    def __init__(self, folder):
        self.folder = folder
        self.env = dict(os.environ, XDG_RUNTIME_DIR=folder, HOME=folder, PULSE_SERVER=f"unix:{folder}/pulse/native")
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
             "-L", "module-null-sink norewinds=1", "-L", "module-native-protocol-unix"],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def answers():
            check(self.process.poll() is None, "the sound server exited at start")
            return subprocess.run(["pactl", "info"], env=self.env, capture_output=True, timeout=10).returncode == 0
        wait_until(answers, "the sound server to answer", timeout=20, interval=0.1)

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)

    @contextlib.contextmanager
    def recording(self, name):
        path = os.path.join(self.folder, name)
        recorder = subprocess.Popen(["parec", "-d", "null.monitor", "--file-format=wav", "--latency-msec=20", path],
                                    env=self.env, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # The recording must have begun before anything is played into it.
            wait_until(lambda: os.path.getsize(path) > 44 + 4410, "the monitor recording to start", interval=0.05)
            yield path
            # Whatever was played last is let finish.
            time.sleep(1.5)
        finally:
            recorder.terminate()
            recorder.wait(timeout=10)


def next_question(program):
    race.press("Return")
    return program.wait_question()


def main():
    work = tempfile.mkdtemp(prefix="sound-")
    server = SoundServer(work)
    program = None
    try:
        for tool in ("pulseaudio", "pactl", "parec", "sox"):
            check(shutil.which(tool), f"'{tool}' is missing (Debian: pulseaudio pulseaudio-utils sox)")
        right, wrong = cue("Esatto.wav"), cue("no.wav")
        check(abs(len(right) - len(wrong)) > 2 * TOLERANCE,
              f"the cue files last alike, {ms(len(right))} and {ms(len(wrong))}: their lengths cannot tell them apart")
        server.start()
        os.environ["PULSE_SERVER"] = server.env["PULSE_SERVER"]
        for name in os.listdir(race.RECORD_DIR):
            os.unlink(os.path.join(race.RECORD_DIR, name))
        program = race.Program(os.path.join(work, "program.log"))
        program.answer_message(program.give_name(PLAYER))
        program.wait_frame()

        # Each cue is let finish before the next answer, so each is heard alone.
        with server.recording("first.wav") as path:
            program.answer_right(PLAYER)
            time.sleep(1.2)
            number, _ = next_question(program)
            program.answer(str((number + 2) % 1000))
        first = heard(path, [right, wrong], "a right answer, then a wrong one")

        # Two wrong answers typed in one go: the second cue cuts the first off, so it
        # is heard alone from its start on.
        next_question(program)
        with server.recording("cut.wav") as path:
            race.xdotool("key", "--delay", "40", "0", "Return", "Return", "0", "Return")
        samples = samples_of(path)
        found = stretches(samples)
        check(len(found) == 1 and len(wrong) + TOLERANCE < found[0][1] - found[0][0] < 2 * len(wrong),
              f"two quick wrong answers: heard {[ms(e - s) for s, e in found]}, not one cue cut off by the next")
        start, end = found[0]
        foreign = foreign_share(samples, end, wrong)
        check(foreign < 0.1, f"the first wrong cue went on under the second: {foreign:.2f} of its stretch is not it")

        server.kill()
        next_question(program)
        time.sleep(1.0)
        server.start()
        with server.recording("again.wav") as path:
            # Reconnecting is tried once a second: the next answer a moment later is heard.
            time.sleep(2.5)
            program.answer_right(PLAYER)
        again = heard(path, [right], "a right answer after the sound server came back")
        program.alive()
        print(f"PASS sound: files right {ms(len(right))}, wrong {ms(len(wrong))}; heard right {ms(first[0])}, wrong "
              f"{ms(first[1])}, two quick wrong {ms(end - start)} ({foreign:.2f} of its end not the later cue), "
              f"right after the server came back {ms(again[0])}")
        return 0
    except Failure as error:
        print(f"FAIL sound: {error}", flush=True)
        if program:
            subprocess.run(["tail", "-c", "2000", program.log_path])
        return 1
    finally:
        if program:
            program.stop()
        server.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
