#!/usr/bin/python3
"""Listens to the real program's cues through a sound server of its own: a private
PulseAudio with a null sink, whose monitor is recorded while a child answers right
and wrong, then twice wrong in one go; then the server dies and comes back, and the
next cue must be heard.

Usage (inside the session run_e2e.sh prepares): sound_e2e.py EXECUTABLE RECORD_DIR
"""
import array
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import wave

import race_e2e as race
from race_e2e import Failure, check, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
CUES = os.path.join(os.path.dirname(os.path.abspath(race.EXECUTABLE or "")), "suoni")
RIGHT_CUE = os.path.join(CUES, "Esatto.wav")
WRONG_CUE = os.path.join(CUES, "no.wav")
PLAYER = "Anna"

RATE = 22050
# Below this a sample counts as silence, in the cue files and the recording alike.
QUIET = 200
# Silence longer than this ends a cue; the two beeps of the wrong cue are closer.
BETWEEN_CUES_S = 0.25
# Silence longer than this splits a cue into beeps.
BETWEEN_BEEPS_S = 0.03
LENGTH_TOLERANCE_S = 0.010


def sound_segments(samples, gap_s):
    """(start, end) in seconds of the sounding stretches parted by more than gap_s of silence."""
    gap = int(gap_s * RATE)
    segments = []
    start = last = None
    for i, value in enumerate(samples):
        if abs(value) < QUIET:
            continue
        if start is None:
            start = i
        elif i - last > gap:
            segments.append((start / RATE, (last + 1) / RATE))
            start = i
        last = i
    if start is not None:
        segments.append((start / RATE, (last + 1) / RATE))
    return segments


def read_mono(path):
    """The samples of a WAV file, brought by sox to the cues' own rate, one channel."""
    converted = path + ".mono.wav"
    subprocess.run(["sox", path, "-r", str(RATE), "-c", "1", "-b", "16", converted], check=True, timeout=60)
    with wave.open(converted) as w:
        return array.array("h", w.readframes(w.getnframes()))


class Sound:
    """One cue, in its file or in a recording: its length, its beeps, its samples."""
    def __init__(self, samples, start, end, name=""):
        self.name, self.length = name, end - start
        self.sound = samples[int(start * RATE):int(end * RATE) + 1]
        self.beeps = len(sound_segments(self.sound, BETWEEN_BEEPS_S))

    def __repr__(self):
        return f"{self.length * 1000:.1f} ms, {self.beeps} beep(s)"


def cue(name, path):
    samples = read_mono(path)
    whole = sound_segments(samples, BETWEEN_CUES_S)
    check(len(whole) == 1, f"{path} is not one cue: {whole}")
    return Sound(samples, *whole[0], name)


class SoundServer:
    """A private PulseAudio with a null sink, started and stopped by its pid.

    The sink never rewinds: a rewind rewrites what a real card is about to play,
    but its monitor has already handed that stretch to the recorder as silence,
    and the start of a cue would go missing from the recording alone."""
    def __init__(self, folder):
        self.folder = folder
        self.socket = os.path.join(folder, "pulse", "native")
        self.process = None
        self.recorder = None

    def env(self):
        env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, HOME=self.folder)
        env["PULSE_SERVER"] = "unix:" + self.socket
        return env

    def start(self):
        if os.path.exists(self.socket):
            os.unlink(self.socket)
        self.log = open(os.path.join(self.folder, "pulseaudio.log"), "ab")
        self.process = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
             "-L", "module-null-sink norewinds=1", "-L", "module-native-protocol-unix"],
            env=self.env(), stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)

        def answers():
            check(self.process.poll() is None, "the sound server exited at start")
            return subprocess.run(["pactl", "info"], env=self.env(), capture_output=True,
                                  timeout=10).returncode == 0
        wait_until(answers, "the sound server to answer", timeout=20, interval=0.1)

    def kill(self):
        if self.process and self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGKILL)
            self.process.wait(timeout=10)
        self.process = None

    def record(self, path):
        self.recorder = subprocess.Popen(
            ["parec", "-d", "null.monitor", "--file-format=wav", "--latency-msec=20", path],
            env=self.env(), stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The recording must have begun before anything is played into it.
        wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 44 + 4410,
                   "the monitor recording to start", interval=0.05)

    def stop_recording(self):
        self.recorder.send_signal(signal.SIGINT)
        self.recorder.wait(timeout=10)
        self.recorder = None


def heard_cues(path):
    samples = read_mono(path)
    return [Sound(samples, start, end) for start, end in sound_segments(samples, BETWEEN_CUES_S)]


