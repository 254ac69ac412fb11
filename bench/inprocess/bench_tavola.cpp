// Times Tavola from inside, on a real X display: one answer (Enter to the verdict and
// counters painted) and one new question (to the number and gradient painted), then
// plays whole races through the "nuovo" handler and reports the memory after each.
//
// Usage: bench_tavola --records DIR [--iterations N] [--warmup N] [--races N] [--answers N]
//                     [--clear-pixmap-cache yes]
// Prints key=value lines; times are median,min,max,count in milliseconds.

#include "game/race.h"
#include "platform/platform.h"
#include "platform/records/recordfiles.h"
#include "window/appsetup.h"
#include "window/gradientsurface.h"
#include "window/tavola.h"
#include "window/windowtexts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmapCache>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <map>
#include <vector>

namespace {

// Every box is answered at once, as a child who always says yes.
class BenchPlatform : public Platform
{
public:
    explicit BenchPlatform(const QString &recordDir)
        : m_recordDir(recordDir.endsWith(QLatin1Char('/')) ? recordDir : recordDir + QLatin1Char('/'))
    {
    }
    void ShowMessage(const QString &) override {}
    bool AskYesNo(const QString &, const QString &) override { return true; }
    QString PromptText(const QString &prompt) override
    {
        return prompt == WindowTexts::kTableLimitPrompt ? QStringLiteral("10") : QStringLiteral("Bench");
    }
    QString GetSystemDir() override { return m_recordDir; }
    ReadResult Leggifiletxt(const QString &nomefile) override { return RecordFiles::readTextFile(nomefile); }
    // Silent as the real player is on a machine with no sound device.
    void PlaySoundFile(const QString &) override {}
    QString ProgramFolder() override { return QCoreApplication::applicationDirPath(); }
    bool CanCloseProgram() override { return true; }
    void EndProgram() override {}

private:
    QString m_recordDir;
};

// Counts paint events and what they covered, so a timing only ends once the pixels
// were really produced.
class PaintCounter : public QObject
{
public:
    struct Seen {
        int count = 0;
        QRegion region;
    };
    std::map<QObject *, Seen> seen;
    void watch(QWidget *w)
    {
        w->installEventFilter(this);
        seen[w] = {};
    }
    void reset()
    {
        for (auto &s : seen)
            s.second = {};
    }
    bool painted(QWidget *w) const { return seen.at(w).count > 0; }
    // Opaque children are left out of their parent's paint; their parent's extent is what counts.
    bool covered(QWidget *w) const { return seen.at(w).region.boundingRect().contains(w->rect()); }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            auto it = seen.find(o);
            if (it != seen.end()) {
                ++it->second.count;
                it->second.region += static_cast<QPaintEvent *>(e)->region();
            }
        }
        return false;
    }
};

long statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    return -1;
}

[[noreturn]] void fail(const char *why)
{
    std::printf("error=%s\n", why);
    std::fflush(stdout);
    std::exit(1);
}

