#pragma once

#include <QString>

namespace RecordRules {
// The record score as shown: its leading number, line break and all after ignored.
double recordValue(const QString &recordCaption);
// A race's score beats the record only when strictly higher; a tie keeps the old one.
bool beats(const QString &scoreCaption, const QString &recordCaption);
} // namespace RecordRules
