// The rules of one race: question, answer check, countdown clock and the record
// comparison. Qt Core only; the window shows what these decide.
#pragma once

#include <QString>
#include <QtGlobal>
#include <limits>

// The race's in-memory record, owned by the main window. 16-bit counters keep the
// ranges the program has always had.
struct RaceState {
    QString playerName;
    qint16 expectedAnswer = 0;
    qint16 correctCount = 0;
    qint16 wrongCount = 0;
    qint16 clockHours = 0;
    qint16 clockMinutes = 0;
    float clockSeconds = 0.0f;
    QString recordDir;
    qint16 backgroundShade = 0;
    QString tableLimitText;
};

// Counters saturate at the 16-bit limit instead of failing: no race can crash on it.
inline qint16 incrementSaturated(qint16 value)
{
    return value == std::numeric_limits<qint16>::max() ? value : qint16(value + 1);
}
