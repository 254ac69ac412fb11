// The window on Qt's offscreen platform, with the operating system faked.
#include "fakeplatform.h"

#include "platform/recordstore.h"
#include "platform/systemfonts.h"
#include "window/fonts.h"
#include "window/gradientsurface.h"
#include "window/picturebutton.h"
#include "window/tavola.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QRect px(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}
} // namespace

class TestTavola : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlTableHoldsAtDesignTime_data();
    void controlTableHoldsAtDesignTime();
    void buttonsAnswerTextBoxAndMenus();

    void startUpAsksNameGreetsAndShowsTheRecord();
    void emptyNameIsAcceptedWithTwoBlanks();
    void firstQuestionComesWithTheWindowAndOnlyThen();
    void gradientCoversTheClientAreaAndBlackGoesAtTheNextQuestion();
    void minimizedCaptionStaysAfterRestore();

    void keyFilterLetsOnlyDigitsAndBackspaceThrough();
    void answersAreJudgedCountedAndHeard();
    void answerIsCountedOnceAndEnterOnTheButtonAsksAgain();
    void accessKeysFollowTheButtonState();
    void longNamesWidenTheirLabelsOnly();

    void clockCountsDownAndEndsTheRaceOnce();
    void exitSavesOnlyAStrictlyBetterScore_data();
    void exitSavesOnlyAStrictlyBetterScore();
    void higherRecordFromAnotherCopyIsKept();
    void failedSaveSaysSoAndQuits();
    void unwritableRecordFolderIsReportedAndPlayGoesOn();
    void newRaceNoChangesNothing();
    void newRaceYesStartsAgainFromDesignTime_data();
    void newRaceYesStartsAgainFromDesignTime();
    void closingFromTheFrameEndsWithoutRecordCheck();
    void screenReaderCanFollowARace();

private:
    // A window started as the program does, its first question on screen.
    Tavola *startedWindow(const QString &name = QStringLiteral("Luca"));
    template<typename T> T *control(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    QString caption(const char *name) const { return control<QLabel>(name)->text(); }
    void answer(const QString &typed);
    int shownNumber() const { return caption("lblNum1").toInt(); }

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
    m_tmp = std::make_unique<QTemporaryDir>();
    m_platform = FakePlatform();
    m_platform.recordDir = m_tmp->path() + QLatin1Char('/');
}

void TestTavola::cleanup()
{
    m_window.reset();
}

Tavola *TestTavola::startedWindow(const QString &name)
{
    m_platform.promptAnswers << name;
    m_window = std::make_unique<Tavola>(m_platform);
    m_window->start();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        return nullptr;
    if (!QTest::qWaitFor([this] { return !caption("lblNum1").isEmpty(); }, 3000))
        return nullptr;
    return m_window.get();
}

void TestTavola::answer(const QString &typed)
{
    auto *box = control<QLineEdit>("txtAnswer");
    QTest::keyClicks(box, typed);
    QTest::keyClick(box, Qt::Key_Return);
}

