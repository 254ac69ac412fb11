// The window on Qt's offscreen platform, with the operating system faked.
#include "fakeplatform.h"
#include "testfiles.h"

#include "platform/fonts/systemfonts.h"
#include "window/fonts.h"
#include "window/gradientsurface.h"
#include "window/picturebutton.h"
#include "window/tavola.h"

#include <QAccessible>
#include <QAccessibleBridgePlugin>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

namespace {
// Text as drawn: its paper (the commonest colour), the contrast of its inkiest pixel
// with the paper (1 to 21; large text needs 3 at least) and the height of the ink.
struct Ink {
    QColor paper;
    double contrast = 1;
    int height = 0;
};

Ink inkOf(const QImage &image)
{
    const auto luminance = [](const QColor &c) {
        const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    QHash<QRgb, int> count;
    for (int i = 0; i < image.width() * image.height(); ++i)
        ++count[image.pixel(i % image.width(), i / image.width())];
    Ink ink{QColor(std::max_element(count.begin(), count.end()).key())};
    const double paper = luminance(ink.paper);
    int top = image.height(), bottom = -1;
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const double l = luminance(image.pixelColor(i % image.width(), i / image.width()));
        const double c = (qMax(l, paper) + 0.05) / (qMin(l, paper) + 0.05);
        ink.contrast = qMax(ink.contrast, c);
        top = c >= 1.5 ? qMin(top, i / image.width()) : top;
        bottom = c >= 1.5 ? i / image.width() : bottom;
    }
    ink.height = bottom - top + 1;
    return ink;
}

// What a control paints over what lies under it: a transparent label without a frame
// only its text, anything else its whole rectangle.
QRect drawnArea(const QWidget *w)
{
    const auto *label = qobject_cast<const QLabel *>(w);
    if (!label || label->autoFillBackground() || label->frameShape() != QFrame::NoFrame || !label->pixmap().isNull())
        return w->geometry();
    const QRect text = label->fontMetrics().boundingRect(label->contentsRect(), int(label->alignment()), label->text());
    return text.translated(w->pos()) & w->geometry();
}

// Stands where a screen reader's bridge stands: what it was told had a new name,
// and the name it would then read.
QHash<QObject *, QString> announced;
class Listener : public QAccessibleBridgePlugin, QAccessibleBridge
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QAccessibleBridgeFactoryInterface_iid FILE "listener.json")
public:
    QAccessibleBridge *create(const QString &) override { return this; }
    void setRootObject(QAccessibleInterface *) override {}
    void notifyAccessibilityUpdate(QAccessibleEvent *event) override
    {
        if (event->type() == QAccessible::NameChanged)
            announced.insert(event->object(), event->accessibleInterface()->text(QAccessible::Name));
    }
};
} // namespace
Q_IMPORT_PLUGIN(Listener)

class TestTavola : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void whatAChildSees();

    void raceStartingWrongIsJudgedCountedHeardAndShown();
    void answerIsCountedOnceAndKeysFollowTheButtonState();
    void reactivatingOrAnsweringNoOrClosingTheFrameLeavesRaceAndRecordAlone();

    void clockEndsTheRaceOnceEvenUnderTheNewRaceQuestion();
    void recordProblemsAreToldAndPlayGoesOn();

