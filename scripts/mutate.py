#!/usr/bin/env python3
"""Mutation run: plants one plausible fault at a time in game/, platform/ and window/,
builds, runs the unit tests and says which faults no test saw.

Not part of the tests (the better part of an hour on 2 cores). The window's faults
that the unit tests miss meet the end-to-end race too; the package checks and the
Windows build are left out. The faults go into a copy of the tree under build-mutate/,
never into the tree itself, and each is taken out again before the next one, even
when the run is interrupted.

  scripts/mutate.py                  every mutant
  scripts/mutate.py --only w14,p3    just these (say, the survivors after a fix)
  scripts/mutate.py --list           the mutants, no run
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build-mutate"
SRC = WORK / "src"
BUILD = WORK / "build"

# Which test programs can see a fault in each folder, quickest first.
TESTS = {
    "game": ["tst_rules", "tst_tavola", "tst_platform", "tst_recordstore"],
    "window": ["tst_tavola", "tst_platform", "e2e_race"],
    "platform": ["tst_platform", "tst_tavola", "tst_recordstore", "e2e_race"],
}
TIMEOUT = 600

# id, file, exact text, its replacement, and why a mutant is judged equivalent (or "").
M = [
    ("g1", "game/race.cpp", "m_state.correctCount = 0;", "", ""),
    ("g2", "game/race.cpp", "m_state.wrongCount = 0;", "", ""),
    ("g3", "game/race.cpp", "m_random.next() * 15", "m_random.next() * 16", ""),
    ("g4", "game/race.cpp", "m_random.reseed(msecsSinceMidnight);", "", ""),
    ("g5", "game/race.cpp", "m_random.next() * 1000", "m_random.next() * 999", ""),
    ("g6", "game/race.cpp", "qint16(q.number + 1)", "qint16(q.number)", ""),
    ("g7", "game/race.cpp", "code == 8 ||", "code == 9 ||",
     "the window lets Backspace through itself before it asks the rules about a key"),
    ("g8", "game/race.cpp", "code <= u'9'", "code < u'9'", ""),
    ("g9", "game/race.cpp", "if (!m_questionOpen)", "if (false)", ""),
    ("g10", "game/race.cpp", "*answer == m_state.expectedAnswer", "*answer != m_state.expectedAnswer", ""),
    ("g11", "game/race.cpp", "v.wrongText = NumberFormat::plain(m_state.wrongCount)",
     "v.wrongText = NumberFormat::plain(m_state.correctCount)", ""),
    ("g12", "game/race.cpp", "kWrongVerdict + NumberFormat::plain(m_state.expectedAnswer)",
     "kWrongVerdict + NumberFormat::plain(m_state.expectedAnswer - 1)", ""),
    ("g13", "game/race.cpp", "v.soundFile = GameTexts::kWrongSound;", "v.soundFile = GameTexts::kRightSound;", ""),
    ("g14", "game/race.cpp", "int(m_state.wrongCount) + int(m_state.correctCount)",
     "int(m_state.correctCount) + int(m_state.correctCount)", ""),
    ("g15", "game/gametexts.h", "kRaceMinutes = 5;", "kRaceMinutes = 4;", ""),
    ("g16", "game/race.cpp", "if (s.clockMinutes > 0) {", "if (s.clockMinutes >= 0) {", ""),
    ("g17", "game/race.cpp", "s.clockMinutes = qint16(s.clockMinutes - 1);\n            s.clockSeconds = 60.0f;",
     "s.clockMinutes = qint16(s.clockMinutes - 1);\n            s.clockSeconds = 59.0f;", ""),
    ("g18", "game/race.cpp", "s.clockMinutes = 59;", "s.clockMinutes = 60;",
     "a race starts at no hours and five minutes: the clock never crosses an hour"),
    ("g19", "game/race.cpp", "s.clockSeconds -= 1.0f;", "s.clockSeconds -= 2.0f;", ""),
    ("g20", "game/numberformat.cpp", "rightJustified(2,", "rightJustified(1,", ""),
    ("g21", "game/numberformat.cpp", "(text.at(i) == u' ' ||", "(text.at(i) == u'_' ||", ""),
    ("g22", "game/numberformat.cpp", "(text.at(i) == u'e' || ", "(", ""),
    ("g23", "game/numberformat.cpp", "if (!anyDigit)\n        return 0.0;", "",
     "without a digit the text left is never a number, so toDouble gives 0 all the same"),
    ("g24", "game/numberformat.cpp", "rounded > std::numeric_limits<qint16>::max()",
     "rounded >= std::numeric_limits<qint16>::max()", ""),
    ("g25", "game/numberformat.cpp", "std::nearbyint(", "std::floor(", ""),
    ("g26", "game/recordrules.cpp", "leadingNumber(scoreCaption) > recordValue", "leadingNumber(scoreCaption) >= recordValue", ""),
    ("g27", "game/randomsource.cpp", "double(out >> 11)", "double(out >> 10)", ""),
    ("g29", "game/gametexts.h", 'kWrongVerdict("Sbagliato!! ")', 'kWrongVerdict("Sbagliato! ")', ""),
    ("g28", "game/race.cpp", "m_questionOpen = false;\n", "", ""),

    ("w1", "window/tavolalayout.cpp", '72, true, false, 0x0000FF, 0xFFFF00, true, true, true, nullptr, "Numero da completare"',
     '72, true, false, 0x00FF00, 0xFFFF00, true, true, true, nullptr, "Numero da completare"', ""),
    ("w2", "window/tavolalayout.cpp", '0x0000FF, 0xFFFF00, true, true, true, nullptr, "Numero da completare"',
     '0x0000FF, kDefault, true, true, true, nullptr, "Numero da completare"', ""),
    ("w3", "window/tavolalayout.cpp", '18, false, false, 0xFF0000, kDefault, true, false, true, nullptr, "Titolo delle risposte errate"',
     '18, false, false, 0x0000FF, kDefault, true, false, true, nullptr, "Titolo delle risposte errate"', ""),
    ("w4", "window/tavolalayout.cpp", '36, true, false, 0x0000FF, kDefault, true, true, true, nullptr, "Risposte totali"',
     '36, true, false, 0xFF0000, kDefault, true, true, true, nullptr, "Risposte totali"', ""),
    ("w5", "window/tavolalayout.cpp", '24, true, true, 0xFF0000, kDefault, false, true, false, nullptr, "Esito',
     '24, true, false, 0xFF0000, kDefault, false, true, false, nullptr, "Esito', ""),
    ("w6", "window/tavolalayout.cpp", '24, true, true, 0xFF0000, kDefault, false, true, false, nullptr, "Esito',
     '24, true, true, 0xFFFF00, kDefault, false, true, false, nullptr, "Esito', ""),
    ("w7", "window/tavolalayout.cpp", '"lblScore1", "0", 4830, 4080', '"lblScore1", "0", 1080, 4080', ""),
    ("w8", "window/tavolalayout.cpp", '"Risposte totali", 7440', '"Risposte totale", 7440', ""),
    ("w9", "window/tavolalayout.cpp", "setMaxLength(4)", "setMaxLength(3)", ""),
    ("w10", "window/tavolalayout.cpp", "c.cmdNext->setEnabled(false);", "",
     "the first question disables the button before the window is ever seen"),
    ("w11", "window/tavolalayout.cpp", "pictures.neutral, pictures.grin", "pictures.neutral, pictures.smile", ""),
    ("w12", "window/picturebutton.cpp", "if (!isEnabled())\n        return m_disabled;", "if (isEnabled())\n        return m_disabled;", ""),
    ("w13", "window/picturebutton.cpp", "m_disabled = disabled.isNull() ? normal : disabled;", "m_disabled = normal;", ""),
    ("w14", "window/picturebutton.cpp", "if (hasFocus()) {", "if (!hasFocus()) {", ""),
    ("w15", "window/picturebutton.cpp", "p.drawRect(r.adjusted(4, 4, -5, -5));", "", ""),
    ("w16", "window/picturebutton.cpp", "click();\n            return;", "return;", ""),
    ("w17", "window/picturebutton.cpp", "down ? Qt::black : Qt::white;", "down ? Qt::white : Qt::black;", ""),
    ("w18", "window/picturebutton.cpp", "p.fillRect(r, m_face);", "", ""),
    ("w19", "window/gradientsurface.cpp", "10 * m_shade", "9 * m_shade", ""),
    ("w20", "window/gradientsurface.cpp", "QColor(level, level, i)", "QColor(level, i, level)", ""),
    ("w21", "window/gradientsurface.cpp", "m_black = true;", "m_black = false;", ""),
    ("w22", "window/gradientsurface.cpp", "m_shade = shade;\n    m_black = false;", "m_shade = shade;", ""),
    ("w23", "window/tavola.cpp", "m_ui.txtAnswer->clear();", "", ""),
    ("w24", "window/tavola.cpp", "m_ui.lblMessage->setCaption(QString());", "", ""),
    ("w25", "window/tavola.cpp", "m_ui.lblNum1->setCaption(q.numberText);\n    m_ui.cmdNext->setEnabled(false);",
     "m_ui.lblNum1->setCaption(q.numberText);", ""),
    ("w26", "window/tavola.cpp", "m_surface->setShade(q.shade);", "", ""),
    ("w27", "window/tavola.cpp", "m_ui.txtAnswer->setFocus();", "",
     "Qt puts the focus in the box all the same: the button that had it is disabled, and it comes next in the chain"),
    ("w28", "window/tavola.cpp", "if (key->key() == Qt::Key_Backspace)\n        return false;",
     "if (key->key() == Qt::Key_Backspace)\n        return true;", ""),
    ("w29", "window/tavola.cpp", "m_surface->setBlack();", "", ""),
    ("w30", "window/tavola.cpp", "m_ui.lblScore1->setCaption(verdict->wrongText);", "m_ui.lblScore1->setCaption(verdict->correctText);", ""),
    ("w31", "window/tavola.cpp", "m_ui.lblScore->setCaption(verdict->correctText);", "m_ui.lblScore->setCaption(verdict->wrongText);", ""),
    ("w32", "window/tavola.cpp", "m_ui.cmdNext->setEnabled(true);\n    m_ui.cmdNext->setFocus();", "m_ui.cmdNext->setEnabled(true);", ""),
    ("w33", "window/tavola.cpp", "m_ending = true;\n    m_platform.ShowMessage(WindowTexts::kGoodbye);",
     "m_platform.ShowMessage(WindowTexts::kGoodbye);", ""),
    ("w34", "window/tavola.cpp", "// The clock may have ended the race while a box was open.\n    if (m_ending || m_quitting)\n        return;",
     "// The clock may have ended the race while a box was open.", ""),
    ("w35", "window/tavola.cpp", "s.tableLimitText = WindowTexts::kDefaultTableLimit;", "",
     "nothing ever reads the limit back"),
    ("w36", "window/tavola.cpp", "setWindowTitle(WindowTexts::kMinimizedCaption);", "setWindowTitle(WindowTexts::kCaption);", ""),
    ("w37", "window/tavola.cpp", "m_platform.ShowMessage(WindowTexts::kRecordSaved);", "", ""),
    ("w38", "window/tavola.cpp", "        m_platform.ShowMessage(WindowTexts::kGoodbye);\n    SaveRecordIfBetter();",
     "        m_platform.ShowMessage(WindowTexts::kGoodbye);\n    quit();", ""),
    ("w39", "window/tavola.cpp", "m_ui.lblpunti->setCaption(record.score);", "m_ui.lblpunti->setCaption(record.name);", ""),
    ("w40", "window/tavola.cpp", "if (!problems.isEmpty())", "if (problems.isEmpty())", ""),
    ("w41", "window/tavola.cpp", "| Qt::WindowMaximized", "| Qt::WindowNoState", ""),
    ("w42", "window/tavola.cpp", "m_activationPending) {\n        m_activationPending = false;", "m_activationPending) {", ""),
    ("w43", "window/tavola.cpp", "setTabOrder(m_ui.cmdExit, m_ui.cmdNext);", "",
     "the order the controls are made in already puts cmdNext after cmdExit in the cycle"),
    ("w44", "window/tavola.cpp", "if (!m_platform.AskYesNo(", "if (m_platform.AskYesNo(", ""),
    ("w45", "window/tavola.cpp", "m_ui.lblnome1->setCaption(s.playerName);", "", ""),
    ("w46", "platform/fonts/systemfontsposix.cpp", '"Arial"), QStringLiteral("Liberation Sans")', '"Arial"), QStringLiteral("Liberation Serif")', ""),
    ("w47", "window/fonts.cpp", "font.setItalic(italic);", "", ""),
    ("w48", "window/fonts.cpp", "font.setBold(bold);", "", ""),
    ("w49", "window/tavolalayout.cpp", "label->setTextFormat(Qt::PlainText);", "", ""),
    ("w50", "window/tavolalayout.cpp", "label->setAutoFillBackground(true);", "", ""),
    ("w51", "window/tavolalayout.cpp", 'pixels(7680, 5280, 2055, 1095)', 'pixels(10680, 5280, 2055, 1095)', ""),
    ("w52", "window/tavolalayout.cpp", "button->setFocusPolicy(Qt::StrongFocus);", "",
     "a push button takes the focus by Tab and by click already"),
    ("w53", "window/windowtexts.h", '" vediamo se sei un vero campione  "', '" vediamo se sei un vero campione "', ""),
    ("w54", "window/windowtexts.h", '"Ciao, alla prossima sfida. "', '"Ciao, alla prossima sfida."', ""),
    ("w55", "window/windowtexts.h", 'kNewRaceItem = QStringLiteral("nuovo")', 'kNewRaceItem = QStringLiteral("Nuovo")', ""),
    ("w57", "window/tavolalayout.cpp", 'label->setIndent(0);', '', ""),
    ("w58", "window/picturebutton.cpp", "m_pressed = pressed.isNull() ? normal : pressed;", "m_pressed = pressed;", ""),
    # What a child, a teacher or a screen-reader user would notice.
    ("w59", "window/tavolalayout.cpp", "answerPalette.setColor(QPalette::Text, rgb(0x0000FF));",
     "answerPalette.setColor(QPalette::Text, rgb(0xFFFF00));", ""),
    ("w60", "window/tavolalayout.cpp", 'c.txtAnswer->setFont(Fonts::make(QStringLiteral("Arial"), 72, true));',
     'c.txtAnswer->setFont(Fonts::make(QStringLiteral("Arial"), 24, true));', ""),
    ("w61", "window/tavola.cpp", "if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {",
     "if (key->key() == Qt::Key_Return) {", ""),
    ("w62", "window/tavolalayout.cpp", '"Label7", "1", 5400, 120', '"Label7", "1", 4500, 120', ""),
    ("w63", "window/tavolalayout.cpp", "return QSize(width + frame + 2,", "return QSize(width + frame - 2,", ""),
    ("w64", "window/appsetup.cpp", "QApplication::setQuitOnLastWindowClosed(false);", "",
     "Qt asks again when the quit arrives, and by then the next box or the window is up: no run leaves a moment with nothing shown"),
    ("w65", "window/appsetup.cpp", "platform.setDialogParent(&tavola);", "", ""),
    ("w66", "platform/program/programdesktop.cpp", "QCoreApplication::exit(0);", "QCoreApplication::exit(1);", ""),
    ("w67", "window/tavolalayout.cpp", "label->setAccessibleDescription(QString::fromUtf8(row.description));",
     "label->setAccessibleName(QString::fromUtf8(row.description));", ""),
    ("w68", "window/tavolalayout.cpp", "QAccessible::updateAccessibility(&changed);", "",
     "QLabel::setText announces the new text itself while the label has no accessible name of its own"),

    ("p1", "platform/records/recordfiles.cpp", "b >= 0x80 && b < 0xA0", "b > 0x80 && b < 0xA0", ""),
    ("p2", "platform/records/recordfilesposix.cpp", "::mkdir(native.constData(), 0755)", "::mkdir(native.constData(), 0700)", ""),
    ("p3", "platform/records/recordfilesposix.cpp", "::fchmod(unnamed, 0666);", "", ""),
    ("p4", "platform/records/recordfilesposix.cpp", "const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC",
     "const int flags = O_NONBLOCK | O_CLOEXEC", ""),
    ("p5", "platform/records/recordfilesposix.cpp", "if (!S_ISREG(st.st_mode))", "if (S_ISDIR(st.st_mode))", ""),
    ("p6", "platform/records/recordfiles.cpp", "if (r.bytes.size() > limit) {", "if (false) {", ""),
    ("p7", "platform/records/recordfilesposix.cpp", "return ::ftruncate(descriptor(file), off_t(size)) == 0 ? QString() : reasonFor(errno);", "return QString();", ""),
    ("p8", "platform/records/recordfilesposix.cpp", "const int op = exclusive ? LOCK_EX : LOCK_SH;", "const int op = LOCK_SH;", ""),
    ("p9", "platform/records/recordstore.cpp", 'text.toUtf8() + "\\r\\n"', 'text.toUtf8() + "\\n"', ""),
    ("p10", "platform/records/recordstore.cpp", "if (!RecordRules::beats(scoreCaption, shownRecordCaption))\n        return result;", "", ""),
    ("p11", "platform/records/recordstore.cpp", "if (oldScore.ok() && !RecordRules::beats(", "if (false && !RecordRules::beats(", ""),
    ("p12", "platform/records/recordstore.cpp", "QString error = writeContent(journal, journalEntry(pair));", "QString error;", ""),
    ("p13", "platform/records/recordstore.cpp", "if (entry.mid(body.size()) != sumOf(body) || lineEnd < 0)", "if (lineEnd < 0)", ""),
    ("p14", "platform/records/recordstore.cpp", "record.errors << PlatformTexts::kRecordBusy;", "", ""),
    ("p15", "platform/records/recordstore.cpp", "errors << PlatformTexts::kCannotCreate", "errors.isEmpty(); (void)PlatformTexts::kCannotCreate", ""),
    ("p16", "platform/records/recordstore.cpp", "if (interruptedSave)\n        finishInterruptedSave();", "", ""),
    ("p17", "platform/records/recordstore.cpp", "if (!readable.valid())", "if (true)", ""),
    ("p18", "platform/records/recordstore.cpp", "const Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::Read);",
     "const Handle score = openInFolder(folder, fileName(PlatformTexts::kScoreFile), Access::ReadWrite);", ""),
    ("p19", "platform/records/recordstore.cpp", "if (pair && storedScore.ok() && RecordRules::beats(", "if (false && RecordRules::beats(", ""),
    ("p20", "platform/records/recordstore.cpp", "if (!lock(score, true, m_patience.saveMsecs))", "if (!lock(score, false, m_patience.saveMsecs))", ""),
    ("p21", "platform/records/recordstore.cpp", "writeContent(journal, {});\n    result.outcome = SaveOutcome::Saved;", "result.outcome = SaveOutcome::Saved;", ""),
    ("p22", "platform/desktopplatform.cpp", "QMessageBox box(QMessageBox::NoIcon", "QMessageBox box(QMessageBox::Information", ""),
    ("p23", "platform/desktopplatform.cpp", "box.setDefaultButton(QMessageBox::No);", "box.setDefaultButton(QMessageBox::Yes);", ""),
    ("p24", "platform/desktopplatform.cpp", "edit->setMaxLength(PlatformTexts::kMaxTypedChars);", "", ""),
    ("p25", "platform/records/recordfilesposix.cpp", "dir += QLatin1Char('/');", "", ""),
    ("p26", "platform/desktopplatform.cpp", "dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString()", "dialog.textValue()", ""),
    ("p27", "platform/platformtexts.h", 'kNameFile("/nsuc000.txt")', 'kNameFile("/nsuc00.txt")', ""),
    ("p28", "platform/platformtexts.h", 'kAppTitle = QStringLiteral("Contadopo")', 'kAppTitle = QStringLiteral("contadopo")', ""),
    ("p29", "platform/records/recordfilesposix.cpp", "if (err == ELOOP || err == EMLINK)", "if (err == EMLINK)", ""),
    ("p30", "platform/records/recordstore.cpp", "if (pair.name.size() > kMaxBytes)", "if (pair.name.size() > 2 * kMaxBytes)", ""),
    ("p31", "platform/records/recordfilesposix.cpp", "if (fd < 0 && errno == ENOENT && create) {", "if (fd < 0 && errno == ENOENT) {", ""),
    ("p32", "platform/sound/pulsesoundplayer.cpp", "if (!m_told.exchange(true))\n", "", ""),
    ("p33", "platform/sound/pulsesoundplayer.cpp", "        engine->dropContext();\n        engine->scheduleRetry();", "        engine->dropContext();", ""),
    ("p34", "platform/sound/pulsesoundplayer.cpp", "if (pa_operation *o = m_pa.pa_context_kill_sink_input(m_context, m_playing, nullptr, nullptr))\n            m_pa.pa_operation_unref(o);", "", ""),
]


def folder_of(path):
    return path.split("/", 1)[0]


def sync_copy():
    """The tree's files into the copy; unchanged ones keep their times, so builds stay incremental."""
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, check=True,
                            capture_output=True, text=True).stdout.split("\n")
    for name in filter(None, listed):
        src, dst = ROOT / name, SRC / name
        if not src.is_file():
            continue
        if dst.is_file() and dst.read_bytes() == src.read_bytes():
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(src, dst)


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted(signum)


