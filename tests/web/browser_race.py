#!/usr/bin/python3
"""Plays a race on the page in Debian's Chromium, headless: types a name, answers one
right and one wrong, checks each verdict, its cue and the counters, ends the race with
Exit, reloads and finds the record kept. A second tab, started before that record was
saved, scores the same and ends later: its save must not take the record over. The
window is read as a screen reader reads it, from the page's accessibility tree. Any
error in the browser's console fails it. Screenshots are left in SHOTS.

Usage: browser_race.py SITE SHOTS
"""
import os
import shutil
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]
import browser  # noqa: E402
from polling import wait  # noqa: E402

SITE, SHOTS = sys.argv[1], sys.argv[2]
NAME = "Anna"
# Exit, in the window's pixels (the menu bar included).
EXIT = (580, 412)
NUMBER, VERDICT = "Numero da completare", "Esito della risposta"


# Each cue's length in seconds, which tells them apart as the page starts them.
CUES = {verdict: (lambda w: w.getnframes() / w.getframerate())(wave.open(os.path.join(HERE, "../../resources/suoni", f)))
        for verdict, f in (("right", "Esatto.wav"), ("wrong", "no.wav"))}


class Race:
    shot = 0

    def __init__(self, driver, url, tab=False):
        self.driver = driver
        browser.load(driver, url, tab)
        self.tab = driver.current_window_handle

    def screenshot(self, name):
        Race.shot += 1
        self.driver.save_screenshot(os.path.join(SHOTS, f"{Race.shot:02d}-{name}.png"))

    def told(self, what, fits):
        """Waits until what a screen reader is told of the topmost window fits; gives it."""
        return wait(lambda: (lambda told: told if fits(told) else None)(browser.reader(self.driver)), what)

    def dialog_saying(self, *words):
        """Waits for a dialog over the page that says all the words."""
        said = lambda told: NUMBER not in told and all(w.lower() in " ".join(told.values()).lower() for w in words)
        self.told(f"a dialog saying {words}", said)
        self.screenshot("dialog")

    def start(self, name, *greeting):
        """Types the name as soon as the prompt is drawn, and takes the greeting."""
        self.driver.switch_to.window(self.tab)
        wait(lambda: self.driver.execute_script("return Object.keys(__seen.painted).length"), "the name prompt drawn")
        browser.reader(self.driver)  # as a screen reader does, before the windows it will read are shown
        browser.type_keys(self.driver, name, browser.ENTER)
        self.dialog_saying(name, *greeting)
        browser.type_keys(self.driver, browser.ENTER)

    def exit(self, *then):
        """Exit: the goodbye, then what is said of the record; the page stays."""
        browser.click(self.driver, self.main_window()["id"], *EXIT)
        for words in (("Ciao", "prossima"), then):
            self.dialog_saying(*words)
            browser.type_keys(self.driver, browser.ENTER)

    def main_window(self):
        return wait(lambda: next((w for w in browser.windows(self.driver) if w["maximized"]), None), "the window")

    def answer(self, beyond):
        """Answers the open question with the number asked plus `beyond` (1 is right);
        returns the verdict shown ("right" or "wrong"), checked against the cue the page
        started, and the window as told after it."""
        number = int(self.told("an open question", lambda t: t.get(NUMBER) and t.get(VERDICT) == "")[NUMBER])
        heard = len(self.driver.execute_script("return __seen.cues"))
        browser.type_keys(self.driver, str(number + beyond), browser.ENTER)
        told = self.told("a verdict", lambda t: t.get(VERDICT))
        verdict = "right" if told[VERDICT].startswith("Esatto") else "wrong"
        started = wait(lambda: self.driver.execute_script("return __seen.cues")[heard:], f"the {verdict} cue")
        assert abs(started[0]["seconds"] - CUES[verdict]) < 0.01, f"heard {started}, not the {verdict} cue"
        print(f"  {number} then {number + beyond}: {told[VERDICT]!r}, {verdict} cue")
        return verdict, told


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
        assert other.answer(1)[0] == "right"
        errors += console_errors(driver)

        race.start(NAME, "campione")
        verdict, told = race.answer(1)
        assert verdict == "right" and told["Risposte esatte"] == "1", f"after a right answer: {told}"
        browser.type_keys(driver, browser.ENTER)  # Nuovo calcolo
        verdict, told = race.answer(2)
        counted = [told[k] for k in ("Risposte esatte", "Risposte errate", "Risposte totali")]
        race.screenshot("race")
        assert verdict == "wrong" and counted == ["1", "1", "2"], f"after a wrong answer: {told}"
        race.told("the clock going down", lambda t: "00:00:00" < t.get("Tempo restante", "") < "00:05:00")
        race.exit("registrato", "record")
        errors += console_errors(driver)

        # The other tab ends later, its score no better.
        driver.switch_to.window(other.tab)
        other.exit("intanto", NAME)
        driver.refresh()
        other.start("Bruno")
        told = other.told("the kept record", lambda t: t.get("Nome del campione"))
        other.screenshot("after-reload")
        # Shown as the files hold them, line break and all.
        assert (told["Nome del campione"].strip(), told["Punti del record"].strip()) == (NAME, "1"), f"record: {told}"
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
