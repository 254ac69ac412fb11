// The real dialogs and services, driven the way a child would answer them.
#include "platform/desktopplatform.h"
#include "platform/pulsesoundplayer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {
// What a child sees in the modal dialog once it is up; `answer` then closes it.
struct Seen {
    QString title, text;
    QStringList buttons;
    int icon = -1;
};

void whenDialogOpens(Seen &seen, std::function<void(QDialog *)> answer)
{
    QTimer::singleShot(0, [&seen, answer] {
        QDialog *dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())); }, 3000))
            return;
        seen.title = dialog->windowTitle();
        for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
            seen.buttons << b->text().remove(QLatin1Char('&'));
        seen.buttons.sort();
        if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            seen.text = box->text();
            seen.icon = box->icon();
        } else if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            seen.text = input->labelText() + QLatin1Char('|') + input->textValue();
        }
        answer(dialog);
    });
}

void typeAndPress(QDialog *dialog, const QString &typed, Qt::Key key)
{
    QTest::keyClicks(dialog->findChild<QLineEdit *>(), typed);
    QTest::keyClick(dialog, key);
}
} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void messageHasOnlyOkNoIconAndTheProgramTitle();
    void yesNoAsksWithTheQuestionIconAndNoAsDefault();
    void promptStartsEmptyAndCancelGivesNothing();
    void recordFolderAndProgramFolder();
    void withoutSoundServerCuesAreSilentQuickAndToldOnce();

private:
    QTemporaryDir m_tmp;
    PulseSoundPlayer m_sound;
    std::unique_ptr<DesktopPlatform> m_platform;
};

void TestPlatform::initTestCase()
{
    // A server that is not there, even on a desktop that has one.
    qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + m_tmp.path() + QStringLiteral("/no-server")));
    QLocale::setDefault(QLocale(QLocale::English));
    DesktopPlatform::installItalianTranslation();
    m_platform = std::make_unique<DesktopPlatform>(m_sound);
}

void TestPlatform::messageHasOnlyOkNoIconAndTheProgramTitle()
{
    Seen seen;
    whenDialogOpens(seen, [](QDialog *d) { QTest::keyClick(d, Qt::Key_Return); });
    m_platform->ShowMessage(QStringLiteral(" Anna vediamo se sei un vero campione  "));
    QCOMPARE(seen.title, QStringLiteral("Contadopo"));
    QCOMPARE(seen.text, QStringLiteral(" Anna vediamo se sei un vero campione  "));
    QCOMPARE(seen.icon, int(QMessageBox::NoIcon));
    QCOMPARE(seen.buttons, QStringList{QStringLiteral("OK")});
}

void TestPlatform::yesNoAsksWithTheQuestionIconAndNoAsDefault()
{
    Seen seen;
    whenDialogOpens(seen, [](QDialog *d) { QTest::keyClick(d, Qt::Key_Return); }); // the default
    QVERIFY(!m_platform->AskYesNo(QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), QStringLiteral("INIZIARE NUOVA GARA")));
    QCOMPARE(seen.title, QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(seen.icon, int(QMessageBox::Question));
    QCOMPARE(seen.buttons, (QStringList{QStringLiteral("No"), QStringLiteral("Sì")}));
    whenDialogOpens(seen, [](QDialog *d) { qobject_cast<QMessageBox *>(d)->button(QMessageBox::Yes)->click(); });
    QVERIFY(m_platform->AskYesNo(QStringLiteral("?"), QStringLiteral("t")));
}

void TestPlatform::promptStartsEmptyAndCancelGivesNothing()
{
    Seen seen;
    whenDialogOpens(seen, [](QDialog *d) { typeAndPress(d, QStringLiteral("Anna Maria"), Qt::Key_Return); });
    QCOMPARE(m_platform->PromptText(QStringLiteral("Come ti chiami?")), QStringLiteral("Anna Maria"));
    QCOMPARE(seen.title, QStringLiteral("Contadopo"));
    QCOMPARE(seen.text, QStringLiteral("Come ti chiami?|"));
    QVERIFY2(seen.buttons.contains(QStringLiteral("Annulla")), qPrintable(seen.buttons.join(QLatin1Char(','))));

    whenDialogOpens(seen, [](QDialog *d) { typeAndPress(d, QStringLiteral("Anna"), Qt::Key_Escape); });
    QCOMPARE(m_platform->PromptText(QStringLiteral("Come ti chiami?")), QString());
    // A leaning elbow types no more than a record file can hold.
    whenDialogOpens(seen, [](QDialog *d) { typeAndPress(d, QString(150, QLatin1Char('a')), Qt::Key_Return); });
    QCOMPARE(m_platform->PromptText(QStringLiteral("Come ti chiami?")), QString(100, QLatin1Char('a')));
}

void TestPlatform::recordFolderAndProgramFolder()
{
    const QString dir = m_platform->GetSystemDir();
    QVERIFY(dir.startsWith(QLatin1Char('/')));
    QVERIFY(dir.endsWith(QLatin1Char('/')));
    QVERIFY(!dir.endsWith(QStringLiteral("//")));
    QCOMPARE(m_platform->ProgramFolder(), QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
    QVERIFY(!m_platform->ProgramFolder().endsWith(QLatin1Char('/')));
    QVERIFY(!m_platform->Leggifiletxt(m_tmp.path() + QStringLiteral("/missing.txt")).ok());
}

void TestPlatform::withoutSoundServerCuesAreSilentQuickAndToldOnce()
{
    QFile junk(m_tmp.path() + QStringLiteral("/junk.wav"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a wave at all");
    junk.close();
    const QString cues = QStringLiteral(CONTADOPO_SOURCE_DIR "/resources/suoni/");
    const QStringList paths{cues + QStringLiteral("Esatto.wav"), cues + QStringLiteral("no.wav"), junk.fileName(),
                            m_tmp.path() + QStringLiteral("/missing.wav")};
    QVERIFY(QFileInfo(paths[0]).isFile() && QFileInfo(paths[1]).isFile());

    // What the player says goes to a file, to be counted.
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    QFile said(m_tmp.path() + QStringLiteral("/stderr.txt"));
    QVERIFY(said.open(QIODevice::ReadWrite));
    dup2(said.handle(), STDERR_FILENO);

    qint64 slowest = 0;
    auto playAll = [&] {
        for (int i = 0; i < 10; ++i) {
            for (const QString &path : paths) {
                QElapsedTimer timer;
                timer.start();
                m_platform->PlaySoundFile(path);
                slowest = std::max(slowest, timer.nsecsElapsed());
            }
        }
    };
    for (const QString &path : paths)
        m_sound.preload(path);
    playAll();
    // Long enough for the library to load and the connection to be tried twice.
    QTest::qWait(2500);
    playAll();
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);

    QVERIFY2(slowest < 20'000'000, qPrintable(QStringLiteral("a cue kept the caller %1 ms").arg(slowest / 1e6)));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    said.seek(0);
    const QByteArray text = said.readAll();
    QVERIFY2(text.count('\n') <= 1, text.constData());
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