def run(command, log, **kwargs):
    """The command in a process group of its own, so that an interruption ends the
    compilers and programs it started too, before the mutant is taken out."""
    process = subprocess.Popen(["nice", "-n", "10", *command], stdout=log, stderr=subprocess.STDOUT,
                               start_new_session=True, **kwargs)
    try:
        return process.wait(timeout=TIMEOUT)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def build(tests, log):
    targets = sorted({"contadopo" if test.startswith("e2e") else test for test in tests})
    return run(["cmake", "--build", str(BUILD), "-j2", "--target", *targets], log) == 0


def killer(tests, log):
    """The first test program that fails, or None when all pass."""
    env = dict(os.environ, XDG_RUNTIME_DIR=str(WORK / "runtime"))
    Path(env["XDG_RUNTIME_DIR"]).mkdir(mode=0o700, exist_ok=True)
    for test in tests:
        # The unit tests draw offscreen; the race brings its own X server.
        command = [str(BUILD / "tests" / test)]
        env["QT_QPA_PLATFORM"] = "offscreen"
        if test == "e2e_race":
            command = ["bash", str(SRC / "scripts/desktop-session.sh"), "--accessibility", "/usr/bin/python3",
                       str(SRC / "tests/e2e/race_e2e.py"), str(BUILD / "contadopo"), str(WORK / "records")]
            del env["QT_QPA_PLATFORM"]
        try:
            rc = run(command, log, cwd=BUILD / "tests", env=env)
        except subprocess.TimeoutExpired:
            return test + " (time-out)"
        if rc != 0:
            return test
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--only", help="comma-separated mutant ids")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    chosen = M
    if args.only:
        wanted = set(args.only.split(","))
        chosen = [m for m in M if m[0] in wanted]
        if len(chosen) != len(wanted):
            sys.exit("unknown mutant ids: %s" % ", ".join(sorted(wanted - {m[0] for m in M})))
    if args.list:
        for mid, path, old, new, equivalent in chosen:
            print("%-4s %-28s %r -> %r%s" % (mid, path, old, new, "  [equivalent]" if equivalent else ""))
        return 0

    WORK.mkdir(exist_ok=True)
    sync_copy()
    # A run cut short may have left objects built from a mutant: build that file again.
    pending = WORK / "mutated-file"
    if pending.exists():
        (SRC / pending.read_text()).touch()
    # Every snippet must still be found exactly once, or the run would test nothing.
    for mid, path, old, _new, _eq in M:
        count = (SRC / path).read_text().count(old)
        if count != 1:
            sys.exit("%s: the text to change is found %d times in %s: %r" % (mid, count, path, old))

    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)
    log = open(WORK / "mutate.log", "w")
    subprocess.run(["cmake", "-S", str(SRC), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Debug", "-DBUILD_TESTING=ON",
                    "-DCONTADOPO_RECORD_DIR=" + str(WORK / "records")], stdout=log, stderr=subprocess.STDOUT, check=True)
    all_tests = sorted({t for tests in TESTS.values() for t in tests})
    if not build(all_tests, log) or killer(all_tests, log):
        sys.exit("the tests do not pass without a mutant; see %s" % (WORK / "mutate.log"))

    results = {}
    started = time.time()
    try:
        for mid, path, old, new, equivalent in sorted(chosen, key=lambda m: m[1]):
            target = SRC / path
            original = target.read_text()
            try:
                pending.write_text(path)
                target.write_text(original.replace(old, new, 1))
                log.write("\n=== %s %s\n" % (mid, path))
                log.flush()
                tests = TESTS[folder_of(path)]
                if not build(tests, log):
                    verdict = "does not build"
                else:
                    verdict = killer(tests, log) or "SURVIVED"
            finally:
                target.write_text(original)
                pending.unlink()
            results[mid] = verdict
            print("%-4s %-28s %s%s" % (mid, path, verdict, "  [equivalent]" if equivalent else ""), flush=True)
    except Interrupted:
        print("interrupted; the copy is back as it was", flush=True)

    print("\n%d mutants in %.0f minutes" % (len(results), (time.time() - started) / 60))
    total_killed = total = 0
    for folder in ("game", "platform", "window"):
        counted = [m for m in chosen if folder_of(m[1]) == folder and m[0] in results and not m[4]
                   and results[m[0]] != "does not build"]
        killed = sum(1 for m in counted if results[m[0]] != "SURVIVED")
        total_killed += killed
        total += len(counted)
        print("%-9s %3d/%-3d killed" % (folder, killed, len(counted)))
    if total:
        print("all       %3d/%-3d killed = %.0f%%" % (total_killed, total, 100.0 * total_killed / total))
    for mid, path, old, new, equivalent in chosen:
        if mid in results and equivalent:
            print("equivalent %s %s: %s" % (mid, path, equivalent))
        elif results.get(mid) == "SURVIVED":
            print("survivor  %s %s: %r -> %r" % (mid, path, old, new))
        elif results.get(mid) == "does not build":
            print("no build  %s %s" % (mid, path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
