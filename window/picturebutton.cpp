#include "window/picturebutton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>

PictureButton::PictureButton(QWidget *parent)
    : QPushButton(parent)
{
}

void PictureButton::setFaceColour(const QColor &colour)
{
    m_face = colour;
    update();
}

void PictureButton::setPictures(const QPixmap &normal, const QPixmap &pressed, const QPixmap &disabled)
{
    m_normal = normal;
    m_pressed = pressed.isNull() ? normal : pressed;
    m_disabled = disabled.isNull() ? normal : disabled;
    update();
}

QPixmap PictureButton::currentPicture() const
{
    if (!isEnabled())
        return m_disabled;
    return isDown() ? m_pressed : m_normal;
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, m_face);

    // Raised bevel, sunken while pressed.
    const bool down = isDown();
    const QColor light = down ? Qt::black : Qt::white;
    const QColor dark = down ? Qt::white : Qt::black;
    p.setPen(light);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(dark);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(m_face.darker(150));
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);

    const int shift = down ? 1 : 0;
    const QPixmap picture = currentPicture();
    const QFontMetrics fm(font());
    const int gap = 4;
    const int blockHeight = picture.height() + gap + fm.height();
    const int top = (height() - blockHeight) / 2 + shift;
    if (!picture.isNull())
        p.drawPixmap((width() - picture.width()) / 2 + shift, top, picture);

    const QRect textRect(shift, top + picture.height() + gap, width(), fm.height());
    p.setFont(font());
    p.setPen(isEnabled() ? palette().color(QPalette::Active, QPalette::ButtonText)
                         : palette().color(QPalette::Disabled, QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic, text());

    if (hasFocus()) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(r.adjusted(4, 4, -5, -5));
    }
}

void PictureButton::keyPressEvent(QKeyEvent *event)
{
    // Enter presses a focused button here as the space bar does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            click();
            return;
        }
    }
    QPushButton::keyPressEvent(event);
}
