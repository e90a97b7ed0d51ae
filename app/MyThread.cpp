#include "MyThread.h"

#include <exception>

#include "mail/WrenEmail.h"

namespace corvane::app {

TMyThread::TMyThread(mail::TWrenSMTP& smtp, mail::TWrenMsg& msg) : m_smtp(smtp), m_msg(msg) {}

void TMyThread::run() {
    try {
        // A message that cannot be sent costs no connection.
        if (!m_smtp.CheckMessage(m_msg)) {
            return;
        }
        m_smtp.Connect();
        if (!m_smtp.Failed) {
            m_smtp.SendMail(m_msg);
            m_smtp.Quit();
        }
    } catch (const std::exception& error) {
        // The engine reports through its events; anything else (out of memory) must still
        // end the send and leave the window usable.
        m_unexpected = QString::fromUtf8(error.what());
    }
}

}  // namespace corvane::app
