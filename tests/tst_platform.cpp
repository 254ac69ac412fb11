// The real dialogs and services, driven the way a child would answer them.
#include "platform/desktopplatform.h"
#include "platform/sound/pulsesoundplayer.h"
#include "testfiles.h"

#include <QAbstractButton>
#include <QApplication>
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
// Once the modal dialog is up, writes down what a child sees in it, as
// "title|text|icon|buttons", then lets `answer` close it.
void whenDialogOpens(QString &seen, std::function<void(QDialog *)> answer)
{
    QTimer::singleShot(0, [&seen, answer] {
        QDialog *dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())); }, 3000))
            return;
        QStringList buttons;
        for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
            buttons << b->text().remove(QLatin1Char('&'));
        buttons.sort();
        const auto *box = qobject_cast<QMessageBox *>(dialog);
        const auto *input = qobject_cast<QInputDialog *>(dialog);
        seen = QStringList{dialog->windowTitle(), box ? box->text() : input->labelText() + input->textValue(),
                           QString::number(box ? box->icon() : -1), buttons.join(QLatin1Char(','))}
                   .join(QLatin1Char('|'));
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
    void boxesSpeakItalianWithTheProgramTitle();
    void promptStartsEmptyAndCancelGivesNothing();
    void recordFolderAndProgramFolder();
    void withoutSoundServerCuesAreSilentAndToldOnce();

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

void TestPlatform::boxesSpeakItalianWithTheProgramTitle()
{
    QString seen;
    const auto pressEnter = [](QDialog *d) { QTest::keyClick(d, Qt::Key_Return); };
    whenDialogOpens(seen, pressEnter);
    m_platform->ShowMessage(QStringLiteral(" Anna vediamo se sei un vero campione  "));
    QCOMPARE(seen, QStringLiteral("Contadopo| Anna vediamo se sei un vero campione  |%1|OK").arg(QMessageBox::NoIcon));

    whenDialogOpens(seen, pressEnter); // the default answer
    QVERIFY(!m_platform->AskYesNo(QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), QStringLiteral("INIZIARE NUOVA GARA")));
    QCOMPARE(seen, QStringLiteral("INIZIARE NUOVA GARA|INIZIAMO UNA NUOVA GARA  ?|%1|No,Sì").arg(QMessageBox::Question));
    whenDialogOpens(seen, [](QDialog *d) { qobject_cast<QMessageBox *>(d)->button(QMessageBox::Yes)->click(); });
    QVERIFY(m_platform->AskYesNo(QStringLiteral("?"), QStringLiteral("t")));
}

void TestPlatform::promptStartsEmptyAndCancelGivesNothing()
{
    QString seen;
    whenDialogOpens(seen, [](QDialog *d) { typeAndPress(d, QStringLiteral("Anna Maria"), Qt::Key_Return); });
    QCOMPARE(m_platform->PromptText(QStringLiteral("Come ti chiami?")), QStringLiteral("Anna Maria"));
    QCOMPARE(seen, QStringLiteral("Contadopo|Come ti chiami?|-1|Annulla,OK"));

    whenDialogOpens(seen, [](QDialog *d) { typeAndPress(d, QStringLiteral("Anna"), Qt::Key_Escape); });
    QCOMPARE(m_platform->PromptText(QStringLiteral("Come ti chiami?")), QString());
    // A leaning elbow types no more than a record file can hold.
    whenDialogOpens(seen, [](QDialog *d) { typeAndPress(d, QString(150, QLatin1Char('a')), Qt::Key_Return); });
    QCOMPARE(m_platform->PromptText(QStringLiteral("Come ti chiami?")), QString(100, QLatin1Char('a')));
}

void TestPlatform::recordFolderAndProgramFolder()
{
    const QString dir = m_platform->GetSystemDir();
    QVERIFY2(dir.startsWith(QLatin1Char('/')) && dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QStringLiteral("//")),
             qPrintable(dir));
    QCOMPARE(m_platform->ProgramFolder(), QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
}

void TestPlatform::withoutSoundServerCuesAreSilentAndToldOnce()
{
    put(m_tmp.path() + QStringLiteral("/junk.wav"), "not a wave at all");
    const QString cues = QStringLiteral(CONTADOPO_SOURCE_DIR "/resources/suoni/");
    const QStringList paths{cues + QStringLiteral("Esatto.wav"), cues + QStringLiteral("no.wav"),
                            m_tmp.path() + QStringLiteral("/junk.wav"), m_tmp.path() + QStringLiteral("/missing.wav")};
    QVERIFY(QFileInfo(paths[0]).isFile() && QFileInfo(paths[1]).isFile());

    // What the player says goes to a file, to be counted.
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    QFile said(m_tmp.path() + QStringLiteral("/stderr.txt"));
    QVERIFY(said.open(QIODevice::ReadWrite));
    dup2(said.handle(), STDERR_FILENO);
    for (const QString &path : paths)
        m_sound.preload(path);
    // Between the rounds, long enough for the library to load and the connection to be tried twice.
    for (const int pause : {2500, 0}) {
        for (int i = 0; i < 10 * paths.size(); ++i)
            m_platform->PlaySoundFile(paths.at(i % paths.size()));
        QTest::qWait(pause);
    }
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);

    QVERIFY(QApplication::activeModalWidget() == nullptr);
    const QByteArray text = contentOf(said.fileName());
    QVERIFY2(text.count('\n') <= 1, text.constData());
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
