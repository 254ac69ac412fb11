#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button in the old picture style: face colour, a picture centred above
// the caption, another picture while pressed or disabled.
class PictureButton : public QPushButton
{
    Q_OBJECT
public:
    explicit PictureButton(QWidget *parent = nullptr);

    void setFaceColour(const QColor &colour);
    QColor faceColour() const { return m_face; }
    void setPictures(const QPixmap &normal, const QPixmap &pressed, const QPixmap &disabled);
    // The picture on show now.
    QPixmap currentPicture() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QColor m_face;
    QPixmap m_normal;
    QPixmap m_pressed;
    QPixmap m_disabled;
};
