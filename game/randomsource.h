#pragma once

#include <QtGlobal>

// A uniform generator on [0, 1). It starts from the same state at every program
// start; reseeding mixes the time into the state instead of replacing it, so two
// reseeds within the same second still lead to different draws.
class RandomSource
{
public:
    double next();
    void reseed(qint64 msecsSinceMidnight);

private:
    quint64 m_state = 0x2545F4914F6CDD1DULL;
};
