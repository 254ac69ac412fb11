#pragma once

#include "game/racestate.h"
#include "game/randomsource.h"

#include <QString>
#include <optional>

// What a new question puts on the window.
struct Question {
    qint16 number = 0;
    QString numberText;
    qint16 shade = 0;
};

// What the window does with one character typed into the answer box.
enum class KeyAction { Pass, Check, Swallow };

// The judgement of one answer; the texts are the captions the window shows.
struct Verdict {
    bool correct = false;
    QString message;
    QString soundFile; // relative to the program folder
    QString correctText;
    QString wrongText;
    QString totalText;
};

enum class TickOutcome { Shown, EndOfGame };

// One race's rules over its RaceState. Single-threaded, driven by the window.
class Race
{
public:
    RaceState &state() { return m_state; }
    const RaceState &state() const { return m_state; }

    // Counters back to zero and the name kept, as a race begins.
    void begin(const QString &playerName);

    Question newQuestion(qint64 msecsSinceMidnight);
    static KeyAction classifyKey(char16_t code);
    // Nothing when the current question has already been judged.
    std::optional<Verdict> checkAnswer(const QString &typed);
    bool questionOpen() const { return m_questionOpen; }

    void startClock();
    QString clockText() const;
    // The race ends on the first tick that finds the clock already showing zero.
    TickOutcome tick(const QString &displayedClock);

private:
    RaceState m_state;
    RandomSource m_random;
    bool m_questionOpen = false;
};
