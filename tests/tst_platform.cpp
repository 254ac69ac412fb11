// The real dialogs and services, driven the way a child would answer them.
#include "platform/desktopplatform.h"
#include "platform/sound/pulsesoundplayer.h"
#include "testfiles.h"
#include "window/appsetup.h"
#include "window/tavola.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {
// What a child sees in a dialog, as "title|text|icon|buttons", the one Enter presses marked *.
QString seenIn(QDialog *dialog)
{
    const auto *box = qobject_cast<QMessageBox *>(dialog);
    QStringList buttons;
    for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
        buttons << b->text().remove(QLatin1Char('&')) + (box && box->defaultButton() == qobject_cast<QPushButton *>(b) ? QStringLiteral("*") : QString());
    buttons.sort();
    const auto *input = qobject_cast<QInputDialog *>(dialog);
    return QStringList{dialog->windowTitle(), box ? box->text() : input->labelText() + input->textValue(),
                       QString::number(box ? box->icon() : -1), buttons.join(QLatin1Char(','))}
        .join(QLatin1Char('|'));
}
} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void newRaceFromTheMenuThroughTheProgramsOwnSetUp();

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
    prepareApplication();
    m_platform = std::make_unique<DesktopPlatform>(m_sound);
    const QString dir = m_platform->GetSystemDir();
    QVERIFY2(dir.startsWith(QLatin1Char('/')) && dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QStringLiteral("//")), qPrintable(dir));
    QCOMPARE(m_platform->ProgramFolder(), QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath());
}

