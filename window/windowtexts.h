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
inline const QString kCreditsMenu1 = QStringLiteral("Contadopo");
inline const QString kVersionItem = QStringLiteral("Versione %1");
inline const QString kCreditsItem1 = QStringLiteral("Il numero che viene dopo, da 1 a 1000");
inline const QString kCreditsMenu2 = QStringLiteral("Una gara di cinque minuti");
inline const QString kCreditsItem2a = QStringLiteral("Scrivi il numero più uno e premi Invio");
inline const QString kCreditsItem2b = QStringLiteral("Programma libero per la scuola primaria");
// What a screen reader says of the button that asks the next question; after an
// answer it starts with the verdict, read out as the focus lands there.
inline const QString kNextDescription = QStringLiteral("Faccina gialla: chiede un nuovo numero");
inline const QString kNextAfterVerdict = QStringLiteral("%1 Premi Invio per un nuovo numero.");
// For whoever starts the program from a terminal.
inline const QString kUsage = QStringLiteral("Uso: contadopo [--version | --help]");
inline const QString kHelp = QStringLiteral(
    "Contadopo: una gara di cinque minuti sul numero che viene dopo, per la scuola primaria.\n"
    "Il gioco non prende opzioni: si avvia, chiede il nome e comincia.\n"
    "  --version  mostra la versione ed esce\n"
    "  --help     mostra questo aiuto ed esce\n"
    "Uscita: 0 a fine gioco, 1 se non c'è uno schermo, 2 con opzioni sbagliate.");
inline const QString kNoDisplay =
    QStringLiteral("contadopo: non trovo uno schermo su cui aprire la finestra (DISPLAY o WAYLAND_DISPLAY).");
} // namespace WindowTexts
