#include "window/gradientsurface.h"

#include <QPaintEvent>
#include <QPainter>

GradientSurface::GradientSurface(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientSurface::setShade(int shade)
{
    m_shade = shade;
    m_black = false;
    update();
}

void GradientSurface::setBlack()
{
    m_black = true;
    update();
}

void GradientSurface::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    if (m_black) {
        painter.fillRect(dirty, Qt::black);
        return;
    }
    // The height is 512 units, each band two of them.
    const int h = height();
    const int level = 10 * m_shade;
    for (int i = 0; i < kBands; ++i) {
        const int top = int(qint64(i) * h / kBands);
        const int bottom = int(qint64(i + 1) * h / kBands);
        if (bottom <= dirty.top() || top > dirty.bottom() || bottom == top)
            continue;
        painter.fillRect(QRect(dirty.left(), top, dirty.width(), bottom - top), QColor(level, level, i));
    }
}
