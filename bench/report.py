#!/usr/bin/python3
"""Turns the key=value files one bench run left in a folder into the table and the
closing summary line. Every number comes from those files; nothing is assumed.

Usage: report.py RESULTS_DIR [SECONDS_SO_FAR]
"""
import glob
import os
import statistics
import sys

# Targets we hold the program to.
STARTUP_MAX_RATIO = 1.05
COLD_STARTUP_MAX_RATIO = 1.15
CUE_ONSET_MAX_MS = 30.0
ANSWER_MAX_MS = 4.0
RSS_MAX_OVER_FLOOR_MB = 15.0
# One page per race: what a race may add and still count as no growth.
GROWTH_MAX_KB_PER_RACE = 4.0
IDLE_MAX_PCT = 0.5


def read(path):
    values = {}
    with open(path) as f:
        for line in f:
            key, sep, value = line.strip().partition("=")
            if sep:
                values.setdefault(key, []).append(value)
    return values


def one(values, key, path):
    if key not in values:
        sys.exit(f"report: {path} has no {key}")
    return values[key][0]


def runs(results, pattern, key):
    paths = sorted(glob.glob(os.path.join(results, pattern)))
    if not paths:
        sys.exit(f"report: no {pattern} in {results}")
    return [float(one(read(p), key, p)) for p in paths]


def cue_onsets(results):
    """Enter to the first sample of the cue it brought, in ms; each cue belongs to the
    last Enter before it, and an Enter with none before the next is a cue not heard."""
    answers_path = os.path.join(results, "cue-answers.txt")
    enters = [int(x) for x in read(answers_path).get("answer_enter_ns", [])]
    if not enters:
        sys.exit(f"report: {answers_path} has no answer_enter_ns")
    heard = sorted(int(x) for x in read(os.path.join(results, "cue-onsets.txt")).get("onset_ns", []))
    onsets = []
    for n, enter in enumerate(enters):
        until = enters[n + 1] if n + 1 < len(enters) else enter + 2_000_000_000
        after = [t for t in heard if enter <= t < until]
        if after:
            onsets.append((after[0] - enter) / 1e6)
    return onsets, len(enters)


def spread(samples):
    return statistics.median(samples), min(samples), max(samples), len(samples)


def verdict(ok):
    return "PASS" if ok else "MISS"


