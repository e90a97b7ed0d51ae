#pragma once
// TMyThread: the worker of one send. It runs CheckMessage, Connect, then (unless either
// failed) SendMail and Quit, on the window's engine and message, and then ends.

#include <QThread>

namespace corvane::mail {
class TWrenSMTP;
class TWrenMsg;
}  // namespace corvane::mail

namespace corvane::app {

class TMyThread : public QThread {
    Q_OBJECT

public:
    TMyThread(mail::TWrenSMTP& smtp, mail::TWrenMsg& msg);

    // What ended the session, when something other than the engine's own reporting did.
    const QString& Unexpected() const { return m_unexpected; }

protected:
    void run() override;

private:
    mail::TWrenSMTP& m_smtp;
    mail::TWrenMsg& m_msg;
    QString m_unexpected;
};

}  // namespace corvane::app
