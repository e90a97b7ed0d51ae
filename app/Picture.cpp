#include "Picture.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace corvane::app {

TPicture::TPicture(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

void TPicture::SetPicture(const QPixmap& image, bool stretch) {
    setScaledContents(stretch);
    setPixmap(image);
}

void TPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick) {
        OnClick();
    }
    QLabel::mouseReleaseEvent(event);
}

void TPicture::keyPressEvent(QKeyEvent* event) {
    const bool press = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (press && event->modifiers() == Qt::NoModifier && OnClick) {
        OnClick();
        return;
    }
    QLabel::keyPressEvent(event);
}

void TPicture::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

}  // namespace corvane::app