def main():
    results = sys.argv[1]

    ours_a = spread(runs(results, "startup-ours-*.txt", "first_window_ms"))
    ours_b = spread(runs(results, "startup-ours-*.txt", "first_question_ms"))
    floor_a = spread(runs(results, "startup-floor-*.txt", "first_window_ms"))
    floor_hwm = spread([kb / 1024 for kb in runs(results, "floor-window-*.txt", "shown_hwm_kb")])
    cold = None
    if glob.glob(os.path.join(results, "cold-ours-*.txt")):
        cold = (spread(runs(results, "cold-ours-*.txt", "first_window_ms")),
                spread(runs(results, "cold-floor-*.txt", "first_window_ms")))
    onsets, answers = cue_onsets(results)
    ours_shown = spread([kb / 1024 for kb in runs(results, "startup-ours-*.txt", "question_hwm_kb")])
    sizes = {one(read(p), "main_size", p) for p in glob.glob(os.path.join(results, "startup-ours-*.txt"))}

    inproc_path = os.path.join(results, "inprocess.txt")
    inproc = read(inproc_path)

    def timing(key):
        median, low, high, count = (float(x) for x in one(inproc, key, inproc_path).split(","))
        return median, low, high, int(count)

    right = timing("answer_right_ms")
    wrong = timing("answer_wrong_ms")
    question = timing("question_ms")
    window = one(inproc, "window", inproc_path)

    race_hwm = {n: spread([kb / 1024 for kb in runs(results, "race-*.txt", f"race{n}_hwm_kb")]) for n in (100, 200, 300)}
    race_rss = {n: spread([kb / 1024 for kb in runs(results, "race-*.txt", f"race{n}_rss_kb")]) for n in (100, 200, 300)}

    def per_race(values, path):
        numbers = sorted(int(k[4:-7]) for k in values if k.startswith("race") and k.endswith("_rss_kb"))
        if len(numbers) < 4:
            sys.exit(f"report: {path} has fewer than 4 races")
        kb = [float(one(values, f"race{n}_rss_kb", path)) for n in numbers]
        heap = [float(one(values, f"race{n}_heap_kb", path)) for n in numbers]
        # Qt's font, glyph and cursor caches settle over the first races; growth is
        # judged over the second half, where a leak would still show and warm-up does not.
        half = len(kb) // 2
        return kb, (kb[-1] - kb[half]) / (len(kb) - 1 - half), (heap[-1] - heap[half]) / (len(heap) - 1 - half)

    per_race_kb, growth_kb, heap_growth_kb = per_race(inproc, inproc_path)
    widgets = [one(inproc, f"race{n + 1}_widgets", inproc_path) for n in range(len(per_race_kb))]
    cleared_path = os.path.join(results, "inprocess-cleared.txt")
    cleared_kb, cleared_growth_kb, cleared_heap_kb = per_race(read(cleared_path), cleared_path)

    idle_path = os.path.join(results, "idle.txt")
    idle = read(idle_path)
    idle_pct = float(one(idle, "idle_pct", idle_path))
    idle_slices = spread([float(x) for x in idle["idle_slice_pct"]])
    idle_wall = float(one(idle, "idle_wall_s", idle_path))

    startup_ratio = ours_a[0] / floor_a[0]
    cold_ratio = cold[0][0] / cold[1][0] if cold else None
    if not onsets:
        sys.exit("report: not one cue was heard at the sound server's monitor")
    cue = spread(onsets)
    answer_ms = max(right[0], wrong[0])
    rss_over = race_hwm[100][0] - floor_hwm[0]

    rows = []

    def row(name, s, unit, floor, ratio, target, ok):
        median, low, high, count = s
        fmt = "{:.2f}"
        rows.append([name, fmt.format(median), fmt.format(low), fmt.format(high), str(count), unit,
                     floor, ratio, target, verdict(ok) if ok is not None else "-"])

    row("start-up (a): exec to name prompt painted", ours_a, "ms", f"{floor_a[0]:.2f}",
        f"{startup_ratio:.2f}x", f"<= {STARTUP_MAX_RATIO}x floor", startup_ratio <= STARTUP_MAX_RATIO)
    row("  floor: exec to its name prompt painted", floor_a, "ms", "", "", "", None)
    if cold:
        row("start-up, page cache dropped: exec to name prompt", cold[0], "ms", f"{cold[1][0]:.2f}",
            f"{cold_ratio:.2f}x", f"<= {COLD_STARTUP_MAX_RATIO}x floor", cold_ratio <= COLD_STARTUP_MAX_RATIO)
        row("  floor, page cache dropped", cold[1], "ms", "", "", "", None)
    else:
        rows.append(["start-up, page cache dropped: skipped (needs root)"] + [""] * 8 + ["-"])
    row("start-up (b): greeting closed to 1st question painted", ours_b, "ms", "n/a", "n/a",
        "(no floor)", None)
    row(f"answer, right (Enter to verdict+counters), {window}", right, "ms", "n/a", "n/a",
        f"< {ANSWER_MAX_MS:g} ms", right[0] < ANSWER_MAX_MS)
    row(f"answer, wrong (+ black surface), {window}", wrong, "ms", "n/a", "n/a",
        f"< {ANSWER_MAX_MS:g} ms", wrong[0] < ANSWER_MAX_MS)
    row(f"new question (number + gradient), {window}", question, "ms", "n/a", "n/a",
        f"< {ANSWER_MAX_MS:g} ms", question[0] < ANSWER_MAX_MS)
    row(f"cue: Enter to its first sample at the monitor ({len(onsets)}/{answers} heard)", cue, "ms", "n/a", "n/a",
        f"< {CUE_ONSET_MAX_MS:g} ms, all heard", cue[0] < CUE_ONSET_MAX_MS and len(onsets) == answers)
    row("peak RSS (VmHWM) after a 100-answer race", race_hwm[100], "MiB", f"{floor_hwm[0]:.2f}",
        f"{race_hwm[100][0] / floor_hwm[0]:.2f}x (+{rss_over:.2f})", f"<= floor + {RSS_MAX_OVER_FLOOR_MB:g} MiB",
        rss_over <= RSS_MAX_OVER_FLOOR_MB)
    row("  floor: peak RSS, one maximized window", floor_hwm, "MiB", "", "", "", None)
    row("  RSS when the 1st question is shown", ours_shown, "MiB", "", "", "", None)
    row("  RSS after 200 answers, same race", race_rss[200], "MiB", "", "", "", None)
    row("  RSS after 300 answers, same race", race_rss[300], "MiB", "", "", "", None)
    # Live heap tells a leak; RSS moves in the allocator's 64 KiB steps and is shown beside it.
    row(f"heap in use (mallinfo2) growth per race, races {len(per_race_kb) // 2 + 1}..{len(per_race_kb)}",
        (heap_growth_kb,) * 3 + (1,), "KiB", "n/a", "n/a", f"< {GROWTH_MAX_KB_PER_RACE:g} KiB/race",
        heap_growth_kb < GROWTH_MAX_KB_PER_RACE)
    row("  RSS growth per race, same races", (growth_kb, growth_kb, growth_kb, 1), "KiB", "", "",
        "(diagnostic)", None)
    row("  RSS, Qt's pixmap cache emptied after each race", (cleared_growth_kb,) * 3 + (1,), "KiB", "", "",
        "(diagnostic)", None)
    row("  heap, Qt's pixmap cache emptied after each race", (cleared_heap_kb,) * 3 + (1,), "KiB", "", "",
        "(diagnostic)", None)
    row(f"idle CPU, clock running, 10 s slices", idle_slices, "% core", "n/a", "n/a",
        f"< {IDLE_MAX_PCT:g}% (whole {idle_wall:.0f} s: {idle_pct:.2f}%)", idle_pct < IDLE_MAX_PCT)

    header = ["figure", "median", "min", "max", "runs", "unit", "floor", "vs floor", "target", "verdict"]
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
    line = "  ".join("-" * w for w in widths)
    print(line)
    print("  ".join(h.ljust(w) for h, w in zip(header, widths)))
    print(line)
    for r in rows:
        print("  ".join(c.ljust(w) if i in (0, 5, 6, 7, 8) else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
    print(line)
    print(f"main window of the real program: {', '.join(sorted(sizes))}")
    print("in-process RSS after each race (KiB): " + " ".join(f"{kb:.0f}" for kb in per_race_kb)
          + f"; widgets alive: {' '.join(widgets)}")
    print("  with the pixmap cache emptied after each race (KiB): " + " ".join(f"{kb:.0f}" for kb in cleared_kb))
    if len(sys.argv) > 2:
        print(f"bench run took {sys.argv[2]} s")
    cold_text = f"{cold_ratio:.2f}" if cold else "skipped"
    print(f"bench: startup_ratio={startup_ratio:.2f} cold_startup_ratio={cold_text} cue_onset_ms={cue[0]:.2f} answer_ms={answer_ms:.2f} question_ms={question[0]:.2f} "
          f"rss_over_floor_mb={rss_over:.2f} idle_cpu_pct={idle_pct:.2f}")


if __name__ == "__main__":
    main()