// Runs the event loop until `done` holds, that is until the listed repaints happened.
template<typename Done>
void paintUntil(const PaintCounter &pc, Done done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > 5000) {
            for (const auto &s : pc.seen)
                std::printf("detail=%s painted %d times, region %d rects\n", qPrintable(s.first->objectName()),
                            s.second.count, int(s.second.region.rectCount()));
            fail("a repaint never came");
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

struct Bench {
    Tavola &t;
    PaintCounter pc;

    void watchControls()
    {
        pc.seen.clear();
        const TavolaControls &c = t.controls();
        for (QWidget *w : {static_cast<QWidget *>(t.surface()), static_cast<QWidget *>(c.lblMessage),
                           static_cast<QWidget *>(c.lblScore2), static_cast<QWidget *>(c.lblNum1)})
            pc.watch(w);
    }

    // Nothing pending, so a timing starts from a quiet window.
    void quiet()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    // Enter on the answer box, to the verdict, counters (and black surface) painted.
    qint64 answer(bool right)
    {
        const TavolaControls &c = t.controls();
        if (!t.race().questionOpen())
            fail("no question open before an answer");
        const int expected = t.race().state().expectedAnswer;
        c.txtAnswer->setText(right ? QString::number(expected) : QStringLiteral("0"));
        quiet();
        pc.reset();
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(c.txtAnswer, &press);
        // A wrong answer turns the whole surface black; a right one leaves it as it was.
        paintUntil(pc, [&] {
            return pc.painted(c.lblMessage) && pc.painted(c.lblScore2) && (right || pc.covered(t.surface()));
        });
        const qint64 ns = timer.nsecsElapsed();
        if (t.race().questionOpen() || (t.surface()->isBlack() == right)) {
            std::printf("detail=right %d open %d black %d typed '%s' expected %d verdict '%s'\n", int(right),
                        int(t.race().questionOpen()), int(t.surface()->isBlack()),
                        qPrintable(c.txtAnswer->text()), expected, qPrintable(c.lblMessage->text()));
            fail("the answer was not judged as expected");
        }
        return ns;
    }

    // A new question, to the number and the whole gradient painted.
    qint64 question()
    {
        quiet();
        const QString before = t.controls().lblNum1->text();
        pc.reset();
        QElapsedTimer timer;
        timer.start();
        t.cmdNext_Click();
        // The same number twice leaves its label as it was; the gradient is always redrawn.
        const bool sameNumber = t.controls().lblNum1->text() == before;
        paintUntil(pc, [&] { return (sameNumber || pc.painted(t.controls().lblNum1)) && pc.covered(t.surface()); });
        const qint64 ns = timer.nsecsElapsed();
        if (!t.race().questionOpen() || t.surface()->isBlack())
            fail("no new question was shown");
        return ns;
    }

    // Shown, maximized by the window manager and asking its first question.
    void waitReady()
    {
        if (!QTest::qWaitForWindowExposed(&t, 10000))
            fail("the window was never exposed");
        const QRect avail = t.screen()->availableGeometry();
        QElapsedTimer waited;
        waited.start();
        // Fresh controls show no number until the activation asks the race's first question.
        const auto asked = [this] { return t.race().questionOpen() && !t.controls().lblNum1->text().isEmpty(); };
        while ((t.width() < avail.width() || !asked()) && waited.elapsed() < 10000)
            QTest::qWait(10);
        if (!asked())
            fail("no first question");
        QTest::qWait(200);
        // A clock tick must not land inside a timing, nor end a race under a profiler.
        t.Timer1()->stop();
        watchControls();
    }
};

void report(const char *name, std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    const size_t n = ns.size();
    const double median = n % 2 ? ns[n / 2] : (ns[n / 2 - 1] + ns[n / 2]) / 2.0;
    std::printf("%s=%.4f,%.4f,%.4f,%zu\n", name, median / 1e6, ns.front() / 1e6, ns.back() / 1e6, n);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication();

    QString records;
    int iterations = 400, warmup = 40, races = 5, answers = 100;
    // For finding a cause only: whether the growth from race to race lives in Qt's pixmap cache.
    bool clearPixmapCache = false;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &a = args[i];
        const QString &v = args[i + 1];
        if (a == QLatin1String("--records"))
            records = v;
        else if (a == QLatin1String("--iterations"))
            iterations = v.toInt();
        else if (a == QLatin1String("--warmup"))
            warmup = v.toInt();
        else if (a == QLatin1String("--races"))
            races = v.toInt();
        else if (a == QLatin1String("--answers"))
            answers = v.toInt();
        else if (a == QLatin1String("--clear-pixmap-cache"))
            clearPixmapCache = v == QLatin1String("yes");
    }
    if (records.isEmpty())
        fail("--records DIR is required");

    BenchPlatform platform(records);
    Tavola t(platform);
    t.start();
    Bench b{t, {}};
    b.waitReady();

    const QWidget *num = t.controls().lblNum1;
    const QPoint at = num->mapTo(&t, QPoint(0, 0));
    // Inside the frame, one digit wide: any number puts blue pixels there.
    std::printf("window=%dx%d\nnumber_rect=%d,%d,%d,%d\n", t.width(), t.height(), at.x() + 3, at.y() + 3,
                std::min(num->width() - 6, 48), num->height() - 6);
    std::printf("startup_rss_kb=%ld\n", statusKb("VmRSS"));
    std::fflush(stdout);

    std::vector<qint64> right, wrong, questions;
    for (int i = 0; i < warmup + iterations; ++i) {
        const bool isRight = i % 2 == 0;
        const qint64 a = b.answer(isRight);
        const qint64 q = b.question();
        if (i < warmup)
            continue;
        (isRight ? right : wrong).push_back(a);
        questions.push_back(q);
    }
    if (iterations > 0) {
        report("answer_right_ms", right);
        report("answer_wrong_ms", wrong);
        report("question_ms", questions);
    }

    for (int r = 1; r <= races; ++r) {
        t.Next_Click();
        b.waitReady();
        for (int i = 0; i < answers; ++i) {
            b.answer(i % 2 == 0);
            b.question();
        }
        // What the event loop would do next: widgets of the last race go now.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (clearPixmapCache)
            QPixmapCache::clear();
        b.quiet();
        const RaceState &s = t.race().state();
        if (int(s.correctCount) + int(s.wrongCount) != answers)
            fail("a race did not count every answer");
        // The heap in use tells a block kept from pages the allocator merely did not return.
        std::printf("race%d_rss_kb=%ld\nrace%d_hwm_kb=%ld\nrace%d_heap_kb=%zu\nrace%d_widgets=%lld\n", r,
                    statusKb("VmRSS"), r, statusKb("VmHWM"), r, mallinfo2().uordblks / 1024, r,
                    (long long)QApplication::allWidgets().size());
        std::fflush(stdout);
    }
    return 0;
}
