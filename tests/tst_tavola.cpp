// The window on Qt's offscreen platform, with the operating system faked.
#include "fakeplatform.h"
#include "testfiles.h"

#include "platform/fonts/systemfonts.h"
#include "window/fonts.h"
#include "window/gradientsurface.h"
#include "window/picturebutton.h"
#include "window/tavola.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

namespace {
int blackPixelsInRow(const QImage &image, int y)
{
    int n = 0;
    for (int x = 2; x < image.width() - 2; ++x) // inside the bevel
        n += image.pixelColor(x, y) == QColor(Qt::black);
    return n;
}
} // namespace

class TestTavola : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void whatAChildSees();
    void firstQuestionComesWithTheWindowAndOnlyThen();

    void raceStartingWrongIsJudgedCountedHeardAndShown();
    void answerIsCountedOnceAndKeysFollowTheButtonState();
    void storedRecordIsShownAndLongNamesWidenTheirLabelsOnly();
    void answeringNoOrClosingTheFrameLeavesRaceAndRecordAlone();

    void clockEndsTheRaceOnceEvenUnderTheNewRaceQuestion();
    void exitSavesOnlyAStrictlyBetterScore();
    void unwritableRecordFolderIsReportedAndPlayGoesOn();
    void newRaceYesStartsAgainFromDesignTime();

private:
    // A window started as the program does, its first question on screen.
    Tavola *startedWindow(const QString &name = QStringLiteral("Luca"));
    template<typename T = QWidget> T *control(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    QString caption(const char *name) const { return control<QLabel>(name)->text(); }
    void answer(const QString &typed)
    {
        QTest::keyClicks(control("txtAnswer"), typed);
        QTest::keyClick(control("txtAnswer"), Qt::Key_Return);
    }
    void answerRight() { answer(QString::number(shownNumber() + 1)); }
    void nextQuestion() { QTest::keyClick(control("cmdNext"), Qt::Key_Return); }
    int shownNumber() const { return caption("lblNum1").toInt(); }
    QByteArray recordOnDisk() const
    {
        return contentOf(m_platform.recordDir + QStringLiteral("suc000.txt"))
            + contentOf(m_platform.recordDir + QStringLiteral("nsuc000.txt"));
    }

    std::unique_ptr<QTemporaryDir> m_tmp;
    FakePlatform m_platform;
    std::unique_ptr<Tavola> m_window;
};

void TestTavola::initTestCase()
{
    SystemFonts::installSubstitutions();
}

void TestTavola::init()
{
    m_window.reset(); // the last test's, before the platform it uses goes
    m_tmp = std::make_unique<QTemporaryDir>();
    m_platform = FakePlatform();
    m_platform.recordDir = m_tmp->path() + QLatin1Char('/');
}

Tavola *TestTavola::startedWindow(const QString &name)
{
    m_platform.promptAnswers << name;
    m_window = std::make_unique<Tavola>(m_platform);
    m_window->start();
    const bool asked = QTest::qWaitForWindowActive(m_window.get())
        && QTest::qWaitFor([this] { return !caption("lblNum1").isEmpty(); }, 3000);
    return asked ? m_window.get() : nullptr;
}

