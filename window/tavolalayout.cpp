#include "window/tavolalayout.h"

#include "window/fonts.h"
#include "window/picturebutton.h"
#include "window/windowtexts.h"

#include <QAccessible>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>

void Label::setAutoSize(bool on)
{
    m_autoSize = on;
    fit();
}

void Label::setCaption(const QString &text)
{
    if (text == this->text())
        return;
    setText(text);
    fit();
    // QLabel does not say so itself; a screen reader learns of the new text here.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

QSize Label::fittedSize() const
{
    // Measured here so a stored record's CR LF counts as one line break.
    const QFontMetrics fm(font());
    const QStringList lines = text().split(QLatin1Char('\n'));
    int width = 0;
    for (QString line : lines)
        width = qMax(width, fm.horizontalAdvance(line.remove(QLatin1Char('\r'))));
    const int frame = 2 * frameWidth();
    return QSize(width + frame + 2, fm.height() * int(lines.size()) + frame);
}

void Label::fit()
{
    if (m_autoSize)
        resize(fittedSize());
}

namespace TavolaLayout {

namespace {

constexpr int kDefault = -1;

struct LabelRow {
    Label *TavolaControls::*member;
    const char *name;
    const char *text;
    int left, top, width, height; // twips
    const char *family;
    double points;
    bool bold;
    bool italic;
    int textColour; // RGB, or kDefault
    int fillColour; // RGB for an opaque label, or kDefault for a transparent one
    bool bordered;
    bool centred;
    bool autoSize;
    const char *toolTip;
    const char *description; // what a screen reader says the label is
};

const LabelRow kLabels[] = {
    {&TavolaControls::lblNum1, "lblNum1", "", 2520, 120, 495, 1725, "Arial", 72, true, false, 0x0000FF, 0xFFFF00, true, true, true, nullptr, "Numero da completare"},
    {&TavolaControls::Label2, "Label2", "+", 4320, 240, 615, 1455, "Arial", 72, false, false, 0xFFFF00, kDefault, false, true, false, nullptr, "Segno più"},
    {&TavolaControls::Label7, "Label7", "1", 5400, 120, 855, 1695, "Arial", 72, true, false, 0x0000FF, 0xFFFF00, true, true, false, nullptr, "Numero da aggiungere"},
    {&TavolaControls::Label4, "Label4", "=", 6600, 0, 615, 1575, "Arial", 72, true, false, 0xFFFF00, kDefault, false, true, false, nullptr, "Segno uguale"},
    {&TavolaControls::Label11, "Label11", "Tempo restante", 0, 1320, 1575, 375, "MS Sans Serif", 9.75, false, false, 0xFFFF00, kDefault, false, false, false, nullptr, "Titolo del tempo restante"},
    {&TavolaControls::lblconto, "lblconto", "00.00.00", 0, 2280, 1575, 495, "Arial Black", 12, true, false, 0xFFFF00, kDefault, true, false, false, nullptr, "Tempo restante"},
    {&TavolaControls::lblMessage, "lblMessage", "", 1680, 2040, 6615, 615, "MS Sans Serif", 24, true, true, 0xFF0000, kDefault, false, true, false, nullptr, "Esito della risposta"},
    {&TavolaControls::Label6, "Label6", "Risposte esatte", 240, 3360, 2565, 495, "MS Sans Serif", 18, false, false, 0x00FFFF, kDefault, true, true, true, nullptr, "Titolo delle risposte esatte"},
    {&TavolaControls::Label1, "Label1", "Risposte errate", 3840, 3360, 2520, 495, "MS Sans Serif", 18, false, false, 0xFF0000, kDefault, true, false, true, nullptr, "Titolo delle risposte errate"},
    {&TavolaControls::Label3, "Label3", "Risposte totali", 7440, 3360, 2340, 495, "MS Sans Serif", 18, false, false, 0x0000FF, kDefault, true, false, true, nullptr, "Titolo delle risposte totali"},
    {&TavolaControls::lblScore, "lblScore", "0", 1080, 4080, 555, 885, "Times New Roman", 36, true, false, kDefault, kDefault, true, true, true,
     "Questo è il tuo punteggio. Forza con il  record", "Risposte esatte"},
    {&TavolaControls::lblScore1, "lblScore1", "0", 4830, 4080, 540, 885, "Times New Roman", 36, true, false, 0xFF0000, kDefault, true, true, true, nullptr, "Risposte errate"},
    {&TavolaControls::lblScore2, "lblScore2", "0", 8310, 4080, 555, 885, "Times New Roman", 36, true, false, 0x0000FF, kDefault, true, true, true, nullptr, "Risposte totali"},
    {&TavolaControls::Label14, "Label14", "Sfidante", 720, 5520, 1425, 420, "MS Sans Serif", 13.5, false, false, 0x00FFFF, kDefault, true, true, true, nullptr, "Titolo dello sfidante"},
    {&TavolaControls::lblnome1, "lblnome1", "", 240, 6480, 165, 420, "MS Sans Serif", 13.5, true, false, 0x00FFFF, kDefault, true, false, true, nullptr, "Sfidante"},
    {&TavolaControls::Label12, "Label12", "Il record  è di ", 120, 7560, 3255, 615, "MS Sans Serif", 24, false, false, 0xFFFF00, kDefault, false, false, false, nullptr, "Titolo del record"},
    {&TavolaControls::lblnome, "lblnome", "nome", 3120, 7560, 1275, 555, "MS Sans Serif", 24, true, false, 0xFFFF00, kDefault, false, false, true, nullptr, "Nome del campione"},
    {&TavolaControls::Label13, "Label13", "con punti", 7680, 7560, 1965, 555, "MS Sans Serif", 24, false, false, 0xFFFF00, kDefault, false, false, true, nullptr, "Titolo dei punti del record"},
    {&TavolaControls::lblpunti, "lblpunti", "0", 10080, 7560, 270, 555, "MS Sans Serif", 24, false, false, 0xFFFF00, kDefault, false, false, true, nullptr, "Punti del record"},
};

QRect pixels(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}

QColor rgb(int value)
{
    return QColor::fromRgb(QRgb(value));
}

QPixmap picture(const char *name, int size = 32)
{
    return QIcon(QStringLiteral(":/pictures/") + QLatin1String(name)).pixmap(size, size);
}

Label *makeLabel(QWidget *surface, const LabelRow &row)
{
    auto *label = new Label(surface);
    label->setObjectName(QLatin1String(row.name));
    // Names typed by a child are shown as typed, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(pixels(row.left, row.top, row.width, row.height));
    label->setFont(Fonts::make(QLatin1String(row.family), row.points, row.bold, row.italic));
    QPalette pal = label->palette();
    if (row.textColour != kDefault)
        pal.setColor(QPalette::WindowText, rgb(row.textColour));
    if (row.fillColour != kDefault) {
        pal.setColor(QPalette::Window, rgb(row.fillColour));
        label->setAutoFillBackground(true);
    }
    label->setPalette(pal);
    if (row.bordered) {
        label->setFrameShape(QFrame::Box);
        label->setLineWidth(1);
    }
    label->setAlignment((row.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    // A framed QLabel otherwise indents its text by half an "x", here at the top.
    label->setIndent(0);
    if (row.toolTip)
        label->setToolTip(QString::fromUtf8(row.toolTip));
    if (row.description)
        label->setAccessibleDescription(QString::fromUtf8(row.description));
    label->setCaption(QString::fromUtf8(row.text));
    label->setAutoSize(row.autoSize);
    return label;
}

PictureButton *makeButton(QWidget *surface, const char *name, const QString &text, const QRect &geometry,
                          int face, const QString &toolTip)
{
    auto *button = new PictureButton(surface);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setGeometry(geometry);
    button->setFont(Fonts::make(QStringLiteral("MS Sans Serif"), 8.25, true));
    button->setFaceColour(rgb(face));
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

Pictures Pictures::load()
{
    Pictures p;
    p.smile = picture("smile.ico");
    p.neutral = picture("neutral.ico");
    p.grin = picture("grin.ico");
    p.noEntry = picture("noentry.ico");
    p.stopwatch = picture("stopwatch.ico");
    // The bill tip points.
    p.duck = QCursor(picture("duck.ico", 48), 0, 29);

    // A small framed square.
    QPixmap shape(32, 32);
    shape.fill(Qt::transparent);
    QPainter painter(&shape);
    painter.fillRect(8, 8, 16, 16, Qt::black);
    painter.fillRect(9, 9, 14, 14, Qt::white);
    painter.fillRect(12, 12, 8, 8, Qt::black);
    painter.end();
    p.icon = QCursor(shape, 16, 16);
    return p;
}

TavolaControls build(QWidget *surface, const Pictures &pictures)
{
    TavolaControls c;
    for (const LabelRow &row : kLabels)
        c.*(row.member) = makeLabel(surface, row);

    c.txtAnswer = new QLineEdit(surface);
    c.txtAnswer->setObjectName(QStringLiteral("txtAnswer"));
    c.txtAnswer->setGeometry(pixels(8160, 0, 2775, 1770));
    c.txtAnswer->setFont(Fonts::make(QStringLiteral("Arial"), 72, true));
    c.txtAnswer->setMaxLength(4);
    c.txtAnswer->setToolTip(QStringLiteral("Inserisci il risultato e  premi il tasto  Invio"));
    QPalette answerPalette = c.txtAnswer->palette();
    answerPalette.setColor(QPalette::Text, rgb(0x0000FF));
    answerPalette.setColor(QPalette::Base, rgb(0xFFFF80));
    c.txtAnswer->setPalette(answerPalette);
    c.txtAnswer->setAccessibleName(QStringLiteral("Il numero che viene dopo"));

    c.Image1 = new QLabel(surface);
    c.Image1->setObjectName(QStringLiteral("Image1"));
    c.Image1->setGeometry(pixels(480, 1680, 480, 480));
    c.Image1->setPixmap(pictures.stopwatch);
    c.Image1->setToolTip(QStringLiteral("Clicca sotto di me per impostare il Timer"));
    c.Image1->setAccessibleName(QStringLiteral("Cronometro"));
    c.Image1->setAccessibleDescription(QStringLiteral("Disegno di un cronometro bianco con le lancette nere"));

    c.cmdNext = makeButton(surface, "cmdNext", QStringLiteral("&Nuovo calcolo"), pixels(4200, 5280, 1815, 1095),
                           0x00C0C0, QStringLiteral("Go"));
    c.cmdNext->setPictures(pictures.smile, pictures.neutral, pictures.grin);
    c.cmdNext->setEnabled(false);
    c.cmdNext->setCursor(pictures.icon);
    c.cmdNext->setAccessibleDescription(WindowTexts::kNextDescription);

    c.cmdExit = makeButton(surface, "cmdExit", QStringLiteral("E&xit"), pixels(7680, 5280, 2055, 1095), 0xC000C0,
                           QStringLiteral("Ti prego resta ancora, forse riuscirai a farmi uscire "));
    c.cmdExit->setPictures(pictures.noEntry, QPixmap(), QPixmap());
    c.cmdExit->setCursor(Qt::ArrowCursor);
    c.cmdExit->setAccessibleDescription(QStringLiteral("Cartello di divieto: finisce la gara e registra il record"));

    c.lblMessage->setCursor(pictures.icon);
    return c;
}

} // namespace TavolaLayout
