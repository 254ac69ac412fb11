#pragma once

#include "game/race.h"
#include "window/tavolalayout.h"

#include <QMainWindow>
#include <QStringList>

class GradientSurface;
class Platform;
class QAction;
class QTimer;

// The program's one window. Its handlers carry the names of the events they serve;
// the race's rules live in Race, the operating system behind Platform.
class Tavola : public QMainWindow
{
    Q_OBJECT
public:
    // Behind the first dialog: the controls are built once the name prompt is on the
    // screen, so the program's first window is not kept waiting for them.
    enum class Build { Now, BehindFirstDialog };

    explicit Tavola(Platform &platform, Build when = Build::Now, QWidget *parent = nullptr);
    ~Tavola() override;

    // Menus, controls and pictures; once only, whichever comes first.
    void build();

    // A program start: the start-up sequence, then the window shown maximized.
    void start();

    Race &race() { return m_race; }
    const TavolaControls &controls() const { return m_ui; }
    GradientSurface *surface() const { return m_surface; }
    QTimer *Timer1() const { return m_timer; }
    QAction *Next() const { return m_next; }
    bool quitting() const { return m_quitting; }

    void Form_Load();
    void cmdNext_Click();
    void Timer1_Timer();
    void cmdExit_Click();
    void Next_Click();
    void EndOfGame();
    void SaveRecordIfBetter();

signals:
    // The program must end now; nothing more is saved.
    void quitRequested();

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void showForNewRace();
    void txtAnswer_Enter();
    void StartClock();
    void ShowClock();
    void EnsureRecordFiles();
    void LoadRecord();
    void quit();

    Platform &m_platform;
    Race m_race;
    TavolaLayout::Pictures m_pictures;
    bool m_built = false;
    TavolaControls m_ui;
    GradientSurface *m_surface = nullptr;
    QTimer *m_timer = nullptr;
    QAction *m_next = nullptr;
    // Only the showing after a load asks a question, not every activation.
    bool m_activationPending = false;
    QStringList m_recordProblems;
    bool m_ending = false;
    bool m_quitting = false;
};