void TestTavola::controlTableHoldsAtDesignTime_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<QColor>("textColour");
    QTest::addColumn<QColor>("fill"); // invalid: transparent
    QTest::addColumn<bool>("bordered");
    QTest::addColumn<bool>("centred");
    QTest::addColumn<bool>("autoSize");
    QTest::addColumn<QString>("toolTip");

    const QColor none;
    const QColor yellow(0xFF, 0xFF, 0x00), blue(0x00, 0x00, 0xFF), red(0xFF, 0, 0), cyan(0x00, 0xFF, 0xFF);
    const QColor standard = QApplication::palette().color(QPalette::WindowText);
    auto row = [&](const char *name, const char *text, QRect g, const char *family, double pt, bool bold, bool italic,
                   QColor fg, QColor bg, bool border, bool centred, bool autoSize, const char *tip = "") {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text) << g << QString::fromLatin1(family) << pt
                            << bold << italic << fg << bg << border << centred << autoSize << QString::fromUtf8(tip);
    };
    row("lblNum1", "", px(2520, 120, 495, 1725), "Arial", 72, true, false, blue, yellow, true, true, true);
    row("Label2", "+", px(4320, 240, 615, 1455), "Arial", 72, false, false, yellow, none, false, true, false);
    row("Label7", "1", px(5400, 120, 855, 1695), "Arial", 72, true, false, blue, yellow, true, true, false);
    row("Label4", "=", px(6600, 0, 615, 1575), "Arial", 72, true, false, yellow, none, false, true, false);
    row("Label11", "Tempo restante", px(0, 1320, 1575, 375), "MS Sans Serif", 9.75, false, false, yellow, none, false, false, false);
    row("lblconto", "00.00.00", px(0, 2280, 1575, 495), "Arial Black", 12, true, false, yellow, none, true, false, false);
    row("lblMessage", "", px(1680, 2040, 6615, 615), "MS Sans Serif", 24, true, true, red, none, false, true, false);
    row("Label6", "Risposte esatte", px(240, 3360, 2565, 495), "MS Sans Serif", 18, false, false, cyan, none, true, true, true);
    row("Label1", "Risposte errate", px(3840, 3360, 2520, 495), "MS Sans Serif", 18, false, false, red, none, true, false, true);
    row("Label3", "Risposte totali", px(7440, 3360, 2340, 495), "MS Sans Serif", 18, false, false, blue, none, true, false, true);
    row("lblScore", "0", px(1080, 4080, 555, 885), "Times New Roman", 36, true, false, standard, none, true, true, true,
        "Questo è il tuo punteggio. Forza con il  record");
    row("lblScore1", "0", px(4830, 4080, 540, 885), "Times New Roman", 36, true, false, red, none, true, true, true);
    row("lblScore2", "0", px(8310, 4080, 555, 885), "Times New Roman", 36, true, false, blue, none, true, true, true);
    row("Label14", "Sfidante", px(720, 5520, 1425, 420), "MS Sans Serif", 13.5, false, false, cyan, none, true, true, true);
    row("lblnome1", "", px(240, 6480, 165, 420), "MS Sans Serif", 13.5, true, false, cyan, none, true, false, true);
    row("Label12", "Il record  è di ", px(120, 7560, 3255, 615), "MS Sans Serif", 24, false, false, yellow, none, false, false, false);
    row("lblnome", "nome", px(3120, 7560, 1275, 555), "MS Sans Serif", 24, true, false, yellow, none, false, false, true);
    row("Label13", "con punti", px(7680, 7560, 1965, 555), "MS Sans Serif", 24, false, false, yellow, none, false, false, true);
    row("lblpunti", "0", px(10080, 7560, 270, 555), "MS Sans Serif", 24, false, false, yellow, none, false, false, true);
}

void TestTavola::controlTableHoldsAtDesignTime()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(QString, family);
    QFETCH(double, points);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(QColor, textColour);
    QFETCH(QColor, fill);
    QFETCH(bool, bordered);
    QFETCH(bool, centred);
    QFETCH(bool, autoSize);
    QFETCH(QString, toolTip);

    m_window = std::make_unique<Tavola>(m_platform);
    auto *label = m_window->findChild<Label *>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->pos(), geometry.topLeft());
    QCOMPARE(label->autoSize(), autoSize);
    if (autoSize) {
        // Just around its text: one line high, as wide as the text.
        const QFontMetrics fm(label->font());
        QVERIFY(label->width() >= fm.horizontalAdvance(text));
        QVERIFY(label->width() <= fm.horizontalAdvance(text) + 8);
        QVERIFY(label->height() >= fm.height());
        QVERIFY(label->height() <= fm.height() + 4);
    } else
        QCOMPARE(label->size(), geometry.size());
    QCOMPARE(label->font().family(), family);
    QCOMPARE(label->font().pointSizeF(), points);
    QCOMPARE(label->font().bold() || label->font().weight() > QFont::Bold, bold);
    QCOMPARE(label->font().italic(), italic);
    QCOMPARE(label->palette().color(QPalette::WindowText), textColour);
    QCOMPARE(label->autoFillBackground(), fill.isValid());
    if (fill.isValid())
        QCOMPARE(label->palette().color(QPalette::Window), fill);
    QCOMPARE(label->frameShape() == QFrame::Box, bordered);
    QCOMPARE(bool(label->alignment() & Qt::AlignHCenter), centred);
    QCOMPARE(label->toolTip(), toolTip);
    QVERIFY(label->isEnabled());
    QCOMPARE(label->focusPolicy(), Qt::NoFocus);
}

