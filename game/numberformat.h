#pragma once

#include <QString>
#include <optional>

namespace NumberFormat {
// "#0", "###0", "####0": plain decimal, no leading zeros, "0" for zero.
QString plain(int value);
// "00": at least two digits, zero-padded.
QString twoDigits(double wholeNumber);
// The leading number of a text, read leniently: blanks first, then sign, digits,
// decimal point and exponent; anything after it is ignored. No number gives 0.
double leadingNumber(const QString &text);
// A typed answer as a 16-bit integer, rounded to the nearest (ties to even);
// nothing when it lies outside the 16-bit range.
std::optional<qint16> answerValue(const QString &text);
} // namespace NumberFormat