void TestTavola::whatAChildSees()
{
    {
        const Tavola designed(m_platform);
        QVERIFY(!designed.findChild<QWidget *>(QStringLiteral("cmdNext"))->isEnabled());
    }
    QVERIFY(startedWindow());
    auto *next = control<PictureButton>("cmdNext");
    auto *exit = control<PictureButton>("cmdExit");
    const TavolaLayout::Pictures faces = TavolaLayout::Pictures::load();
    QVERIFY(!next->isEnabled());
    QCOMPARE(next->currentPicture().toImage(), faces.grin.toImage());

    // Every control whole inside the window as designed; every label plain text.
    const QRect client(0, 0, TavolaLayout::kClientWidth, TavolaLayout::kClientHeight);
    for (QWidget *w : m_window->surface()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        QVERIFY2(client.contains(w->geometry()), qPrintable(w->objectName()));
    for (QLabel *label : m_window->findChildren<Label *>())
        QCOMPARE(label->textFormat(), Qt::PlainText);

    // The number: blue on yellow, in the sans face actually drawn.
    const QImage number = m_window->surface()->grab(control("lblNum1")->geometry()).toImage();
    QCOMPARE(number.pixelColor(3, 3), QColor(Qt::yellow));
    bool blue = false;
    for (int y = 0; y < number.height() && !blue; ++y)
        for (int x = 0; x < number.width() && !blue; ++x)
            blue = number.pixelColor(x, y) == QColor(Qt::blue);
    QVERIFY2(blue, "no blue digit on the number");
    QCOMPARE(QFontInfo(control("lblNum1")->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(control("lblScore")->font()).family(), QStringLiteral("Liberation Serif"));

    // Each counter under its own title; the wrong and total ones in their title's colour.
    for (const auto &[title, text, counter] : {std::tuple{"Label6", "Risposte esatte", "lblScore"},
                                               std::tuple{"Label1", "Risposte errate", "lblScore1"},
                                               std::tuple{"Label3", "Risposte totali", "lblScore2"}}) {
        const QRect head = control(title)->geometry();
        const QRect below = control(counter)->geometry();
        QCOMPARE(caption(title), QString::fromUtf8(text));
        QVERIFY2(head.left() <= below.center().x() && below.center().x() <= head.right() && below.top() >= head.bottom(), counter);
        if (counter != QLatin1String("lblScore"))
            QCOMPARE(control(counter)->palette().color(QPalette::WindowText), control(title)->palette().color(QPalette::WindowText));
    }

    // A wrong verdict: red, bold, italic.
    answer(QStringLiteral("0"));
    auto *verdict = control<QLabel>("lblMessage");
    QCOMPARE(verdict->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(QFontInfo(verdict->font()).bold() && QFontInfo(verdict->font()).italic());

    // The enabled button shows the smile, the disabled one the grin; raised, with the
    // dotted focus rectangle on it and on no other button.
    QVERIFY(next->isEnabled() && next->hasFocus());
    QCOMPARE(next->currentPicture().toImage(), faces.smile.toImage());
    exit->setDown(true); // held down, the sign stays
    QCOMPARE(exit->currentPicture().toImage(), faces.noEntry.toImage());
    exit->setDown(false);
    const QImage focused = next->grab().toImage();
    const QImage unfocused = exit->grab().toImage();
    QCOMPARE(focused.pixelColor(focused.width() / 2, 0), QColor(Qt::white));
    QCOMPARE(focused.pixelColor(focused.width() / 2, focused.height() - 1), QColor(Qt::black));
    QCOMPARE(focused.pixelColor(focused.width() / 2, 8), next->faceColour());
    QVERIFY(blackPixelsInRow(focused, 4) > 10);
    QCOMPARE(blackPixelsInRow(unfocused, 4), 0);
    QCOMPARE(m_window->Next()->text(), QStringLiteral("nuovo"));
}

void TestTavola::firstQuestionComesWithTheWindowAndOnlyThen()
{
    QVERIFY(startedWindow());
    const int number = shownNumber();
    QCOMPARE(m_window->race().state().expectedAnswer, number + 1);
    // Closing a box, coming back from another program or from the task bar is no new
    // activation; a minimized window keeps its other caption.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(m_window.get(), &activate);
    m_window->showMinimized();
    QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("Piuuno"));
    m_window->showMaximized();
    m_window->activateWindow();
    QTest::qWait(100);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Piuuno"));
    QCOMPARE(m_window->race().state().expectedAnswer, number + 1);
    QCOMPARE(shownNumber(), number);
}

void TestTavola::raceStartingWrongIsJudgedCountedHeardAndShown()
{
    QVERIFY(startedWindow());
    auto *box = control<QLineEdit>("txtAnswer");
    auto *next = control("cmdNext");
    GradientSurface *surface = m_window->surface();
    QCOMPARE(surface->width(), m_window->width());
    // Down the right edge, clear of every control: the question's gradient, or black.
    const auto edge = [surface] {
        const QImage shot = surface->grab().toImage();
        const int x = shot.width() - 2;
        return QList<QColor>{shot.pixelColor(x, 0), shot.pixelColor(x, shot.height() / 2), shot.pixelColor(x, shot.height() - 1)};
    };
    const auto shade = [this] {
        const int s = 10 * m_window->race().state().backgroundShade;
        return QList<QColor>{QColor(s, s, 0), QColor(s, s, 128), QColor(s, s, 255)};
    };
    // A screen reader says the verdict where the focus lands.
    const auto description = [next] { return QAccessible::queryAccessibleInterface(next)->text(QAccessible::Description); };
    int right = 0, wrong = 0;
    // Wrong first, so a right and a wrong counter swapped never agree by chance.
    for (const bool beRight : {false, true, true, false}) {
        QCOMPARE(edge(), shade());
        const int expected = shownNumber() + 1;
        if (beRight)
            answer(QString::number(expected).rightJustified(4, QLatin1Char('0'))); // leading zeros are fine
        else
            answer(wrong == 0 ? QString() : QString::number(expected + 1));
        (beRight ? right : wrong) += 1;
        const QString verdict = beRight ? QStringLiteral("Esatto! Luca sei forte!") : QStringLiteral("Sbagliato!! %1").arg(expected);
        QCOMPARE(caption("lblMessage"), verdict);
        QCOMPARE(m_platform.sounds.last(), beRight ? QStringLiteral("/opt/contadopo/suoni/Esatto.wav")
                                                   : QStringLiteral("/opt/contadopo/suoni/no.wav"));
        QCOMPARE(edge(), beRight ? shade() : QList<QColor>(3, QColor(Qt::black)));
        QCOMPARE(caption("lblScore") + caption("lblScore1") + caption("lblScore2"),
                 QStringLiteral("%1%2%3").arg(right).arg(wrong).arg(right + wrong));
        QCOMPARE(QApplication::focusWidget(), next);
        QVERIFY2(description().startsWith(verdict), qPrintable(description()));
        nextQuestion();
        QCOMPARE(box->text() + caption("lblMessage"), QString());
        QCOMPARE(QApplication::focusWidget(), box);
        QVERIFY(!description().startsWith(verdict));
    }
}

void TestTavola::answerIsCountedOnceAndKeysFollowTheButtonState()
{
    QVERIFY(startedWindow());
    auto *box = control<QLineEdit>("txtAnswer");
    auto *next = control("cmdNext");
    const int number = shownNumber();
    QTest::keyClick(box, Qt::Key_N, Qt::AltModifier); // the button is off: nothing
    QCOMPARE(shownNumber(), number);
    // Only digits and Backspace reach the box, four digits at most.
    QTest::keyClicks(box, QStringLiteral("1a -+.,e9"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QStringLiteral("2345"));
    QCOMPARE(box->text(), QStringLiteral("1234"));
    box->clear();
    answerRight();
    // Back in the box, Enter again: the same answer is not counted twice.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(caption("lblScore2"), QStringLiteral("1"));
    QCOMPARE(m_platform.sounds.size(), 1);

    // An access key presses its button with a short animation; the space bar does too.
    QTest::keyClick(m_window.get(), Qt::Key_N, Qt::AltModifier);
    QTRY_VERIFY(m_window->race().questionOpen());
    answer(QStringLiteral("0")); // never right: the least answer is 1
    next->setFocus();
    QTest::keyClick(next, Qt::Key_Space);
    QVERIFY(!next->isEnabled());
    QVERIFY(m_window->race().questionOpen());

    // Tab runs cmdExit, cmdNext (only while enabled), txtAnswer.
    control("cmdExit")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), box);
    answer(QStringLiteral("0"));
    control("cmdExit")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), next);

    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    QTest::keyClick(box, Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(quit.count(), 1);
    QVERIFY(!m_platform.messages.contains(QStringLiteral("Ciao, alla prossima sfida. "))); // no goodbye on exit
}

