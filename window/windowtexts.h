// The window's own texts, quoted exactly (blanks included).
#pragma once

#include <QString>

namespace WindowTexts {
inline const QString kCaption = QStringLiteral("Contadopo");
inline const QString kMinimizedCaption = QStringLiteral("Piuuno");
inline const QString kNameQuestion = QStringLiteral("Come ti chiami?");
inline const QString kGreetingEnd = QStringLiteral(" vediamo se sei un vero campione  ");
inline const QString kGoodbye = QStringLiteral("Ciao, alla prossima sfida. ");
inline const QString kRecordSaved = QStringLiteral("Ok! Ho registrato il tuo record, C A M P I O N E");
inline const QString kRecordBeatenMeanwhile =
    QStringLiteral("Bravo, %1 punti! Ma intanto %2 ha fatto un record di %3 punti su un altro computer.");
inline const QString kNewRaceQuestion = QStringLiteral("INIZIAMO UNA NUOVA GARA  ?");
inline const QString kNewRaceTitle = QStringLiteral("INIZIARE NUOVA GARA");
inline const QString kTableLimitPrompt = QStringLiteral("Tavola pitagorica fino al numero? ");
inline const QString kNoLimitEnd = QStringLiteral(" siccome non hai scelto arriviamo fino al 10.");
inline const QString kDefaultTableLimit = QStringLiteral("10");
inline const QString kNewRaceItem = QStringLiteral("nuovo");
inline const QString kCreditsMenu1 = QStringLiteral("Contadopo 1.0");
inline const QString kCreditsItem1 = QStringLiteral("Il numero che viene dopo, da 1 a 1000");
inline const QString kCreditsMenu2 = QStringLiteral("Una gara di cinque minuti");
inline const QString kCreditsItem2a = QStringLiteral("Scrivi il numero più uno e premi Invio");
inline const QString kCreditsItem2b = QStringLiteral("Programma libero per la scuola primaria");
// What a screen reader says of the button that asks the next question; after an
// answer it starts with the verdict, read out as the focus lands there.
inline const QString kNextDescription = QStringLiteral("Faccina gialla: chiede un nuovo numero");
inline const QString kNextAfterVerdict = QStringLiteral("%1 Premi Invio per un nuovo numero.");
} // namespace WindowTexts
