// The main window Tavola: its controls, their design-time layout and pictures,
// and the event wiring between them and the race.
#pragma once

#include <QCursor>
#include <QLabel>
#include <QPixmap>

class QLineEdit;
class QTimer;
class PictureButton;

// A label that can size itself to its text, keeping its left and top edges.
class Label : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    void setAutoSize(bool on);
    bool autoSize() const { return m_autoSize; }
    void setCaption(const QString &text);
    // The size that just holds the text, one line per line break.
    QSize fittedSize() const;

private:
    void fit();
    bool m_autoSize = false;
};

// Every control of the window, named as the program has always named them.
struct TavolaControls {
    Label *lblNum1 = nullptr;
    Label *Label2 = nullptr;
    Label *Label7 = nullptr;
    Label *Label4 = nullptr;
    QLineEdit *txtAnswer = nullptr;
    Label *Label11 = nullptr;
    QLabel *Image1 = nullptr;
    Label *lblconto = nullptr;
    Label *lblMessage = nullptr;
    Label *Label6 = nullptr;
    Label *Label1 = nullptr;
    Label *Label3 = nullptr;
    Label *lblScore = nullptr;
    Label *lblScore1 = nullptr;
    Label *lblScore2 = nullptr;
    PictureButton *cmdNext = nullptr;
    PictureButton *cmdExit = nullptr;
    Label *Label14 = nullptr;
    Label *lblnome1 = nullptr;
    Label *Label12 = nullptr;
    Label *lblnome = nullptr;
    Label *Label13 = nullptr;
    Label *lblpunti = nullptr;
};

namespace TavolaLayout {
// The layout area in pixels: 11880 x 8310 twips at 15 twips a pixel.
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kClientWidth = 11880 / kTwipsPerPixel;
inline constexpr int kClientHeight = 8310 / kTwipsPerPixel;

// The window's pictures and pointers, loaded once: every new race reuses them
// instead of filling Qt's pixmap cache with fresh copies.
struct Pictures {
    QPixmap smile, neutral, grin, noEntry, stopwatch;
    QCursor duck;
    QCursor icon; // our stand-in for the old icon pointer
    static Pictures load();
};

// Creates every control on `surface` in its design-time state.
TavolaControls build(QWidget *surface, const Pictures &pictures);
} // namespace TavolaLayout
