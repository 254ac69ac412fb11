#!/usr/bin/python3
"""The page's figures beside its floors, in Debian's Chromium, headless. Prints a table.

  prompt   navigation to the first drawing of the name prompt (the page's own clock,
           performance.now() at Qt's first putImageData into the prompt's canvas), in a
           fresh profile (nothing cached) and on a reload (the browser's caches warm)
  size     each page's .wasm and the whole folder, raw, gzip -9 and brotli
  memory   the WebAssembly memory and the JavaScript heap: the program after a race of
           ANSWERS answers ended with Exit, the floors with their prompt shown
  cue      Enter's keydown to the cue's start() on the page's clock, and what the audio
           context reports as its own output latency on top

Usage: measure.py SITE FLOORS [RUNS]
"""
import gzip
import os
import statistics
import subprocess
import sys
import tempfile
import shutil
import time

sys.path[:0] = [os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests", part) for part in ("web", "")]
import browser  # noqa: E402
from polling import wait  # noqa: E402

SITE, FLOORS = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
ANSWERS = 20
EXIT = (580, 412)
PAGES = [("program", SITE, ""), ("floor (exec, Asyncify)", FLOORS, "floor.html"),
         ("floor (show, no Asyncify)", FLOORS, "floor_plain.html"), ("floor (exec, JSPI)", FLOORS, "floor_jspi.html")]
PAGES = [p for p in PAGES if os.path.exists(os.path.join(p[1], (os.path.splitext(p[2])[0] or "contadopo") + ".wasm"))]


def first_paint(driver):
    return wait(lambda: driver.execute_script(
        "const p = Object.values(__seen.painted); return p.length ? Math.min(...p) : null"), "the prompt drawn")


def memory(driver):
    return driver.execute_script(
        "return [__seen.memory ? __seen.memory.buffer.byteLength : 0, performance.memory.usedJSHeapSize]")


def race(driver):
    """Name, greeting, ANSWERS answers (the first few right is not needed: '0' is wrong
    for every number shown), then Exit and its two boxes; returns the cue onsets."""
    browser.type_keys(driver, "Bench", browser.ENTER)
    time.sleep(1)
    browser.type_keys(driver, browser.ENTER)
    main = wait(lambda: next((w for w in browser.windows(driver) if w["maximized"]), None), "the window")
    time.sleep(1)
    for _ in range(ANSWERS):
        heard = len(driver.execute_script("return __seen.cues"))
        browser.type_keys(driver, "0", browser.ENTER)
        wait(lambda: len(driver.execute_script("return __seen.cues")) > heard, "a cue")
        browser.type_keys(driver, browser.ENTER)
        time.sleep(0.2)
    browser.click(driver, main["id"], *EXIT)
    for _ in range(2):
        time.sleep(1)
        browser.type_keys(driver, browser.ENTER)
    time.sleep(1)
    seen = driver.execute_script("return __seen")
    onsets = []
    for cue in seen["cues"]:
        before = [t for t in seen["enter"] if t <= cue["at"]]
        if before:
            onsets.append((cue["at"] - before[-1], cue["latency"] * 1000))
    return onsets


def measure(name, folder, page):
    server, url = browser.serve(folder)
    fresh, warm, mem, onsets = [], [], None, []
    try:
        for run in range(RUNS):
            profile = tempfile.mkdtemp(prefix="contadopo-bench-")
            driver = browser.chromium(profile, extra=("--enable-precise-memory-info",))
            try:
                browser.load(driver, url + page)
                fresh.append(first_paint(driver))
                driver.refresh()
                warm.append(first_paint(driver))
                if run == 0:
                    if name == "program":
                        onsets = race(driver)
                    else:
                        time.sleep(1)
                    mem = memory(driver)
            finally:
                driver.quit()
                shutil.rmtree(profile, ignore_errors=True)
    finally:
        server.shutdown()
    return fresh, warm, mem, onsets


def sizes(folder, names):
    raw = gz = br = 0
    for n in names:
        data = open(os.path.join(folder, n), "rb").read()
        raw += len(data)
        gz += len(gzip.compress(data, 9))
        br += len(subprocess.run(["brotli", "-c"], input=data, capture_output=True, check=True).stdout)
    return raw, gz, br


def spread(values):
    return f"{statistics.median(values):7.0f} ms (min {min(values):.0f}, max {max(values):.0f})"


def main():
    results = {}
    for name, folder, page in PAGES:
        try:
            results[name] = measure(name, folder, page)
        except AssertionError as e:
            print(f"{name}: {e}")
    if "program" not in results or "floor (exec, Asyncify)" not in results:
        sys.exit(1)
    print(f"Chromium headless, {RUNS} runs each; median (min, max)")
    print(f"{'':28}{'prompt, fresh profile':36}{'prompt, reload':36}")
    for name, (fresh, warm, mem, _) in results.items():
        print(f"{name:28}{spread(fresh):36}{spread(warm):36}")
    floor = statistics.median(results["floor (exec, Asyncify)"][0])
    print(f"program / floor (fresh): {statistics.median(results['program'][0]) / floor:.2f}x (aim: 1.1x at most)")
    mb = 1024 * 1024
    print("\nsize                         .wasm raw / gzip / brotli        whole folder raw / gzip / brotli")
    for name, folder, page in PAGES:
        if name not in results:
            continue
        stem = os.path.splitext(page)[0] if page else "contadopo"
        wasm = sizes(folder, [stem + ".wasm"])
        site = sizes(folder, [stem + ".wasm", stem + ".js", "qtloader.js"] + ([page] if page else ["index.html", "favicon.ico"]))
        print(f"{name:28} " + " / ".join(f"{v / mb:5.2f}" for v in wasm) + " MB       "
              + " / ".join(f"{v / mb:5.2f}" for v in site) + " MB")
    print("\nmemory                       WebAssembly memory   JavaScript heap")
    for name, (_, _, mem, _) in results.items():
        print(f"{name:28} {mem[0] / mb:8.1f} MB {mem[1] / mb:15.1f} MB")
    onsets = results["program"][3]
    if onsets:
        late = [o for o, _ in onsets]
        print(f"\ncue onset over {len(late)} answers: Enter to start() {spread(late)}; "
              f"the context's own output latency adds {statistics.median(l for _, l in onsets):.1f} ms")


if __name__ == "__main__":
    main()
