#include "window/tavola.h"

#include "game/recordrules.h"
#include "platform/platform.h"
#include "platform/platformtexts.h"
#include "platform/records/recordstore.h"
#include "window/gradientsurface.h"
#include "window/picturebutton.h"
#include "window/windowtexts.h"

#include <QCoreApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QTime>
#include <QTimer>

namespace {
// Without a window manager no activation may ever come; ask the first question anyway.
constexpr int kActivationFallbackMsecs = 1500;
} // namespace

Tavola::Tavola(Platform &platform, Build when, QWidget *parent)
    : QMainWindow(parent)
    , m_platform(platform)
{
    setObjectName(QStringLiteral("Tavola"));
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &Tavola::Timer1_Timer);
    if (when == Build::Now)
        build();
}

void Tavola::build()
{
    if (m_built)
        return;
    m_built = true;
    m_pictures = TavolaLayout::Pictures::load();
    setWindowIcon(QIcon(QStringLiteral(":/pictures/contadopo.ico")));
    buildMenus();
    buildControls();
    resize(TavolaLayout::kClientWidth, TavolaLayout::kClientHeight + menuBar()->sizeHint().height());
}

Tavola::~Tavola() = default;

void Tavola::buildMenus()
{
    QMenu *first = menuBar()->addMenu(WindowTexts::kCreditsMenu1);
    first->addAction(WindowTexts::kCreditsItem1);
    first->addAction(WindowTexts::kVersionItem.arg(QCoreApplication::applicationVersion()))->setEnabled(false);
    QMenu *second = menuBar()->addMenu(WindowTexts::kCreditsMenu2);
    second->addAction(WindowTexts::kCreditsItem2a);
    m_next = second->addAction(WindowTexts::kNewRaceItem);
    m_next->setObjectName(QStringLiteral("Next"));
    second->addAction(WindowTexts::kCreditsItem2b);
    connect(m_next, &QAction::triggered, this, &Tavola::Next_Click);
}

// Every control back in its design-time state, as when the window is first loaded.
void Tavola::buildControls()
{
    if (QWidget *old = takeCentralWidget()) {
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    m_surface = new GradientSurface;
    m_surface->setObjectName(QStringLiteral("surface"));
    m_surface->setCursor(m_pictures.duck);
    m_ui = TavolaLayout::build(m_surface, m_pictures);
    setCentralWidget(m_surface);
    setTabOrder(m_ui.cmdExit, m_ui.cmdNext);
    setTabOrder(m_ui.cmdNext, m_ui.txtAnswer);

    connect(m_ui.cmdNext, &QPushButton::clicked, this, &Tavola::cmdNext_Click);
    connect(m_ui.cmdExit, &QPushButton::clicked, this, &Tavola::cmdExit_Click);
    m_ui.txtAnswer->installEventFilter(this);

    setWindowTitle(WindowTexts::kCaption);
}

void Tavola::start()
{
    Form_Load();
    showForNewRace();
}

void Tavola::showForNewRace()
{
    if (m_quitting)
        return;
    m_activationPending = true;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    show();
    activateWindow();
    QTimer::singleShot(kActivationFallbackMsecs, this, [this] {
        if (m_activationPending && isVisible()) {
            m_activationPending = false;
            cmdNext_Click();
        }
    });
}

bool Tavola::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_activationPending) {
        m_activationPending = false;
        cmdNext_Click();
    }
    return QMainWindow::event(event);
}

void Tavola::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized))
        setWindowTitle(WindowTexts::kMinimizedCaption);
    QMainWindow::changeEvent(event);
}

void Tavola::closeEvent(QCloseEvent *event)
{
    // Closed from the frame: the program ends, with no goodbye and no record check.
    event->accept();
    quit();
}

void Tavola::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    m_timer->stop();
    emit quitRequested();
}

void Tavola::Form_Load()
{
    m_race.begin(QString());
    m_timer->stop();
    RaceState &s = m_race.state();
    s.playerName = m_platform.PromptText(WindowTexts::kNameQuestion);
    build();
    m_platform.ShowMessage(QLatin1Char(' ') + s.playerName + WindowTexts::kGreetingEnd);
    m_ui.lblnome1->setCaption(s.playerName);
    StartClock();
    s.recordDir = m_platform.GetSystemDir();
    EnsureRecordFiles();
    LoadRecord();
    ShowClock();
}

void Tavola::EnsureRecordFiles()
{
    m_recordProblems = RecordStore(m_race.state().recordDir).EnsureRecordFiles();
}

void Tavola::LoadRecord()
{
    const StoredRecord record = RecordStore(m_race.state().recordDir).LoadRecord();
    // A file that could not be made is reported once, not again as unreadable.
    const QStringList problems = m_recordProblems.isEmpty() ? record.errors : m_recordProblems;
    m_recordProblems.clear();
    m_ui.lblpunti->setCaption(record.score);
    m_ui.lblnome->setCaption(record.name);
    if (!problems.isEmpty())
        m_platform.ShowMessage(problems.join(QLatin1Char('\n')) + QLatin1Char('\n') + PlatformTexts::kPlayOnEmpty);
}

