#include "game/race.h"

#include "game/gametexts.h"
#include "game/numberformat.h"

#include <cmath>

void Race::begin(const QString &playerName)
{
    m_state.correctCount = 0;
    m_state.wrongCount = 0;
    m_state.playerName = playerName;
}

Question Race::newQuestion(qint64 msecsSinceMidnight)
{
    Question q;
    // The shade comes from the old sequence, before the reseed.
    q.shade = qint16(std::floor(m_random.next() * 15));
    m_state.backgroundShade = q.shade;
    m_random.reseed(msecsSinceMidnight);
    q.number = qint16(std::floor(m_random.next() * 1000));
    q.numberText = NumberFormat::plain(q.number);
    m_state.expectedAnswer = qint16(q.number + 1);
    m_questionOpen = true;
    return q;
}

KeyAction Race::classifyKey(char16_t code)
{
    if (code == 8 || (code >= u'0' && code <= u'9'))
        return KeyAction::Pass;
    if (code == 13)
        return KeyAction::Check;
    return KeyAction::Swallow;
}

std::optional<Verdict> Race::checkAnswer(const QString &typed)
{
    if (!m_questionOpen)
        return std::nullopt;
    m_questionOpen = false;

    const std::optional<qint16> answer = NumberFormat::answerValue(typed);
    Verdict v;
    v.correct = answer && *answer == m_state.expectedAnswer;
    if (!v.correct) {
        m_state.wrongCount = incrementSaturated(m_state.wrongCount);
        v.message = GameTexts::kWrongVerdict + NumberFormat::plain(m_state.expectedAnswer);
        v.soundFile = GameTexts::kWrongSound;
    } else {
        m_state.correctCount = incrementSaturated(m_state.correctCount);
        v.message = GameTexts::kRightVerdictStart + m_state.playerName + GameTexts::kRightVerdictEnd;
        v.soundFile = GameTexts::kRightSound;
    }
    v.correctText = NumberFormat::plain(m_state.correctCount);
    v.wrongText = NumberFormat::plain(m_state.wrongCount);
    v.totalText = NumberFormat::plain(int(m_state.wrongCount) + int(m_state.correctCount));
    return v;
}

void Race::startClock()
{
    m_state.clockHours = 0;
    m_state.clockMinutes = GameTexts::kRaceMinutes;
    m_state.clockSeconds = 0.0f;
}

QString Race::clockText() const
{
    return NumberFormat::twoDigits(m_state.clockHours) + QLatin1Char(':')
        + NumberFormat::twoDigits(m_state.clockMinutes) + QLatin1Char(':')
        + NumberFormat::twoDigits(m_state.clockSeconds);
}

TickOutcome Race::tick(const QString &displayedClock)
{
    if (displayedClock == GameTexts::kClockAtZero)
        return TickOutcome::EndOfGame;
    RaceState &s = m_state;
    if (s.clockSeconds == 0.0f) {
        if (s.clockMinutes > 0) {
            s.clockMinutes = qint16(s.clockMinutes - 1);
            s.clockSeconds = 60.0f;
        } else if (s.clockMinutes == 0) {
            if (s.clockHours > 0) {
                s.clockMinutes = 59;
                s.clockHours = qint16(s.clockHours - 1);
                s.clockSeconds = 60.0f;
            } else {
                s.clockHours = 0;
                s.clockMinutes = 0;
            }
        }
    }
    s.clockSeconds -= 1.0f;
    return TickOutcome::Shown;
}