void TestTavola::buttonsAnswerTextBoxAndMenus()
{
    m_window = std::make_unique<Tavola>(m_platform);
    auto *box = control<QLineEdit>("txtAnswer");
    QCOMPARE(box->geometry(), px(8160, 0, 2775, 1770));
    QCOMPARE(box->maxLength(), 4);
    QCOMPARE(box->text(), QString());
    QCOMPARE(box->font().family(), QStringLiteral("Arial"));
    QCOMPARE(box->font().pointSizeF(), 72.0);
    QVERIFY(box->font().bold());
    QCOMPARE(box->palette().color(QPalette::Text), QColor(0, 0, 0xFF));
    QCOMPARE(box->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0x80));
    QCOMPARE(box->toolTip(), QStringLiteral("Inserisci il risultato e  premi il tasto  Invio"));

    auto *next = control<PictureButton>("cmdNext");
    QCOMPARE(next->geometry(), px(4200, 5280, 1815, 1095));
    QCOMPARE(next->text(), QStringLiteral("&Nuovo calcolo"));
    QCOMPARE(next->faceColour(), QColor(0x00, 0xC0, 0xC0));
    QCOMPARE(next->font().pointSizeF(), 8.25);
    QVERIFY(next->font().bold());
    QVERIFY(!next->isEnabled());
    QCOMPARE(next->toolTip(), QStringLiteral("Go"));
    QVERIFY(!next->currentPicture().isNull());
    const QImage disabledFace = next->currentPicture().toImage();
    next->setEnabled(true);
    QVERIFY2(next->currentPicture().toImage() != disabledFace, "a disabled button shows the grin");
    next->setDown(true);
    QVERIFY(next->currentPicture().toImage() != disabledFace);

    auto *exit = control<PictureButton>("cmdExit");
    QCOMPARE(exit->geometry(), px(7680, 5280, 2055, 1095));
    QCOMPARE(exit->text(), QStringLiteral("E&xit"));
    QCOMPARE(exit->faceColour(), QColor(0xC0, 0x00, 0xC0));
    QVERIFY(exit->isEnabled());
    QCOMPARE(exit->toolTip(), QStringLiteral("Ti prego resta ancora, forse riuscirai a farmi uscire "));
    QCOMPARE(exit->cursor().shape(), Qt::ArrowCursor);

    auto *image = control<QLabel>("Image1");
    QCOMPARE(image->geometry(), px(480, 1680, 480, 480));
    QCOMPARE(image->pixmap().size(), QSize(32, 32));
    QCOMPARE(image->toolTip(), QStringLiteral("Clicca sotto di me per impostare il Timer"));

    // Duck over the background and labels, our icon pointer over cmdNext and the verdict.
    QCOMPARE(m_window->surface()->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(m_window->surface()->cursor().pixmap().size(), QSize(48, 48));
    QCOMPARE(next->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(control<QLabel>("lblMessage")->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(control<QLabel>("lblMessage")->cursor().pixmap().size(), QSize(32, 32));

    QCOMPARE(m_window->Timer1()->interval(), 1000);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Contadopo"));
    QVERIFY(!m_window->windowIcon().isNull());

    const QList<QAction *> menus = m_window->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->menu()->actions().size(), 1);
    const QList<QAction *> second = menus.at(1)->menu()->actions();
    QCOMPARE(second.size(), 3);
    QCOMPARE(second.at(1), m_window->Next());
    QCOMPARE(m_window->Next()->text(), QStringLiteral("nuovo"));

}

void TestTavola::startUpAsksNameGreetsAndShowsTheRecord()
{
    RecordStore store(m_platform.recordDir);
    store.EnsureRecordFiles();
    RecordStore::WriteRecordFile(store.scorePath(), QStringLiteral("12"));
    RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Maria Luisa"));

    QVERIFY(startedWindow(QStringLiteral("Niccolò")));
    QCOMPARE(m_platform.prompts, QStringList{QStringLiteral("Come ti chiami?")});
    QCOMPARE(m_platform.messages.first(), QStringLiteral(" Niccolò vediamo se sei un vero campione  "));
    QCOMPARE(caption("lblnome1"), QStringLiteral("Niccolò"));
    QCOMPARE(caption("lblpunti"), QStringLiteral("12\r\n"));
    QCOMPARE(caption("lblnome"), QStringLiteral("Maria Luisa\r\n"));
    QCOMPARE(caption("lblconto"), QStringLiteral("00:05:00"));
    QVERIFY(m_window->Timer1()->isActive());
    for (const char *counter : {"lblScore", "lblScore1", "lblScore2"})
        QCOMPARE(caption(counter), QStringLiteral("0"));
    QVERIFY(m_window->isMaximized());
    QCOMPARE(m_window->race().state().recordDir, m_platform.recordDir);
}

void TestTavola::emptyNameIsAcceptedWithTwoBlanks()
{
    QVERIFY(startedWindow(QString()));
    QCOMPARE(m_platform.messages.first(), QStringLiteral("  vediamo se sei un vero campione  "));
    QCOMPARE(caption("lblnome1"), QString());
    // First run: both files made empty, both labels empty.
    QCOMPARE(caption("lblpunti"), QString());
    QCOMPARE(caption("lblnome"), QString());
    QCOMPARE(contentOf(m_platform.recordDir + QStringLiteral("suc000.txt")), QByteArray());
    QCOMPARE(contentOf(m_platform.recordDir + QStringLiteral("nsuc000.txt")), QByteArray());
    QCOMPARE(m_platform.messages.size(), 1);
}

void TestTavola::firstQuestionComesWithTheWindowAndOnlyThen()
{
    QVERIFY(startedWindow());
    const int number = shownNumber();
    QVERIFY(number >= 0 && number <= 999);
    QCOMPARE(m_window->race().state().expectedAnswer, number + 1);
    QCOMPARE(QApplication::focusWidget(), control<QLineEdit>("txtAnswer"));
    QVERIFY(!control<QWidget>("cmdNext")->isEnabled());
    QCOMPARE(caption("lblMessage"), QString());

    // Closing a box or coming back from another program is no new activation.
    const qint16 expected = m_window->race().state().expectedAnswer;
    for (int i = 0; i < 5; ++i) {
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(m_window.get(), &deactivate);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(m_window.get(), &activate);
    }
    QTest::qWait(50);
    QCOMPARE(m_window->race().state().expectedAnswer, expected);
    QCOMPARE(shownNumber(), number);

    // The button asks a new question just like the activation did.
    m_window->cmdNext_Click();
    QCOMPARE(m_window->race().state().expectedAnswer, shownNumber() + 1);
}

void TestTavola::gradientCoversTheClientAreaAndBlackGoesAtTheNextQuestion()
{
    QVERIFY(startedWindow());
    GradientSurface *surface = m_window->surface();
    QCOMPARE(surface, m_window->centralWidget());
    QCOMPARE(surface->width(), m_window->width());

    auto check = [&] {
        const int s = m_window->race().state().backgroundShade;
        QCOMPARE(surface->shade(), s);
        const QImage shot = surface->grab().toImage();
        const int x = shot.width() - 2; // right edge, clear of every control
        QCOMPARE(shot.pixelColor(x, 0), QColor(10 * s, 10 * s, 0));
        QCOMPARE(shot.pixelColor(x, shot.height() - 1), QColor(10 * s, 10 * s, 255));
        QCOMPARE(shot.pixelColor(x, shot.height() / 2), QColor(10 * s, 10 * s, 128));
    };
    check();

    answer(QStringLiteral("x")); // empty: wrong
    QVERIFY(surface->isBlack());
    const QImage black = surface->grab().toImage();
    QCOMPARE(black.pixelColor(black.width() - 2, 0), QColor(Qt::black));
    QCOMPARE(black.pixelColor(black.width() - 2, black.height() - 1), QColor(Qt::black));

    QTest::keyClick(control<QWidget>("cmdNext"), Qt::Key_Return);
    QVERIFY(!surface->isBlack());
    check();

    // Covered and uncovered: painted again from the same state.
    surface->repaint();
    check();
}

void TestTavola::minimizedCaptionStaysAfterRestore()
{
    QVERIFY(startedWindow());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Contadopo"));
    const int number = shownNumber();
    m_window->showMinimized();
    QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("Piuuno"));
    m_window->showMaximized();
    m_window->activateWindow();
    QTest::qWait(100);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Piuuno"));
    QCOMPARE(shownNumber(), number);
}