void TestTavola::storedRecordIsShownAndLongNamesWidenTheirLabelsOnly()
{
    storeHolding(m_platform.recordDir, "3\r\n", "Bartolomeo Filiberto\r\n");
    m_window = std::make_unique<Tavola>(m_platform);
    QHash<QString, QRect> before;
    for (QWidget *w : m_window->surface()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        before.insert(w->objectName(), w->geometry());
    m_platform.promptAnswers << QStringLiteral("Massimiliano Giovanni");
    m_window->Form_Load();
    QCOMPARE(caption("lblpunti") + caption("lblnome"), QStringLiteral("3\r\nBartolomeo Filiberto\r\n"));
    for (QWidget *w : m_window->surface()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect was = before.value(w->objectName());
        QCOMPARE(w->pos(), was.topLeft());
        const bool named = w->objectName() == QLatin1String("lblnome1") || w->objectName() == QLatin1String("lblnome");
        if (named)
            QVERIFY2(w->width() > was.width() + 100, qPrintable(w->objectName()));
        else if (w->objectName() != QLatin1String("lblpunti") && w->objectName() != QLatin1String("lblconto"))
            QCOMPARE(w->size(), was.size());
    }
}

void TestTavola::answeringNoOrClosingTheFrameLeavesRaceAndRecordAlone()
{
    QVERIFY(startedWindow(QStringLiteral("Anna")));
    answerRight();
    const QList<QAction *> menus = m_window->menuBar()->actions();
    QVERIFY(menus.size() == 2 && menus[1]->menu()->actions().contains(m_window->Next()));
    m_window->Next()->trigger(); // answered No
    QCOMPARE(m_platform.questions, QStringList{QStringLiteral("INIZIARE NUOVA GARA|INIZIAMO UNA NUOVA GARA  ?")});
    QCOMPARE(caption("lblScore") + caption("lblMessage"), QStringLiteral("1Esatto! Anna sei forte!"));

    // Better than the empty record, yet closed from the frame: nothing is stored.
    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    QVERIFY(m_window->close());
    QCOMPARE(quit.count(), 1);
    QCOMPARE(m_platform.messages.size(), 1); // the greeting alone
    QCOMPARE(recordOnDisk(), QByteArray());
}

void TestTavola::clockEndsTheRaceOnceEvenUnderTheNewRaceQuestion()
{
    QVERIFY(startedWindow(QStringLiteral("Anna")));
    answerRight();
    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    m_window->Timer1_Timer();
    QCOMPARE(caption("lblconto"), QStringLiteral("00:04:59"));
    for (int i = 1; i < 300; ++i)
        m_window->Timer1_Timer();
    QCOMPARE(caption("lblconto"), QStringLiteral("00:00:00"));
    QCOMPARE(quit.count(), 0);

    // The last tick comes while the child still reads the new-race question, who then
    // says Yes; ticks keep coming while the goodbye box is open.
    int ticksDuringGoodbye = 0;
    m_platform.duringBox = [&](const QString &text) {
        if (text == QLatin1String("INIZIAMO UNA NUOVA GARA  ?"))
            m_window->Timer1_Timer();
        for (; text == QLatin1String("Ciao, alla prossima sfida. ") && ticksDuringGoodbye < 3; ++ticksDuringGoodbye)
            m_window->Timer1_Timer();
    };
    m_platform.yesNoAnswers << true;
    m_platform.promptAnswers << QStringLiteral("7") << QStringLiteral("Giulia");
    const QWidget *surface = m_window->surface();
    m_window->Next()->trigger();
    QCOMPARE(quit.count(), 1);
    QCOMPARE(ticksDuringGoodbye, 3);
    QCOMPARE(m_platform.messages.mid(1), (QStringList{QStringLiteral("Ciao, alla prossima sfida. "),
                                                      QStringLiteral("Ok! Ho registrato il tuo record, C A M P I O N E")}));
    QVERIFY(!m_window->Timer1()->isActive());
    QCOMPARE(m_platform.prompts.count(QStringLiteral("Come ti chiami?")), 1);
    QCOMPARE(m_window->surface(), surface);
    QCOMPARE(recordOnDisk(), QByteArray("1\r\nAnna\r\n"));
}

void TestTavola::exitSavesOnlyAStrictlyBetterScore()
{
    // Two, then three right answers against a stored 2 (in a browser tab, which stays
    // open and says goodbye); then three, while another copy on this machine stores 5.
    const QString said[] = {QString(), QStringLiteral("Ciao, alla prossima sfida. Ok! Ho registrato il tuo record, C A M P I O N E"),
                            QStringLiteral("Bravo, 3 punti! Ma intanto Bruno ha fatto un record di 5 punti su un altro computer.")};
    const QByteArray stored[] = {"2\r\nOld\r\n", "3\r\nAnna Maria\r\n", "5\r\nBruno\r\n"};
    for (int i = 0; i < 3; ++i) {
        storeHolding(m_platform.recordDir, "2\r\n", "Old\r\n");
        QVERIFY(startedWindow(QStringLiteral("Anna Maria")));
        for (int n = 0; n < (i == 0 ? 2 : 3); ++n) {
            answerRight();
            nextQuestion();
        }
        if (i == 2)
            storeHolding(m_platform.recordDir, "5\r\n", "Bruno\r\n");
        const int messages = m_platform.messages.size();
        m_platform.canClose = i != 1;
        m_window->cmdExit_Click();
        QVERIFY(m_window->quitting());
        QCOMPARE(m_platform.messages.mid(messages).join(QString()), said[i]);
        QCOMPARE(recordOnDisk(), stored[i]);
    }
}

void TestTavola::unwritableRecordFolderIsReportedAndPlayGoesOn()
{
    put(m_tmp->path() + QStringLiteral("/plain"), QByteArray());
    m_platform.recordDir = m_tmp->path() + QStringLiteral("/plain/records/");
    QVERIFY(startedWindow());
    QCOMPARE(m_platform.messages.size(), 2);
    QVERIFY(m_platform.messages.at(1).startsWith(QStringLiteral("Non riesco a creare il file del record ")));
    QVERIFY(m_platform.messages.at(1).contains(QStringLiteral("/nsuc000.txt")));
    QVERIFY(m_platform.messages.at(1).endsWith(QStringLiteral("\nSi gioca lo stesso, con un record vuoto.")));
    answerRight();
    QCOMPARE(caption("lblScore"), QStringLiteral("1"));
    m_window->cmdExit_Click();
    QVERIFY(m_platform.messages.last().startsWith(QStringLiteral("Non riesco a scrivere il file del record ")));
    QVERIFY(m_platform.messages.last().endsWith(QStringLiteral("Il record non è stato registrato; resta quello di prima.")));
    QVERIFY(m_window->quitting());
}

void TestTavola::newRaceYesStartsAgainFromDesignTime()
{
    QVERIFY(startedWindow(QString())); // no name, and no limit below
    answerRight();
    nextQuestion();
    answer(QStringLiteral("0"));
    m_window->Timer1_Timer();
    m_window->setWindowTitle(QStringLiteral("Piuuno")); // as after a minimize

    const QWidget *oldSurface = m_window->surface();
    m_platform.yesNoAnswers << true;
    m_platform.promptAnswers << QString() << QStringLiteral("Giulia");
    const int messages = m_platform.messages.size();
    m_window->Next()->trigger();

    QCOMPARE(m_platform.prompts.mid(1), (QStringList{QStringLiteral("Tavola pitagorica fino al numero? "),
                                                     QStringLiteral("Come ti chiami?")}));
    QCOMPARE(m_platform.messages.mid(messages), (QStringList{QStringLiteral("  siccome non hai scelto arriviamo fino al 10."),
                                                             QStringLiteral(" Giulia vediamo se sei un vero campione  ")}));
    QCOMPARE(m_window->race().state().tableLimitText, QStringLiteral("10"));

    QVERIFY(m_window->surface() != oldSurface);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Contadopo"));
    QCOMPARE(caption("lblconto"), QStringLiteral("00:05:00"));
    QCOMPARE(caption("lblnome1"), QStringLiteral("Giulia"));
    QCOMPARE(caption("lblScore") + caption("lblScore1") + caption("lblScore2"), QStringLiteral("000"));
    QCOMPARE(m_window->findChildren<GradientSurface *>().size(), 1);

    // The showing asks the first question of the new race; the focus goes to the box
    // (offscreen never activates a window shown again, a desktop does).
    QTRY_VERIFY_WITH_TIMEOUT(!caption("lblNum1").isEmpty(), 3000);
    QCOMPARE(m_window->focusWidget(), control("txtAnswer"));
    answerRight();
    QCOMPARE(caption("lblMessage"), QStringLiteral("Esatto! Giulia sei forte!"));
    QCOMPARE(caption("lblScore2"), QStringLiteral("1")); // both counters began again
}

QTEST_MAIN(TestTavola)
#include "tst_tavola.moc"