void Tavola::StartClock()
{
    m_timer->start();
    m_race.startClock();
}

void Tavola::ShowClock()
{
    m_ui.lblconto->setCaption(m_race.clockText());
}

void Tavola::cmdNext_Click()
{
    if (m_quitting)
        return;
    const Question q = m_race.newQuestion(QTime::currentTime().msecsSinceStartOfDay());
    m_ui.txtAnswer->clear();
    m_ui.lblMessage->setCaption(QString());
    m_ui.lblNum1->setCaption(q.numberText);
    m_ui.cmdNext->setEnabled(false);
    m_ui.cmdNext->setAccessibleDescription(WindowTexts::kNextDescription);
    m_surface->setShade(q.shade);
    m_ui.txtAnswer->setFocus();
}

bool Tavola::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_ui.txtAnswer || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        txtAnswer_Enter();
        return true;
    }
    if (key->key() == Qt::Key_Backspace)
        return false;
    // Only typed characters are filtered; editing keys and shortcuts (paste) pass.
    const QString text = key->text();
    if (text.size() != 1 || !text.at(0).isPrint() || (key->modifiers() & Qt::ControlModifier))
        return false;
    return Race::classifyKey(text.at(0).unicode()) == KeyAction::Swallow;
}

void Tavola::txtAnswer_Enter()
{
    const std::optional<Verdict> verdict = m_race.checkAnswer(m_ui.txtAnswer->text());
    if (!verdict)
        return;
    m_ui.lblMessage->setCaption(verdict->message);
    m_platform.PlaySoundFile(m_platform.ProgramFolder() + QLatin1Char('/') + verdict->soundFile);
    if (!verdict->correct) {
        m_surface->setBlack();
        m_ui.lblScore1->setCaption(verdict->wrongText);
    }
    m_ui.lblScore->setCaption(verdict->correctText);
    m_ui.lblScore2->setCaption(verdict->totalText);
    m_ui.cmdNext->setAccessibleDescription(WindowTexts::kNextAfterVerdict.arg(verdict->message));
    m_ui.cmdNext->setEnabled(true);
    m_ui.cmdNext->setFocus();
}

void Tavola::Timer1_Timer()
{
    if (m_ending || m_quitting)
        return;
    if (m_race.tick(m_ui.lblconto->text()) == TickOutcome::EndOfGame)
        EndOfGame();
    else
        ShowClock();
}

void Tavola::EndOfGame()
{
    // Ticks go on while the goodbye box is open; the race still ends only once.
    if (m_ending || m_quitting)
        return;
    m_ending = true;
    m_platform.ShowMessage(WindowTexts::kGoodbye);
    SaveRecordIfBetter();
}

void Tavola::cmdExit_Click()
{
    if (m_ending || m_quitting)
        return;
    m_ending = true;
    // Where the program stays open (a browser tab), Exit ends the race as the clock does.
    if (!m_platform.CanCloseProgram())
        m_platform.ShowMessage(WindowTexts::kGoodbye);
    SaveRecordIfBetter();
}

void Tavola::SaveRecordIfBetter()
{
    RecordStore store(m_race.state().recordDir);
    const QString score = m_ui.lblScore->text();
    const SaveResult result = store.SaveRecordIfBetter(score, m_ui.lblnome1->text(), m_ui.lblpunti->text());
    switch (result.outcome) {
    case SaveOutcome::NotBetter:
        break;
    case SaveOutcome::Saved:
        m_platform.ShowMessage(WindowTexts::kRecordSaved);
        break;
    case SaveOutcome::BeatenMeanwhile:
        m_platform.ShowMessage(WindowTexts::kRecordBeatenMeanwhile.arg(score, result.storedName.trimmed(),
                                                                       QString::number(RecordRules::recordValue(result.storedScore))));
        break;
    case SaveOutcome::Failed:
        m_platform.ShowMessage(result.error + QLatin1Char('\n')
                               + (result.mayCompleteLater ? PlatformTexts::kSaveMayComplete : PlatformTexts::kSaveFailed));
        break;
    }
    quit();
}

void Tavola::Next_Click()
{
    if (m_ending || m_quitting)
        return;
    if (!m_platform.AskYesNo(WindowTexts::kNewRaceQuestion, WindowTexts::kNewRaceTitle))
        return;
    RaceState &s = m_race.state();
    s.tableLimitText = m_platform.PromptText(WindowTexts::kTableLimitPrompt);
    if (s.tableLimitText.isEmpty()) {
        m_platform.ShowMessage(QLatin1Char(' ') + s.playerName + WindowTexts::kNoLimitEnd);
        s.tableLimitText = WindowTexts::kDefaultTableLimit;
    }
    // The clock may have ended the race while a box was open.
    if (m_ending || m_quitting)
        return;
    hide();
    buildControls();
    Form_Load();
    showForNewRace();
}
