#!/usr/bin/python3
"""Plays a race on the page in Debian's Chromium, headless: types a name, answers one
right and one wrong, checks each verdict, its cue and the counters, ends the race with
Exit, reloads and finds the record kept. A second tab, started before that record was
saved, scores the same and ends later: its save must not take the record over. Any
error in the browser's console fails it. Screenshots are left in SHOTS.

Usage: browser_race.py SITE SHOTS
"""
import os
import re
import shutil
import sys
import tempfile
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

SITE, SHOTS = sys.argv[1], sys.argv[2]
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NAME = "Anna"
# Where the window puts what is read here, in its pixels (the menu bar included):
# (x, y, width, height), and the colour it is drawn in.
NUMBER = (170, 34, 160, 104)
VERDICT = (100, 150, 620, 60)
COUNTERS = {"right": ((74, 298, 24, 51), "#000000"), "wrong": ((324, 298, 24, 51), "#ff0000"),
            "total": ((556, 298, 24, 51), "#0000ff")}
RECORD = (0, 520, 900, 50)
EXIT = (580, 412)


# Each cue's length in seconds, which tells them apart as the page starts them.
CUES = {verdict: (lambda w: w.getnframes() / w.getframerate())(wave.open(os.path.join(SOURCE, "resources/suoni", f)))
        for verdict, f in (("right", "Esatto.wav"), ("wrong", "no.wav"))}


class Race:
    shot = 0

    def __init__(self, driver, url, tab=False):
        self.driver = driver
        browser.load(driver, url, tab)
        self.tab = driver.current_window_handle

    def screenshot(self, name):
        Race.shot += 1
        path = os.path.join(SHOTS, f"{Race.shot:02d}-{name}.png")
        self.driver.save_screenshot(path)
        return path

    def dialog_saying(self, *words):
        """Waits for a dialog over the page that says all the words."""
        def says():
            shown = browser.windows(self.driver)
            if not shown or shown[-1]["maximized"]:
                return None
            text = browser.ocr(self.screenshot("dialog"))
            return text if all(w.lower() in text.lower() for w in words) else None
        return browser.wait(says, f"a dialog saying {words}")

    def start(self, name, *greeting):
        """Types the name as soon as the prompt shows, and takes the greeting."""
        self.driver.switch_to.window(self.tab)
        self.dialog_saying("Come ti chiami")
        browser.type_keys(self.driver, name, browser.ENTER)
        self.dialog_saying(name, *greeting)
        browser.type_keys(self.driver, browser.ENTER)

    def answer_right(self):
        """Reading the number off the window can fail: then the answer is wrong (on
        purpose where nothing could be read) and the next is tried (six at most).
        Returns the wrong ones and the number."""
        wrong, number = 0, self.number()
        while self.answer(str(number + 1) if number is not None else "0") == "wrong":
            wrong += 1
            assert wrong < 6, "six numbers read wrong in a row"
            browser.type_keys(self.driver, browser.ENTER)  # Nuovo calcolo
            number = self.number(other_than=number)
        return wrong, number

    def exit(self, *then):
        """Exit: the goodbye, then what is said of the record; the page stays."""
        browser.click(self.driver, self.main_window()["id"], *EXIT)
        for words in (("Ciao", "prossima"), then):
            self.dialog_saying(*words)
            browser.type_keys(self.driver, browser.ENTER)

    def main_window(self):
        return browser.wait(lambda: next((w for w in browser.windows(self.driver) if w["maximized"]), None), "the window")

    def read(self, where, **how):
        png = browser.canvas_png(self.driver, self.main_window()["id"], os.path.join(SHOTS, "window.png"))
        return browser.ocr(png, crop=where, **how)

    def number(self, other_than=None):
        # The "+" sign is drawn over the number's last digit: its gaps are closed first.
        read = lambda: self.read(NUMBER, ink="#0000ff", digits=True, mend="Rectangle:1x9")
        try:
            return int(browser.wait(lambda: (lambda n: n if n and n != other_than else None)(read()), "a number", 15))
        except AssertionError:
            return None

    def answer(self, text):
        """Types an answer; returns the verdict shown ("right" or "wrong"), checked
        against the cue the page started."""
        heard = len(self.driver.execute_script("return __seen.cues"))
        browser.type_keys(self.driver, text, browser.ENTER)
        said = browser.wait(lambda: (lambda t: t if "esatto" in t.lower() or "sbagliato" in t.lower() else None)(
            self.read(VERDICT, ink="#ff0000")), "a verdict")
        verdict = "right" if "esatto" in said.lower() else "wrong"
        started = browser.wait(lambda: self.driver.execute_script("return __seen.cues")[heard:], f"the {verdict} cue")
        assert abs(started[0]["seconds"] - CUES[verdict]) < 0.01, f"heard {started}, not the {verdict} cue"
        print(f"  answer {text}: {said!r}, {verdict} cue")
        return verdict

    def counters(self, *which):
        return {k: self.read(COUNTERS[k][0], ink=COUNTERS[k][1], digits="one") for k in which}


def console_errors(driver):
    return [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]


def main():
    shutil.rmtree(SHOTS, ignore_errors=True)
    os.makedirs(SHOTS)
    server, url = browser.serve(SITE)
    profile = tempfile.mkdtemp(prefix="contadopo-chromium-")
    driver = browser.chromium(profile)
    errors = []
    try:
        race = Race(driver, url)
        other = Race(driver, url, tab=True)
        other.start("Bruno")
        other.answer_right()
        errors += console_errors(driver)

        race.start(NAME, "campione")
        wrong, number = race.answer_right()
        # Black on the gradient; after a wrong answer the surface is black too.
        assert race.counters("right") == {"right": "1"}, f"right answers: {race.counters('right')}"
        browser.type_keys(driver, browser.ENTER)
        race.number(other_than=number)
        assert race.answer("0") == "wrong"  # no number from 0 to 999 is followed by 0
        wrong += 1
        counted = race.counters("wrong", "total")
        race.screenshot("race")
        assert counted == {"wrong": str(wrong), "total": str(wrong + 1)}, f"counters: {counted}"
        race.exit("registrato", "record")
        errors += console_errors(driver)

        # The other tab ends later, its score no better.
        driver.switch_to.window(other.tab)
        other.exit("intanto", NAME)
        driver.refresh()
        other.start("Bruno")
        record = browser.wait(lambda: (lambda t: t if NAME in t else None)(other.read(RECORD, ink="#ffff00")), "the kept record")
        other.screenshot("after-reload")
        assert re.search(rf"{NAME}.*\b1\b", record), f"record line: {record!r}"
        errors += console_errors(driver)
    finally:
        driver.quit()
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)
    if errors:
        raise AssertionError("errors in the browser's console:\n" + "\n".join(e["message"] for e in errors))
    print("browser race: passed")


if __name__ == "__main__":
    main()
