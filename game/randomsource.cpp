#include "game/randomsource.h"

namespace {
quint64 splitMix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}
} // namespace

double RandomSource::next()
{
    // xorshift64*: the top 53 bits make the double.
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    const quint64 out = m_state * 0x2545F4914F6CDD1DULL;
    return double(out >> 11) * (1.0 / 9007199254740992.0);
}

void RandomSource::reseed(qint64 msecsSinceMidnight)
{
    m_state = splitMix(m_state ^ splitMix(quint64(msecsSinceMidnight)));
    if (m_state == 0)
        m_state = 0x2545F4914F6CDD1DULL;
}