void TestTavola::keyFilterLetsOnlyDigitsAndBackspaceThrough()
{
    QVERIFY(startedWindow());
    auto *box = control<QLineEdit>("txtAnswer");
    QTest::keyClicks(box, QStringLiteral("1a -+.,e2"));
    QCOMPARE(box->text(), QStringLiteral("12"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("1"));
    QTest::keyClicks(box, QStringLiteral("2345"));
    QCOMPARE(box->text(), QStringLiteral("1234"));
    QCOMPARE(m_window->race().state().wrongCount + m_window->race().state().correctCount, 0);
}

void TestTavola::answersAreJudgedCountedAndHeard()
{
    QVERIFY(startedWindow());
    auto *box = control<QLineEdit>("txtAnswer");
    auto *next = control<QWidget>("cmdNext");
    int right = 0, wrong = 0;
    for (int round = 0; round < 6; ++round) {
        const int expected = shownNumber() + 1;
        const bool beRight = round % 2 == 0;
        if (beRight && expected < 1000)
            answer(QString::number(expected).rightJustified(4, QLatin1Char('0'))); // leading zeros are fine
        else if (beRight)
            answer(QString::number(expected));
        else
            answer(round == 1 ? QString() : QString::number(expected + 1));
        (beRight ? right : wrong) += 1;
        if (beRight) {
            QCOMPARE(caption("lblMessage"), QStringLiteral("Esatto! Luca sei forte!"));
            QCOMPARE(m_platform.sounds.last(), QStringLiteral("/opt/contadopo/suoni/Esatto.wav"));
            QVERIFY(!m_window->surface()->isBlack());
        } else {
            QCOMPARE(caption("lblMessage"), QStringLiteral("Sbagliato!! ") + QString::number(expected));
            QCOMPARE(m_platform.sounds.last(), QStringLiteral("/opt/contadopo/suoni/no.wav"));
            QVERIFY(m_window->surface()->isBlack());
        }
        QCOMPARE(caption("lblScore"), QString::number(right));
        QCOMPARE(caption("lblScore1"), QString::number(wrong));
        QCOMPARE(caption("lblScore2"), QString::number(right + wrong));
        QCOMPARE(m_platform.sounds.size(), right + wrong);
        QVERIFY(next->isEnabled());
        QCOMPARE(QApplication::focusWidget(), next);
        QCOMPARE(box->text().isEmpty(), round == 1);
        QTest::keyClick(next, Qt::Key_Return);
        QCOMPARE(box->text(), QString());
        QCOMPARE(caption("lblMessage"), QString());
        QCOMPARE(QApplication::focusWidget(), box);
    }
}

void TestTavola::answerIsCountedOnceAndEnterOnTheButtonAsksAgain()
{
    QVERIFY(startedWindow());
    auto *box = control<QLineEdit>("txtAnswer");
    answer(QString::number(shownNumber() + 1));
    QCOMPARE(caption("lblScore"), QStringLiteral("1"));
    // Back in the box, Enter again: the same answer is not counted twice.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(caption("lblScore"), QStringLiteral("1"));
    QCOMPARE(caption("lblScore2"), QStringLiteral("1"));
    QCOMPARE(m_platform.sounds.size(), 1);

    // The space bar presses the focused button too.
    auto *next = control<QWidget>("cmdNext");
    next->setFocus();
    QTest::keyClick(next, Qt::Key_Space);
    QVERIFY(!next->isEnabled());
    QVERIFY(m_window->race().questionOpen());
}

void TestTavola::accessKeysFollowTheButtonState()
{
    QVERIFY(startedWindow());
    auto *box = control<QLineEdit>("txtAnswer");
    const int number = shownNumber();
    QTest::keyClick(box, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(shownNumber(), number);
    QCOMPARE(box->text(), QString());

    answer(QStringLiteral("0")); // never right: the least answer is 1
    // An access key presses its button with a short animation.
    QTest::keyClick(m_window.get(), Qt::Key_N, Qt::AltModifier);
    QTRY_VERIFY(m_window->race().questionOpen());
    QVERIFY(!control<QWidget>("cmdNext")->isEnabled());

    // Tab runs cmdExit, cmdNext (only while enabled), txtAnswer.
    control<QWidget>("cmdExit")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), box);
    answer(QStringLiteral("0")); // never right: the least answer is 1
    control<QWidget>("cmdExit")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control<QWidget>("cmdNext"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), box);

    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    QTest::keyClick(box, Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(quit.count(), 1);
    QCOMPARE(m_platform.messages.size(), 1); // no goodbye on exit
}