void TestPlatform::newRaceFromTheMenuThroughTheProgramsOwnSetUp()
{
    // The program as main() runs it, real dialogs included, on a record folder of the test's.
    struct Program : DesktopPlatform {
        using DesktopPlatform::DesktopPlatform;
        QString folder;
        QString GetSystemDir() override { return folder; }
    } program(m_sound);
    program.folder = m_tmp.path() + QStringLiteral("/");

    // A child answers each box as it opens (a prompt with Enter, or Escape after a "\x1b"),
    // and plays when the window asks a question: a wrong and a right answer, then a new race
    // from the menu with the window minimized before, a limit typed then cancelled, and
    // another name, leant on: no more than a record file holds. A right answer there, and Exit.
    const QString bea = QStringLiteral("Bea") + QString(97, QLatin1Char('a'));
    QStringList answers{QStringLiteral("Anna"), QString(), QStringLiteral("Sì"), QStringLiteral("7\x1b"), QString(),
                        bea + QString(50, QLatin1Char('a')), QString(), QString()};
    QStringList seen;
    Tavola *window = nullptr; // once the program has made it
    bool busy = false;
    const auto later = [&busy](std::function<void()> act) {
        busy = true;
        QTimer::singleShot(0, qApp, [&busy, act] {
            act();
            busy = false;
        });
    };
    const auto caption = [&window](const char *name) { return window->findChild<QLabel *>(QLatin1String(name))->text(); };
    QHash<QString, int> answered;
    // At a race's first question the clock has run down from five minutes at most as long
    // as real time since the greeting (a busy machine may be slow to show the window).
    QElapsedTimer greeted;
    const auto clockRanFresh = [&] {
        const int ran = QTime::fromString(caption("lblconto"), QStringLiteral("hh:mm:ss")).secsTo(QTime(0, 5));
        return 0 <= ran && ran <= greeted.elapsed() / 1000 + 1;
    };
    const auto answer = [&](bool right) {
        QLineEdit *box = window->findChild<QLineEdit *>(QStringLiteral("txtAnswer"));
        QTest::keyClicks(box, right ? QString::number(caption("lblNum1").toInt() + 1) : QStringLiteral("0")); // 0 never is right
        QTest::keyClick(box, Qt::Key_Return);
    };
    QTimer child;
    connect(&child, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()); dialog && !dialog->property("seen").toBool()) {
            dialog->setProperty("seen", true);
            // A box shown while the window is up belongs to it, and stays over it.
            seen << (dialog->parentWidget() ? QStringLiteral("over the window: ") : QString()) + seenIn(dialog);
            const QString answer = answers.isEmpty() ? QStringLiteral("?") : answers.takeFirst();
            const bool greeting = seen.last().contains(QStringLiteral("campione"));
            later([dialog, answer, greeting, &greeted] {
                if (greeting)
                    greeted.start(); // the clock starts once the greeting is closed
                if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                    QTest::keyClicks(input->findChild<QLineEdit *>(), QString(answer).remove(QLatin1Char('\x1b')));
                    return QTest::keyClick(dialog, answer.endsWith(QLatin1Char('\x1b')) ? Qt::Key_Escape : Qt::Key_Return);
                } else if (!answer.isEmpty())
                    for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
                        if (b->text().remove(QLatin1Char('&')) == answer)
                            return b->click();
                QTest::keyClick(dialog, Qt::Key_Return);
            });
            return;
        }
        for (QWidget *w : QApplication::topLevelWidgets())
            window = window ? window : qobject_cast<Tavola *>(w);
        if (busy || QApplication::activeModalWidget() || !window || !window->isVisible() || caption("lblNum1").isEmpty())
            return;
        // Anna answers wrong, then right; Bea right.
        const QString player = caption("lblnome1");
        const int needed = player == QLatin1String("Anna") ? 2 : 1;
        const QString counters = caption("lblScore") + caption("lblScore1") + caption("lblScore2");
        if (caption("lblMessage").isEmpty() && answered[player] < needed) {
            const bool typing = QApplication::focusWidget() == window->findChild<QLineEdit *>(QStringLiteral("txtAnswer"));
            if (answered[player] == 0)
                seen << QStringLiteral("question for ") + player << window->windowTitle()
                        + (clockRanFresh() ? QStringLiteral(" a fresh clock ") : QStringLiteral(" %1 ").arg(caption("lblconto")))
                        + counters + (typing ? QString() : QStringLiteral(" (the answer box has no focus)"));
            const bool right = ++answered[player] == needed;
            later([&answer, right] { answer(right); });
        } else if (!caption("lblMessage").isEmpty() && answered[player] < needed) {
            later([window] { QTest::keyClick(window->findChild<QWidget *>(QStringLiteral("cmdNext")), Qt::Key_Return); });
        } else if (!caption("lblMessage").isEmpty() && !seen.contains(player == QLatin1String("Anna") ? "menu" : "exit")) {
            seen << caption("lblMessage") + QLatin1Char(' ') + counters << (player == QLatin1String("Anna") ? "menu" : "exit");
            later([window, &seen, player] {
                if (player != QLatin1String("Anna"))
                    return QTest::keyClick(window, Qt::Key_X, Qt::AltModifier);
                window->showMinimized();
                seen << window->windowTitle();
                window->Next()->trigger();
            });
        }
    });
    child.start(20);
    const int status = runProgram(program, m_sound);
    child.stop();

    QCOMPARE(status, 0);
    // What the child saw: every box as "title|text|icon|buttons", in Italian, the prompts empty.
    QCOMPARE(seen.join(QLatin1Char('\n')).replace(bea, QStringLiteral("Bea")),
             QStringLiteral("Contadopo|Come ti chiami?|-1|Annulla,OK\nContadopo| Anna vediamo se sei un vero campione  |0|OK\n"
                            "question for Anna\nContadopo a fresh clock 000\nEsatto! Anna sei forte! 112\nmenu\nPiuuno\n"
                            "over the window: INIZIARE NUOVA GARA|INIZIAMO UNA NUOVA GARA  ?|4|No*,Sì\n"
                            "over the window: Contadopo|Tavola pitagorica fino al numero? |-1|Annulla,OK\n"
                            "over the window: Contadopo| Anna siccome non hai scelto arriviamo fino al 10.|0|OK\n"
                            "Contadopo|Come ti chiami?|-1|Annulla,OK\nContadopo| Bea vediamo se sei un vero campione  |0|OK\n"
                            "question for Bea\nContadopo a fresh clock 000\nEsatto! Bea sei forte! 101\nexit\n"
                            "over the window: Contadopo|Ok! Ho registrato il tuo record, C A M P I O N E|0|OK"));
    QCOMPARE(contentOf(program.folder + QStringLiteral("suc000.txt")) + contentOf(program.folder + QStringLiteral("nsuc000.txt")),
             "1\r\n" + bea.toUtf8() + "\r\n");
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
