#include "game/recordrules.h"

#include "game/numberformat.h"

namespace RecordRules {

double recordValue(const QString &recordCaption)
{
    return NumberFormat::leadingNumber(recordCaption);
}

bool beats(const QString &scoreCaption, const QString &recordCaption)
{
    return NumberFormat::leadingNumber(scoreCaption) > recordValue(recordCaption);
}

} // namespace RecordRules