private:
    // A window started as the program does, its first question on screen.
    Tavola *startedWindow(const QString &name = QStringLiteral("Luca"));
    template<typename T = QWidget> T *control(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    QString caption(const char *name) const { return control<QLabel>(name)->text(); }
    // Return, or the keypad's Enter.
    void answer(const QString &typed, bool keypad = false)
    {
        QTest::keyClicks(control("txtAnswer"), typed);
        QTest::keyClick(control("txtAnswer"), keypad ? Qt::Key_Enter : Qt::Key_Return, keypad ? Qt::KeypadModifier : Qt::NoModifier);
    }
    void answerRight() { answer(QString::number(shownNumber() + 1)); }
    void nextQuestion() { QTest::keyClick(control("cmdNext"), Qt::Key_Return); }
    int shownNumber() const { return caption("lblNum1").toInt(); }
    // Every label reads whole: no caption wider than its label. The two signs have
    // always been drawn a little wider than theirs, which trims their arms.
    void noCaptionClipped() const
    {
        for (const Label *label : m_window->findChildren<Label *>()) {
            if (label->text() == QLatin1String("+") || label->text() == QLatin1String("="))
                continue;
            const QRect inside = label->contentsRect();
            const QString text = label->text().remove(QLatin1Char('\r'));
            const QRect needed = label->fontMetrics().boundingRect(inside, int(label->alignment()), text);
            QVERIFY2(needed.left() >= inside.left() && needed.right() <= inside.right(), qPrintable(label->objectName() + QLatin1Char(' ') + text));
        }
    }
    // Every label whose caption `action` changes is announced to a screen reader.
    template<typename F> void announces(F action)
    {
        QHash<Label *, QString> before;
        for (Label *label : m_window->findChildren<Label *>())
            before.insert(label, label->text());
        announced.clear();
        action();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(it.key()->text() == it.value() || announced.value(it.key(), QStringLiteral("-")) == it.key()->text(),
                     qPrintable(it.key()->objectName()));
    }
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
    // Waits long enough for a machine that is busy with other work.
    const bool asked = QTest::qWaitForWindowActive(m_window.get(), 60000)
        && QTest::qWaitFor([this] { return !caption("lblNum1").isEmpty(); }, 60000);
    return asked ? m_window.get() : nullptr;
}

