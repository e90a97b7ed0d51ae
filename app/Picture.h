#pragma once
// TPicture: a picture on the window (the letter paper, the stamp, the postmark, the paper
// clip, the About picture) that can stretch its image to its size and report clicks. One that
// takes the keyboard focus (the stamp) is pressed with Space or Return as a button is, and
// shows the focus as a button does.

#include <QLabel>
#include <functional>

namespace corvane::app {

class TPicture : public QLabel {
    Q_OBJECT

public:
    explicit TPicture(QWidget* parent = nullptr);

    // Shows Image; Stretch scales it to the control's size, otherwise it is centred.
    void SetPicture(const QPixmap& image, bool stretch);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace corvane::app
