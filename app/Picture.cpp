#include "Picture.h"

#include <QMouseEvent>

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

}  // namespace corvane::app