void TestTavola::whatAChildSees()
{
    QVERIFY(startedWindow());
    auto *next = control<PictureButton>("cmdNext");
    auto *exit = control<PictureButton>("cmdExit");
    GradientSurface *surface = m_window->surface();
    const QList<QWidget *> controls = surface->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    // The grin's mouth is open and red; the other faces have none.
    const auto openMouth = [](const PictureButton *b) {
        const QImage face = b->currentPicture().toImage();
        for (int i = 0; i < face.width() * face.height(); ++i)
            if (const QColor c = face.pixelColor(i % face.width(), i / face.width()); c.alpha() > 128 && c.red() > 150 && c.green() < 80)
                return true;
        return false;
    };
    QVERIFY2(!next->isEnabled() && openMouth(next), "the disabled button grins");
    QCOMPARE(QFontInfo(control("lblNum1")->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(control("lblScore")->font()).family(), QStringLiteral("Liberation Serif"));

    // Started maximized; restored, the window shows every control whole.
    QVERIFY(m_window->isMaximized());
    m_window->showNormal();
    QTRY_VERIFY(!m_window->isMaximized());
    for (QWidget *w : controls)
        QVERIFY2(surface->rect().contains(w->geometry()), qPrintable(w->objectName()));

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

    // A wrong verdict (never 0): red, bold, italic. The typed digits stay in the box,
    // as readable as the number asked and about as tall.
    answer(QStringLiteral("0000"));
    auto *verdict = control<QLabel>("lblMessage");
    QCOMPARE(verdict->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(QFontInfo(verdict->font()).bold() && QFontInfo(verdict->font()).italic());
    const QWidget *number = control("lblNum1");
    const Ink asked = inkOf(surface->grab(number->geometry().adjusted(2, 2, -2, -2)).toImage());
    const Ink typed = inkOf(control("txtAnswer")->grab(control("txtAnswer")->rect().adjusted(4, 4, -4, -4)).toImage());
    QCOMPARE(asked.paper, QColor(Qt::yellow));
    QVERIFY2(asked.contrast >= 3 && typed.contrast >= 3, qPrintable(QStringLiteral("%1 %2").arg(asked.contrast).arg(typed.contrast)));
    QVERIFY2(qAbs(typed.height - asked.height) * 5 <= asked.height, qPrintable(QStringLiteral("%1 %2").arg(typed.height).arg(asked.height)));

    // Nothing covers what must be seen, but for the "+" over a third digit, as it always was.
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j)
            QVERIFY2((controls[i] == number && controls[j] == control("Label2")) || !drawnArea(controls[i]).intersects(drawnArea(controls[j])),
                     qPrintable(controls[i]->objectName() + QLatin1Char('/') + controls[j]->objectName()));
    noCaptionClipped();

    // Enabled, the button smiles. A button shows its face colour; only the focused one
    // carries the dotted focus mark, inside its bevel.
    QVERIFY(next->isEnabled() && next->hasFocus() && !openMouth(next));
    const auto marked = [](PictureButton *b) {
        const QImage i = b->grab().toImage();
        int dots = 0;
        for (int x = 6; x < i.width() - 6; ++x)
            dots += i.pixelColor(x, 4) != b->faceColour();
        return dots > 10;
    };
    QVERIFY(marked(next) && !marked(exit));
    QCOMPARE(exit->grab().toImage().pixelColor(exit->width() / 5, exit->height() / 2), exit->faceColour());
    QCOMPARE(m_window->Next()->text(), QStringLiteral("nuovo"));
}

void TestTavola::raceStartingWrongIsJudgedCountedHeardAndShown()
{
    // A name is shown as typed, markup and all, and read out so.
    QVERIFY(startedWindow(QStringLiteral("<b>Luca</b>")));
    auto *box = control<QLineEdit>("txtAnswer");
    auto *next = control("cmdNext");
    GradientSurface *surface = m_window->surface();
    QCOMPARE(surface->width(), m_window->width());
    // Down the right edge, clear of every control: one grey tint (in steps of ten) into
    // blue from top to bottom, or black.
    const auto edge = [surface] {
        const QImage shot = surface->grab().toImage();
        const int x = shot.width() - 2;
        return QList<QColor>{shot.pixelColor(x, 0), shot.pixelColor(x, shot.height() / 2), shot.pixelColor(x, shot.height() - 1)};
    };
    const auto gradient = [](const QList<QColor> &e) {
        return e[0].red() == e[0].green() && e[0].red() % 10 == 0 && e[0].red() == e[2].red() && e[0].green() == e[2].green()
            && e[0].blue() < e[1].blue() && e[1].blue() < e[2].blue();
    };
    // A screen reader says the verdict where the focus lands.
    const auto description = [next] { return QAccessible::queryAccessibleInterface(next)->text(QAccessible::Description); };
    int right = 0, wrong = 0;
    // Wrong first, so a right and a wrong counter swapped never agree by chance; the
    // keypad's Enter as well as Return.
    for (const bool beRight : {false, true, true, false}) {
        QVERIFY(gradient(edge()));
        const int expected = shownNumber() + 1;
        announces([&] {
            if (beRight)
                answer(QString::number(expected).rightJustified(4, QLatin1Char('0')), right == 0); // leading zeros are fine
            else
                answer(wrong == 0 ? QString() : QString::number(expected + 1), wrong == 0);
        });
        (beRight ? right : wrong) += 1;
        const QString verdict = beRight ? QStringLiteral("Esatto! <b>Luca</b> sei forte!") : QStringLiteral("Sbagliato!! %1").arg(expected);
        QCOMPARE(caption("lblMessage"), verdict);
        QCOMPARE(m_platform.sounds.last(), beRight ? QStringLiteral("/opt/contadopo/suoni/Esatto.wav")
                                                   : QStringLiteral("/opt/contadopo/suoni/no.wav"));
        QVERIFY(beRight ? gradient(edge()) : edge() == QList<QColor>(3, QColor(Qt::black)));
        QCOMPARE(caption("lblScore") + caption("lblScore1") + caption("lblScore2"),
                 QStringLiteral("%1%2%3").arg(right).arg(wrong).arg(right + wrong));
        QCOMPARE(QApplication::focusWidget(), next);
        QVERIFY2(description().startsWith(verdict), qPrintable(description()));
        announces([&] { nextQuestion(); });
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
    QTest::keyClicks(box, QStringLiteral("1a -+.,e/:9"));
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

void TestTavola::reactivatingOrAnsweringNoOrClosingTheFrameLeavesRaceAndRecordAlone()
{
    QVERIFY(startedWindow(QStringLiteral("Anna")));
    // The first question came with the window, and only then: closing a box, coming back
    // from another program or from the task bar is no new activation.
    const int number = shownNumber();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(m_window.get(), &activate);
    m_window->showMinimized();
    m_window->showMaximized();
    m_window->activateWindow();
    QTest::qWait(100);
    QCOMPARE(shownNumber(), number);
    answerRight();
    const QList<QAction *> menus = m_window->menuBar()->actions();
    QVERIFY(menus.size() == 2 && menus[1]->menu()->actions().contains(m_window->Next()));
    m_window->Next()->trigger(); // answered No
    QCOMPARE(m_platform.questions.size(), 1);
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
    announces([this] { m_window->Timer1_Timer(); });
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

void TestTavola::recordProblemsAreToldAndPlayGoesOn()
{
    // Three right answers against a stored 2, while another copy on this machine stores 5.
    storeHolding(m_platform.recordDir, "2\r\n", "Bartolomeo Filiberto\r\n");
    QVERIFY(startedWindow(QStringLiteral("Massimiliano Giovanni")));
    // The stored record shown; long names whole, their labels widened and nothing else moved.
    QCOMPARE(caption("lblpunti") + caption("lblnome"), QStringLiteral("2\r\nBartolomeo Filiberto\r\n"));
    noCaptionClipped();
    Tavola unloaded(m_platform);
    const auto controls = [](Tavola &t) { return t.surface()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly); };
    for (int i = 0; i < controls(unloaded).size(); ++i)
        QCOMPARE(controls(*m_window)[i]->pos(), controls(unloaded)[i]->pos());
    for (int n = 0; n < 3; ++n) {
        answerRight();
        nextQuestion();
    }
    storeHolding(m_platform.recordDir, "5\r\n", "Bruno\r\n");
    // Exit from a browser tab, which stays open: the goodbye comes first, as from the clock.
    m_platform.canClose = false;
    const int shown = m_platform.messages.size();
    m_window->cmdExit_Click();
    QVERIFY(m_window->quitting());
    QCOMPARE(m_platform.messages.mid(shown), QStringList({QStringLiteral("Ciao, alla prossima sfida. "),
        QStringLiteral("Bravo, 3 punti! Ma intanto Bruno ha fatto un record di 5 punti su un altro computer.")}));
    QCOMPARE(recordOnDisk(), QByteArray("5\r\nBruno\r\n"));

    // A folder that cannot be made: said at the start and at the end, and played all the same.
    put(m_tmp->path() + QStringLiteral("/plain"), QByteArray());
    m_platform = FakePlatform();
    m_platform.recordDir = m_tmp->path() + QStringLiteral("/plain/records/");
    QVERIFY(startedWindow());
    QCOMPARE(m_platform.messages.size(), 2);
    QVERIFY(m_platform.messages.at(1).startsWith(QStringLiteral("Non riesco a creare il file del record ")));
    QVERIFY(m_platform.messages.at(1).contains(QStringLiteral("/nsuc000.txt")));
    QVERIFY(m_platform.messages.at(1).endsWith(QStringLiteral("\nSi gioca lo stesso, con un record vuoto.")));
    answerRight();
    m_window->cmdExit_Click();
    QVERIFY(m_platform.messages.last().startsWith(QStringLiteral("Non riesco a scrivere il file del record ")));
    QVERIFY(m_platform.messages.last().endsWith(QStringLiteral("Il record non è stato registrato; resta quello di prima.")));
    QVERIFY(m_window->quitting());
}

QTEST_MAIN(TestTavola)
#include "tst_tavola.moc"
