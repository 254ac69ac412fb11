#pragma once

#include <QWidget>

// The window's client area: 256 horizontal bands from (10s, 10s, 0) at the top to
// (10s, 10s, 255) at the bottom, or plain black after a wrong answer. Painted from
// this state every time, so it survives being covered.
class GradientSurface : public QWidget
{
    Q_OBJECT
public:
    explicit GradientSurface(QWidget *parent = nullptr);

    void setShade(int shade);
    void setBlack();
    int shade() const { return m_shade; }
    bool isBlack() const { return m_black; }

    static constexpr int kBands = 256;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_shade = 0;
    bool m_black = false;
};