def alone_share(samples, end, cue):
    """How much of the recording, over the cue ending at `end`, is not that cue: near 0
    when it plays alone, large when another sound is mixed into it."""
    n = len(cue.sound)
    energy = sum(x * x for x in cue.sound[::2])
    best = None
    for start in range(int(end * RATE) - n - 40, int(end * RATE) - n + 40):
        if start < 0:
            continue
        score = sum(samples[start + k] * cue.sound[k] for k in range(0, n, 2))
        if best is None or score > best[0]:
            best = (score, start)
    scale = best[0] / energy
    part = samples[best[1]:best[1] + n]
    rest = sum((part[k] - scale * cue.sound[k]) ** 2 for k in range(n))
    return rest / max(1.0, sum(x * x for x in part))


def check_heard(heard, cue, what):
    check(abs(heard.length - cue.length) <= LENGTH_TOLERANCE_S,
          f"{what}: heard {heard.length * 1000:.1f} ms, the {cue.name} cue lasts {cue.length * 1000:.1f} ms")
    check(heard.beeps == cue.beeps,
          f"{what}: heard {heard.beeps} beep(s), the {cue.name} cue has {cue.beeps}")


def next_question(program):
    race.press("Return")
    return program.wait_question()


def main():
    for tool in ("pulseaudio", "pactl", "parec", "sox"):
        check(shutil.which(tool) is not None, f"'{tool}' is missing (Debian: pulseaudio pulseaudio-utils sox)")
    work = tempfile.mkdtemp(prefix="sound-")
    folder = os.path.join(work, "runtime")
    os.mkdir(folder, 0o700)
    right, wrong = cue("right", RIGHT_CUE), cue("wrong", WRONG_CUE)
    check(right.beeps != wrong.beeps, f"the two cue files cannot be told apart: {right.beeps} beep(s) each")

    server = SoundServer(folder)
    program = None
    try:
        server.start()
        os.environ["PULSE_SERVER"] = server.env()["PULSE_SERVER"]
        for name in os.listdir(race.RECORD_DIR):
            os.unlink(os.path.join(race.RECORD_DIR, name))
        program = race.Program(os.path.join(work, "program.log"))
        program.answer_message(program.give_name(PLAYER))
        program.wait_frame()

        first = os.path.join(work, "first.wav")
        server.record(first)
        # Each cue is let finish before the next answer, so each is heard alone.
        program.answer_right(PLAYER)
        time.sleep(1.2)
        number, _ = next_question(program)
        program.answer(str((number + 2) % 1000))
        time.sleep(1.2)
        server.stop_recording()
        heard = heard_cues(first)
        check(len(heard) == 2, f"expected the right then the wrong cue, heard {heard}")
        check_heard(heard[0], right, "first answer, right (the first cue played)")
        check_heard(heard[1], wrong, "second answer, wrong")
        first_heard = heard

        # Two wrong answers typed in one go: the second cue cuts the first off, so from
        # its start on the second is heard alone.
        next_question(program)
        cut = os.path.join(work, "cut.wav")
        server.record(cut)
        race.xdotool("key", "--delay", "40", "0", "Return", "Return", "0", "Return")
        time.sleep(1.5)
        server.stop_recording()
        samples = read_mono(cut)
        heard = sound_segments(samples, BETWEEN_CUES_S)
        check(len(heard) == 1, f"two quick wrong answers: expected one stretch of sound, heard {heard}")
        start, end = heard[0]
        check(end - start < 2 * wrong.length - 0.05,
              f"two quick wrong answers: the cues did not overlap ({(end - start) * 1000:.1f} ms)")
        overlap_share = alone_share(samples, end, wrong)
        check(overlap_share < 0.1, f"the first wrong cue went on under the second: {overlap_share:.2f} "
              "of the second cue's stretch is something else")

        server.kill()
        next_question(program)
        time.sleep(1.0)
        server.start()
        again = os.path.join(work, "again.wav")
        server.record(again)
        # Reconnecting is tried once a second: the next answer a moment later is heard.
        time.sleep(2.5)
        program.answer_right(PLAYER)
        time.sleep(1.2)
        server.stop_recording()
        heard = heard_cues(again)
        check(len(heard) == 1, f"after the sound server came back, expected the right cue, heard {heard}")
        check_heard(heard[0], right, "right answer after the server restarted")
        program.alive()
        print(f"PASS sound: in the files right {right.length * 1000:.1f} ms, wrong {wrong.length * 1000:.1f} ms; "
              f"heard right {first_heard[0]}, wrong {first_heard[1]}; a cue cut off by the next "
              f"({overlap_share:.2f} of the later one not its own); after the server restarted right {heard[0]}")
        return 0
    except Failure as error:
        print(f"FAIL sound: {error}")
        if program:
            program.stop()
            with open(program.log_path, "rb") as log:
                sys.stdout.write(log.read().decode(errors="replace")[-2000:])
        return 1
    except Exception:
        print("FAIL sound: unexpected error")
        traceback.print_exc()
        return 1
    finally:
        if program and program.process.poll() is None:
            program.stop()
        if server.recorder:
            server.recorder.kill()
        server.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