void TestTavola::longNamesWidenTheirLabelsOnly()
{
    RecordStore store(m_platform.recordDir);
    store.EnsureRecordFiles();
    RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Bartolomeo Filiberto"));
    m_window = std::make_unique<Tavola>(m_platform);
    QHash<QString, QRect> before;
    for (QWidget *w : m_window->surface()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        before.insert(w->objectName(), w->geometry());
    m_platform.promptAnswers << QStringLiteral("Massimiliano Giovanni");
    m_window->Form_Load();
    for (QWidget *w : m_window->surface()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect was = before.value(w->objectName());
        if (w->objectName() == QLatin1String("lblnome1") || w->objectName() == QLatin1String("lblnome")
            || w->objectName() == QLatin1String("lblpunti") || w->objectName() == QLatin1String("lblconto")) {
            QCOMPARE(w->pos(), was.topLeft());
            if (w->objectName() != QLatin1String("lblconto") && w->objectName() != QLatin1String("lblpunti"))
                QVERIFY2(w->width() > was.width() + 100, qPrintable(w->objectName()));
        } else {
            QCOMPARE(w->geometry(), was);
        }
    }
}

void TestTavola::clockCountsDownAndEndsTheRaceOnce()
{
    QVERIFY(startedWindow());
    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    m_window->Timer1_Timer();
    QCOMPARE(caption("lblconto"), QStringLiteral("00:04:59"));
    for (int i = 1; i < 300; ++i)
        m_window->Timer1_Timer();
    QCOMPARE(caption("lblconto"), QStringLiteral("00:00:00"));
    QCOMPARE(quit.count(), 0);
    QCOMPARE(m_platform.messages.size(), 1);

    // Ticks keep coming while the goodbye box is open: nothing more happens.
    int ticksDuringBox = 0;
    m_platform.duringMessage = [&](const QString &) {
        for (int i = 0; i < 3; ++i, ++ticksDuringBox)
            m_window->Timer1_Timer();
    };
    m_window->Timer1_Timer();
    QCOMPARE(m_platform.messages.mid(1), QStringList{QStringLiteral("Ciao, alla prossima sfida. ")});
    QCOMPARE(ticksDuringBox, 3);
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_window->Timer1()->isActive());
    m_window->Timer1_Timer();
    QCOMPARE(quit.count(), 1);
}

