// Texts and constants of the race, kept together so none drifts from another.
#pragma once

#include <QLatin1String>

namespace GameTexts {
inline constexpr int kRaceMinutes = 5;
inline const QLatin1String kWrongVerdict("Sbagliato!! ");
inline const QLatin1String kRightVerdictStart("Esatto! ");
inline const QLatin1String kRightVerdictEnd(" sei forte!");
inline const QLatin1String kRightSound("suoni/Esatto.wav");
inline const QLatin1String kWrongSound("suoni/no.wav");
inline const QLatin1String kClockAtZero("00:00:00");
} // namespace GameTexts
