// Texts and names of the platform services, kept in one place.
#pragma once

#include <QLatin1String>
#include <QString>

namespace PlatformTexts {
inline const QString kAppTitle = QStringLiteral("Contadopo");
inline const QLatin1String kScoreFile("/suc000.txt");
inline const QLatin1String kNameFile("/nsuc000.txt");
// The pair on its way to the two files above, so a save cut short can be finished.
inline const QLatin1String kJournalFile("/suc000.jnl");
// What a prompt takes: far more than any name, far less than a record file may hold.
inline constexpr int kMaxTypedChars = 100;
inline const QString kReasonLink = QStringLiteral("è un collegamento simbolico");
inline const QString kReasonNotRegular = QStringLiteral("non è un file normale");
inline const QString kReasonNotFolder = QStringLiteral("il percorso non è una cartella");
inline const QString kReasonFolderLink = QStringLiteral("la cartella %1 è un collegamento simbolico");
inline const QString kReasonTooLarge = QStringLiteral("è più grande di 64 KiB");
inline const QString kReasonBusy = QStringLiteral("è occupato da un'altra copia del gioco");
inline const QString kCannotCreate = QStringLiteral("Non riesco a creare il file del record %1: %2.");
inline const QString kCannotRead = QStringLiteral("Non riesco a leggere il file del record %1: %2.");
inline const QString kCannotWrite = QStringLiteral("Non riesco a scrivere il file del record %1: %2.");
inline const QString kRecordBusy = QStringLiteral("Il record è occupato in questo momento da un'altra copia del gioco: per ora non lo posso mostrare.");
inline const QString kNameTooLong = QStringLiteral("Il nome è troppo lungo per il file del record %1.");
inline const QString kPlayOnEmpty = QStringLiteral("Si gioca lo stesso, con un record vuoto.");
inline const QString kSaveFailed = QStringLiteral("Il record non è stato registrato; resta quello di prima.");
inline const QString kSaveMayComplete = QStringLiteral("Il record non è stato registrato del tutto; potrebbe esserlo al prossimo avvio del gioco.");
} // namespace PlatformTexts