void TestTavola::exitSavesOnlyAStrictlyBetterScore_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("rightAnswers");
    QTest::addColumn<bool>("byClock");
    QTest::addColumn<bool>("saved");
    QTest::newRow("zero against empty files") << QByteArray() << 0 << false << false;
    QTest::newRow("equal score") << QByteArray("2\r\n") << 2 << false << false;
    QTest::newRow("one more, by exit") << QByteArray("2\r\n") << 3 << false << true;
    QTest::newRow("one more, by clock") << QByteArray("2\r\n") << 3 << true << true;
    QTest::newRow("first record by clock") << QByteArray() << 1 << true << true;
}

void TestTavola::exitSavesOnlyAStrictlyBetterScore()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, rightAnswers);
    QFETCH(bool, byClock);
    QFETCH(bool, saved);
    RecordStore store(m_platform.recordDir);
    store.EnsureRecordFiles();
    {
        QFile f(store.scorePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(stored);
    }
    const QByteArray storedName = stored.isEmpty() ? QByteArray() : QByteArray("Old\r\n");
    {
        QFile f(store.namePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(storedName);
    }

    QVERIFY(startedWindow(QStringLiteral("Anna Maria")));
    for (int i = 0; i < rightAnswers + 1; ++i) {
        answer(i < rightAnswers ? QString::number(shownNumber() + 1) : QStringLiteral("0"));
        QTest::keyClick(control<QWidget>("cmdNext"), Qt::Key_Return);
    }
    QCOMPARE(caption("lblScore"), QString::number(rightAnswers));

    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    const int messagesBefore = m_platform.messages.size();
    if (byClock) {
        for (int i = 0; i < 301; ++i)
            m_window->Timer1_Timer();
    } else {
        m_window->cmdExit_Click();
    }
    QCOMPARE(quit.count(), 1);
    QStringList expected;
    if (byClock)
        expected << QStringLiteral("Ciao, alla prossima sfida. ");
    if (saved)
        expected << QStringLiteral("Ok! Ho registrato il tuo record, C A M P I O N E");
    QCOMPARE(m_platform.messages.mid(messagesBefore), expected);
    if (saved) {
        QCOMPARE(contentOf(store.scorePath()), QByteArray::number(rightAnswers) + "\r\n");
        QCOMPARE(contentOf(store.namePath()), QByteArray("Anna Maria\r\n"));
    } else {
        QCOMPARE(contentOf(store.scorePath()), stored);
        QCOMPARE(contentOf(store.namePath()), storedName);
    }
}

void TestTavola::higherRecordFromAnotherCopyIsKept()
{
    QVERIFY(startedWindow(QStringLiteral("Anna")));
    answer(QString::number(shownNumber() + 1));
    QTest::keyClick(control<QWidget>("cmdNext"), Qt::Key_Return);
    answer(QString::number(shownNumber() + 1));
    // Meanwhile another copy on this machine set 5.
    RecordStore store(m_platform.recordDir);
    RecordStore::WriteRecordFile(store.scorePath(), QStringLiteral("5"));
    RecordStore::WriteRecordFile(store.namePath(), QStringLiteral("Bruno"));
    m_window->cmdExit_Click();
    QCOMPARE(contentOf(store.scorePath()), QByteArray("5\r\n"));
    QCOMPARE(contentOf(store.namePath()), QByteArray("Bruno\r\n"));
    QVERIFY(!m_platform.messages.last().startsWith(QStringLiteral("Ok!")));
    QVERIFY(m_platform.messages.last().contains(QStringLiteral("Bruno")));
    QVERIFY(m_window->quitting());
}

void TestTavola::failedSaveSaysSoAndQuits()
{
    QVERIFY(startedWindow(QStringLiteral("Anna")));
    answer(QString::number(shownNumber() + 1));
    // The name file turns into a folder: it cannot be written.
    const QString name = m_platform.recordDir + QStringLiteral("nsuc000.txt");
    QVERIFY(QFile::remove(name));
    QVERIFY(QDir().mkdir(name));
    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    m_window->cmdExit_Click();
    QCOMPARE(quit.count(), 1);
    const QString said = m_platform.messages.last();
    QVERIFY2(said.startsWith(QStringLiteral("Non riesco a scrivere il file del record ")), qPrintable(said));
    QVERIFY(said.contains(QStringLiteral("nsuc000.txt")));
    QVERIFY(!m_platform.messages.contains(QStringLiteral("Ok! Ho registrato il tuo record, C A M P I O N E")));
    QCOMPARE(contentOf(m_platform.recordDir + QStringLiteral("suc000.txt")), QByteArray());
}

void TestTavola::unwritableRecordFolderIsReportedAndPlayGoesOn()
{
    QFile plain(m_tmp->path() + QStringLiteral("/plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    m_platform.recordDir = m_tmp->path() + QStringLiteral("/plain/records/");
    QVERIFY(startedWindow());
    QCOMPARE(m_platform.messages.size(), 2);
    QVERIFY(m_platform.messages.at(1).contains(QStringLiteral("suc000.txt")));
    QVERIFY(m_platform.messages.at(1).contains(QStringLiteral("nsuc000.txt")));
    QCOMPARE(caption("lblpunti"), QString());
    answer(QString::number(shownNumber() + 1));
    QCOMPARE(caption("lblScore"), QStringLiteral("1"));
    m_window->cmdExit_Click();
    QVERIFY(m_platform.messages.last().startsWith(QStringLiteral("Non riesco a scrivere")));
    QVERIFY(m_window->quitting());
}

void TestTavola::newRaceNoChangesNothing()
{
    QVERIFY(startedWindow());
    answer(QString::number(shownNumber() + 1));
    m_window->Timer1_Timer();
    const QString number = caption("lblNum1");
    const int prompts = m_platform.prompts.size();
    m_platform.yesNoAnswers << false;
    m_window->Next()->trigger();
    QCOMPARE(m_platform.questions, QStringList{QStringLiteral("INIZIARE NUOVA GARA|INIZIAMO UNA NUOVA GARA  ?")});
    QCOMPARE(m_platform.prompts.size(), prompts);
    QCOMPARE(caption("lblNum1"), number);
    QCOMPARE(caption("lblScore"), QStringLiteral("1"));
    QCOMPARE(caption("lblconto"), QStringLiteral("00:04:59"));
    QVERIFY(m_window->Timer1()->isActive());
    QVERIFY(m_window->isVisible());
}

void TestTavola::newRaceYesStartsAgainFromDesignTime_data()
{
    QTest::addColumn<QString>("player");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QString>("message"); // empty: none
    QTest::newRow("with a limit") << "Luca" << "7" << "";
    QTest::newRow("empty limit") << "Luca" << "" << " Luca siccome non hai scelto arriviamo fino al 10.";
    QTest::newRow("empty limit, empty name") << "" << "" << "  siccome non hai scelto arriviamo fino al 10.";
}

void TestTavola::newRaceYesStartsAgainFromDesignTime()
{
    QFETCH(QString, player);
    QFETCH(QString, limit);
    QFETCH(QString, message);
    QVERIFY(startedWindow(player));
    answer(QString::number(shownNumber() + 1));
    answer(QString()); // judged already: ignored
    m_window->Timer1_Timer();
    m_window->setWindowTitle(QStringLiteral("Piuuno")); // as after a minimize

    const QWidget *oldSurface = m_window->surface();
    m_platform.yesNoAnswers << true;
    m_platform.promptAnswers << limit << QStringLiteral("Giulia");
    const int messages = m_platform.messages.size();
    m_window->Next()->trigger();

    QCOMPARE(m_platform.prompts.mid(1), (QStringList{QStringLiteral("Tavola pitagorica fino al numero? "),
                                                     QStringLiteral("Come ti chiami?")}));
    QStringList said = m_platform.messages.mid(messages);
    if (!message.isEmpty())
        QCOMPARE(said.takeFirst(), message);
    QCOMPARE(said, QStringList{QStringLiteral(" Giulia vediamo se sei un vero campione  ")});
    QCOMPARE(m_window->race().state().tableLimitText, limit.isEmpty() ? QStringLiteral("10") : limit);

    QVERIFY(m_window->surface() != oldSurface);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Contadopo"));
    QCOMPARE(caption("lblconto"), QStringLiteral("00:05:00"));
    QCOMPARE(caption("lblnome1"), QStringLiteral("Giulia"));
    for (const char *counter : {"lblScore", "lblScore1", "lblScore2"})
        QCOMPARE(caption(counter), QStringLiteral("0"));
    QCOMPARE(m_window->race().state().correctCount, 0);
    QVERIFY(!control<QWidget>("cmdNext")->isEnabled());
    QCOMPARE(m_window->findChildren<GradientSurface *>().size(), 1);

    // The showing asks the first question of the new race.
    QTRY_VERIFY_WITH_TIMEOUT(!caption("lblNum1").isEmpty(), 3000);
    QCOMPARE(m_window->race().state().expectedAnswer, shownNumber() + 1);
    // The window's focus goes to the answer box (offscreen never activates a window
    // shown again, a desktop does).
    QCOMPARE(m_window->focusWidget(), control<QLineEdit>("txtAnswer"));
    answer(QString::number(shownNumber() + 1));
    QCOMPARE(caption("lblMessage"), QStringLiteral("Esatto! Giulia sei forte!"));
}

void TestTavola::closingFromTheFrameEndsWithoutRecordCheck()
{
    QVERIFY(startedWindow());
    answer(QString::number(shownNumber() + 1));
    QSignalSpy quit(m_window.get(), &Tavola::quitRequested);
    const int messages = m_platform.messages.size();
    m_window->close();
    QCOMPARE(quit.count(), 1);
    QCOMPARE(m_platform.messages.size(), messages);
    QCOMPARE(contentOf(m_platform.recordDir + QStringLiteral("suc000.txt")), QByteArray());
}

namespace {
QString accessibleText(QWidget *widget, QAccessible::Text which)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(which) : QStringLiteral("<none>");
}
} // namespace

void TestTavola::screenReaderCanFollowARace()
{
    QVERIFY(startedWindow(QStringLiteral("Luca")));

    // Every label reads what the child sees and says what it is.
    for (Label *label : m_window->findChildren<Label *>()) {
        QCOMPARE(accessibleText(label, QAccessible::Name), label->text());
        QVERIFY2(!accessibleText(label, QAccessible::Description).isEmpty(), qPrintable(label->objectName()));
        QCOMPARE(QAccessible::queryAccessibleInterface(label)->role(), QAccessible::StaticText);
    }
    auto *number = control<QLabel>("lblNum1");
    QCOMPARE(accessibleText(number, QAccessible::Description), QStringLiteral("Numero da completare"));
    QCOMPARE(accessibleText(control<QLabel>("lblconto"), QAccessible::Description), QStringLiteral("Tempo restante"));
    QCOMPARE(accessibleText(control<QLabel>("lblScore"), QAccessible::Description), QStringLiteral("Risposte esatte"));
    QCOMPARE(accessibleText(control<QLabel>("lblScore1"), QAccessible::Description), QStringLiteral("Risposte errate"));

    auto *box = control<QLineEdit>("txtAnswer");
    QCOMPARE(QAccessible::queryAccessibleInterface(box)->role(), QAccessible::EditableText);
    QCOMPARE(accessibleText(box, QAccessible::Name), QStringLiteral("Il numero che viene dopo"));

    auto *image = control<QLabel>("Image1");
    QCOMPARE(accessibleText(image, QAccessible::Name), QStringLiteral("Cronometro"));
    QVERIFY(!accessibleText(image, QAccessible::Description).isEmpty());
    auto *next = control<QWidget>("cmdNext");
    auto *exit = control<QWidget>("cmdExit");
    QCOMPARE(QAccessible::queryAccessibleInterface(next)->role(), QAccessible::Button);
    QCOMPARE(accessibleText(next, QAccessible::Name), QStringLiteral("Nuovo calcolo"));
    QCOMPARE(accessibleText(exit, QAccessible::Name), QStringLiteral("Exit"));
    QVERIFY(!accessibleText(exit, QAccessible::Description).isEmpty());

    // The verdict changes the label's name and is read again where the focus lands.
    const QString expected = QString::number(shownNumber() + 1);
    answer(QStringLiteral("0"));
    const QString verdict = QStringLiteral("Sbagliato!! ") + expected;
    QCOMPARE(accessibleText(control<QLabel>("lblMessage"), QAccessible::Name), verdict);
    QCOMPARE(QApplication::focusWidget(), next);
    QVERIFY2(accessibleText(next, QAccessible::Description).startsWith(verdict), qPrintable(accessibleText(next, QAccessible::Description)));
    QCOMPARE(accessibleText(control<QLabel>("lblScore1"), QAccessible::Name), QStringLiteral("1"));

    // The next question reads as a plain button again.
    QTest::keyClick(next, Qt::Key_Return);
    QVERIFY(!accessibleText(next, QAccessible::Description).contains(QStringLiteral("Sbagliato")));
}

QTEST_MAIN(TestTavola)
#include "tst_tavola.moc"
