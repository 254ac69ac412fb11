// A copy of the game's record store that does nothing but save, for the tests that
// kill it mid-save or run many of it at once.
//   recordsaver kill DIR FROM           saves FROM+1, FROM+2, ... until killed
//   recordsaver race DIR INDEX COPIES ROUNDS
//       says it is ready, reads a start time (QDeadlineTimer's clock, ms) on stdin, waits for it,
//       then ROUNDS times loads and saves INDEX+1+round*COPIES; fails on a pair shown
//       torn, lower than its own last save or busy, or a save that failed; prints how
//       many it saved, the best, when it began and ended
#include "platform/recordstore.h"
#include "recordpair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

int saveUntilKilled(RecordStore &store, int from)
{
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    for (int score = from + 1;; ++score) {
        const SaveResult r = store.SaveRecordIfBetter(QString::number(score), RecordPair::nameFor(score),
                                                      QString::number(score - 1));
        if (r.outcome != SaveOutcome::Saved) {
            std::fprintf(stderr, "save of %d: %s\n", score, qPrintable(r.error));
            return 1;
        }
    }
}

int race(RecordStore &store, int index, int copies, int rounds)
{
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    // One start time for every copy: written one after the other, a bare "go" let
    // a fast copy finish before the last one had even read it.
    std::string go;
    std::getline(std::cin, go);
    QDeadlineTimer start;
    start.setDeadline(std::stoll(go));
    while (!start.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(start.remainingTime() + 1));
    const qint64 began = QDeadlineTimer::current().deadline();
    int bad = 0, saved = 0, best = 0;
    for (int round = 0; round < rounds; ++round) {
        const StoredRecord shown = store.LoadRecord();
        // A torn pair reads as -1: below anything this copy has saved.
        if (!shown.errors.isEmpty() || RecordPair::scoreOf(shown.score, shown.name) < best) {
            ++bad;
            std::fprintf(stderr, "shown after saving %d: %s|%s|%s\n", best, qPrintable(shown.score),
                         qPrintable(shown.name), qPrintable(shown.errors.join(QLatin1Char(' '))));
        }
        // As a copy that was shown no record: every save goes as far as the lock.
        const int score = index + 1 + round * copies;
        const SaveResult r = store.SaveRecordIfBetter(QString::number(score), RecordPair::nameFor(score), QString());
        if (r.outcome == SaveOutcome::Saved) {
            ++saved;
            best = score;
        } else if (r.outcome == SaveOutcome::Failed) {
            ++bad;
            std::fprintf(stderr, "save of %d: %s\n", score, qPrintable(r.error));
        }
        // A breath between rounds, so that no copy runs all its rounds in one time slice.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::printf("%d %d %lld %lld\n", saved, best, began, QDeadlineTimer::current().deadline());
    return bad == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("kill")) {
        RecordStore store(args.at(2));
        return saveUntilKilled(store, args.at(3).toInt());
    }
    if (args.size() == 6 && args.at(1) == QLatin1String("race")) {
        RecordStore store(args.at(2));
        return race(store, args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt());
    }
    std::fputs("usage: recordsaver kill DIR FROM | race DIR INDEX COPIES ROUNDS\n", stderr);
    return 2;
}
