#include "BusyCursor.h"

#include <QGuiApplication>
#include <QPixmap>

#include "desktop/Resources.h"

namespace corvane::app {

TBusyCursor::TBusyCursor() {
    desktop::EnsureResources();
    for (int frame = 0;; ++frame) {
        const QPixmap picture(QStringLiteral(":/cursor/busy-%1").arg(frame, 2, 10, QLatin1Char('0')));
        if (picture.isNull()) {
            break;
        }
        m_frames.emplace_back(picture, picture.width() / 2, picture.height() / 2);
    }
    if (m_frames.empty()) {
        m_frames.emplace_back(Qt::BusyCursor);
    }
    m_timer.setInterval(FrameInterval);
    connect(&m_timer, &QTimer::timeout, this, &TBusyCursor::Advance);
}

void TBusyCursor::Start() {
    if (Running()) {
        return;
    }
    m_frame = 0;
    QGuiApplication::setOverrideCursor(m_frames.front());
    m_timer.start();
}

void TBusyCursor::Stop() {
    if (!Running()) {
        return;
    }
    m_timer.stop();
    QGuiApplication::restoreOverrideCursor();
}

void TBusyCursor::Advance() {
    m_frame = (m_frame + 1) % m_frames.size();
    QGuiApplication::changeOverrideCursor(m_frames[m_frame]);
}

}  // namespace corvane::app
