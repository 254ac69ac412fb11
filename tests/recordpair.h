// The pairs the crash and race tests save: the name tells which score it belongs to.
#pragma once

#include <QString>

namespace RecordPair {

// Lengths change from one score to the next, so a stale tail would show.
inline QString nameFor(int score)
{
    return QStringLiteral("Bambina %1 ").arg(score) + QString(score % 23, QChar(0x00E8));
}

// The score of a whole pair as read (line breaks included), 0 for the empty record,
// -1 for a score with another name or anything else.
inline int scoreOf(const QString &scoreText, const QString &nameText)
{
    if (scoreText.isEmpty() && nameText.isEmpty())
        return 0;
    bool ok = false;
    const int score = scoreText.chopped(scoreText.endsWith(QStringLiteral("\r\n")) ? 2 : 0).toInt(&ok);
    const bool whole = ok && score > 0 && scoreText == QString::number(score) + QStringLiteral("\r\n")
        && nameText == nameFor(score) + QStringLiteral("\r\n");
    return whole ? score : -1;
}

} // namespace RecordPair
