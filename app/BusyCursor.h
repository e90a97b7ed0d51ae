#pragma once
// The animated busy cursor shown over the whole program while a mail is being sent: the
// frames of the program's busy animation, cycled on a timer.

#include <QCursor>
#include <QTimer>
#include <vector>

namespace corvane::app {

class TBusyCursor : public QObject {
    Q_OBJECT

public:
    static constexpr int FrameInterval = 90;  // milliseconds

    TBusyCursor();
    void Start();
    void Stop();
    bool Running() const { return m_timer.isActive(); }

private:
    void Advance();

    std::vector<QCursor> m_frames;
    std::size_t m_frame = 0;
    QTimer m_timer;
};

}  // namespace corvane::app
