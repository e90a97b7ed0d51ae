// The send: the stamp's click, the worker and the wait for it, the engine's events on the
// window, and the judgement of the outcome.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTabWidget>

#include "app/LayerTexts.h"
#include "app/Main.h"
#include "app/MyThread.h"
#include "mail/MailText.h"
#include "mail/ScreenText.h"
#include "platform/registry/Registry.h"

namespace corvane::app {

namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }
QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

void TMainForm::Post(std::function<void()> effect) {
    QMetaObject::invokeMethod(this, std::move(effect), Qt::QueuedConnection);
}

// Each handler captures what it shows when the event is raised: by the time the window runs
// the effect, the worker may already have read the next reply.
void TMainForm::WireEngineEvents() {
    WrenSMTP.OnConnect = [this](mail::TWrenSMTP& smtp) {
        Post([this, host = Text(smtp.Host)] { WrenSMTPConnect(host); });
    };
    WrenSMTP.OnError = [this](mail::TWrenSMTP&, int error, const std::string& msg) {
        Post([this, error, text = Text(msg)] { WrenSMTPError(error, text); });
    };
    WrenSMTP.OnEncodeStart = [this](mail::TWrenSMTP&, const std::string& fileName, std::int64_t bytes) {
        Post([this, name = Text(fileName), bytes] { WrenSMTPEncodeStart(name, bytes); });
    };
    WrenSMTP.OnEncodeProgress = [this](mail::TWrenSMTP&, std::uint16_t percent) {
        Post([this, percent] { WrenSMTPEncodeProgress(percent); });
    };
    WrenSMTP.OnEncodeEnd = [this](mail::TWrenSMTP&) { Post([this] { WrenSMTPEncodeEnd(); }); };
    WrenSMTP.OnBeforeSend = [this](mail::TWrenSMTP&) { Post([this] { WrenSMTPBeforeSend(); }); };
    WrenSMTP.OnSendProgress = [this](mail::TWrenSMTP&, std::uint16_t percent, std::int64_t sent,
                                     std::int64_t total) {
        Post([this, percent, sent, total] { WrenSMTPSendProgress(percent, sent, total); });
    };
    WrenSMTP.OnAfterSend = [this](mail::TWrenSMTP& smtp) {
        Post([this, reply = Text(smtp.ReplyText)] { WrenSMTPAfterSend(reply); });
    };
    WrenSMTP.OnStartEncryption = [this](mail::TWrenSMTP& smtp) {
        Post([this, host = Text(smtp.Host)] { WrenSMTPStartEncryption(host); });
    };
    WrenSMTP.OnSignIn = [this](mail::TWrenSMTP& smtp) {
        Post([this, user = Text(smtp.UserName)] { WrenSMTPSignIn(user); });
    };
}

void TMainForm::SetStatusText(const QString& text) {
    // Every status text may carry words from outside (a reply, a file or host name).
    StatusBar->SetPanelText(0, Text(mail::ScreenSafe(Utf8(InWindowLanguage(text)))));
}

void TMainForm::PlaySound(const char* resourceName) {
    Wave1->WhereWave = desktop::wwResource;
    Wave1->WaveName = resourceName;
    Wave1->Play();
}

// The user's own "Corvane.wav" beside the program, as the Sound box's hint promises, in
// place of the built-in sound.
void TMainForm::PlaySuccess() {
    const QString own = QDir(m_programFolder).filePath(QStringLiteral("Corvane.wav"));
    if (QFileInfo::exists(own)) {
        Wave1->WhereWave = desktop::wwWaveFile;
        Wave1->WaveName = Utf8(own);
        if (Wave1->Play()) {
            return;
        }
    }
    PlaySound("Successful");
}

void TMainForm::StampImageClick() {
    if (m_sending) {
        return;
    }
    const bool sound = PlayWave->isChecked();
    if (sound) {
        PlaySound("DoorClose");
    }
    StlTrayIcon->SetFlash(true);
    Sealimage->hide();
    CorvaneGauge1->SetProgress(0);
    m_busyCursor.Start();
    PageControl1->setEnabled(false);
    m_sending = true;

    {
        // One durable commit for the six histories, not one per history.
        registry::TWriteBatch histories;
        for (regctrls::TSuperComboBox* history : {From, Smtp, SendTo, CC, BCC, Subject}) {
            history->SaveToRegistry();
        }
    }
    m_lastError = 0;
    m_lastErrorText.clear();

    // The attachments are checked before a password is asked for.
    if (FillMessage() && FindServerWhenNone() && PrepareServer()) {
        BeginCopy();
        SendThroughWorker();
        if (SignInAgainAfterRefusal()) {
            BeginCopy();
            SendThroughWorker();
        }
        JudgeOutcome();
    }
    DropCopy();
    account::Wipe(WrenSMTP.Password);
    account::Wipe(WrenSMTP.AccessToken);

    StlTrayIcon->SetFlash(false);
    m_busyCursor.Stop();
    PageControl1->setEnabled(true);
    m_sending = false;
    if (m_quitWhenSent) {
        QCoreApplication::quit();
    } else if (m_lastError != 0) {
        AfterFailure();
    }
    // Links and files handed over during the send, after the outcome has been seen to.
    if (!m_quitWhenSent && !m_pendingArguments.isEmpty()) {
        Post([this] { OpenArguments({}); });
    }
}

// False when a listed attachment is missing; that has then been said and nothing is sent.
bool TMainForm::FillMessage() {
    WrenMsg.Clear();
    WrenMsg.From = Utf8(From->currentText());
    WrenMsg.SendTo = Utf8(SendTo->currentText());
    WrenMsg.CC = Utf8(CC->currentText());
    WrenMsg.BCC = Utf8(BCC->currentText());
    WrenMsg.Subject = Utf8(Subject->currentText());
    WrenMsg.Text = Messages->Lines();
    if (Include_Organization->isChecked()) {
        WrenMsg.Organization = Utf8(Organization->currentText());
    }
    if (Include_X_Mailer->isChecked()) {
        WrenMsg.Xmailer = Utf8(X_Mailer->currentText());
    }
    if (Include_X_Header->isChecked()) {
        WrenMsg.ExtraHeaders = X_Header->Lines();
    }
    if (Priority->isChecked()) {
        WrenMsg.Priority = PriorityValue->currentIndex() + 1;
        WrenMsg.IncludePriority = true;
    }
    WrenMsg.RequestReadReceipt = ReadReceipt->isChecked();
    WrenSMTP.RequestDeliveryReport = DeliveryReport->isChecked();
    const int signature = PageControl2->currentIndex();
    if (signature >= 1 && signature <= 8) {
        WrenMsg.Signature = Sigs[static_cast<std::size_t>(signature - 1)]->Lines();
    }
    for (const std::string& item : Attachment->Items()) {
        if (!QFileInfo::exists(Text(item))) {
            if (PlayWave->isChecked()) {
                PlaySound("error");
            }
            const QString text = tr("File %1 not found!").arg(Text(item));
            SetStatusText(text);
            ShowMessage(text);
            return false;
        }
        WrenMsg.AttachedFiles.AddFile(item);
    }
    return true;
}

void TMainForm::SendThroughWorker() {
    SetStatusText(tr("Connecting %1 . . .").arg(Smtp->currentText()));
    RunWorkerAndWait();
}

void TMainForm::RunWorkerAndWait() {
    m_worker = std::make_unique<TMyThread>(WrenSMTP, WrenMsg);
    QEventLoop wait;
    // Queued after every effect the worker posted, so all of them have run when it quits.
    connect(m_worker.get(), &QThread::finished, &wait, &QEventLoop::quit, Qt::QueuedConnection);
    m_worker->start();
    wait.exec();
    m_worker->wait();
    if (!m_worker->Unexpected().isEmpty() && !WrenSMTP.Aborted && !WrenSMTP.Accepted) {
        WrenSMTP.Failed = true;
        SetStatusText(tr("Error: %1").arg(m_worker->Unexpected()));
    }
    m_worker.reset();
}

// The server's answer to the end of the message decides: once it took the message, nothing
// after it (a QUIT refused, unanswered or cancelled) makes the send a failure. A cancel is
// only a cancel when no error ended the send first: Esc after the whole message went is the
// engine's 111 (it may have been delivered), which must stay on screen.
void TMainForm::JudgeOutcome() {
    const bool sound = PlayWave->isChecked();
    if (WrenSMTP.Accepted) {
        ClearFields();
        Sealimage->show();
        Sealimage->raise();
        SetStatusText(tr("Successful: Ready for your mail."));
        // A password the keyring did not take is said here, where nothing overwrites it
        // (the postmark still shows that the mail went).
        if (const std::string notice = Passwords.TakeNotice(); !notice.empty()) {
            SetStatusText(Text(notice));
        }
        if (WrenSMTP.DeliveryReportIgnored) {
            SetStatusText(tr("Successful; the server offers no delivery reports, so none was asked for."));
        }
        KeepCopy();
        if (sound) {
            PlaySuccess();
        }
    } else if (WrenSMTP.Aborted && m_lastError == 0) {
        if (sound) {
            PlaySound("error");
        }
        CorvaneGauge1->SetProgress(0);
        CorvaneGauge1->repaint();
        SetStatusText(tr("Canceled: Ready for your mail."));
    }
    // A failure keeps the error text its event wrote.
}

void TMainForm::ClearFields() {
    if (Clear_SendTo->isChecked()) {
        SendTo->setEditText(QString());
    }
    if (Clear_CC->isChecked()) {
        CC->setEditText(QString());
    }
    if (Clear_BCC->isChecked()) {
        BCC->setEditText(QString());
    }
    if (Clear_Attachment->isChecked()) {
        Attachment->clear();
    }
    if (Clear_Subject->isChecked()) {
        Subject->setEditText(QString());
    }
    if (Clear_Messages->isChecked()) {
        Messages->clear();
    }
    if (Clear_From->isChecked()) {
        From->setEditText(QString());
    }
    if (Clear_Smtp->isChecked()) {
        Smtp->setEditText(QString());
    }
}

void TMainForm::WrenSMTPConnect(const QString& host) {
    SetStatusText(tr("Connected: %1").arg(host));
}

void TMainForm::WrenSMTPError(int error, const QString& msg) {
    m_lastError = error;
    m_lastErrorText = msg;
    if (PlayWave->isChecked()) {
        PlaySound("error");
    }
    CorvaneGauge1->SetProgress(0);
    CorvaneGauge1->repaint();
    SetStatusText(tr("Error: %1 %2").arg(error).arg(msg));
}

void TMainForm::WrenSMTPEncodeStart(const QString& fileName, qint64 bytesCount) {
    CorvaneGauge1->SetProgress(0);
    CorvaneGauge1->repaint();
    SetStatusText(tr("Start encoding %1 of %2 bytes.").arg(fileName).arg(bytesCount));
}

void TMainForm::WrenSMTPEncodeProgress(int percent) {
    CorvaneGauge1->setVisible(true);
    CorvaneGauge1->SetProgress(percent);
    CorvaneGauge1->repaint();
}

void TMainForm::WrenSMTPEncodeEnd() {
    SetStatusText(tr("Finished encoding."));
}

void TMainForm::WrenSMTPBeforeSend() {
    CorvaneGauge1->SetProgress(0);
    CorvaneGauge1->repaint();
    SetStatusText(tr("Connected: Sending message . . ."));
}

void TMainForm::WrenSMTPSendProgress(int percent, qint64 byteSend, qint64 totalByteSend) {
    CorvaneGauge1->setVisible(true);
    CorvaneGauge1->SetProgress(percent);
    CorvaneGauge1->repaint();
    SetStatusText(tr("Connected: Sending message . . . %1 of %2 bytes.").arg(byteSend).arg(totalByteSend));
}

void TMainForm::WrenSMTPAfterSend(const QString& replyText) {
    SetStatusText(replyText);
}

void TMainForm::WrenSMTPStartEncryption(const QString& host) {
    SetStatusText(tr("Starting encryption with %1 . . .").arg(host));
}

void TMainForm::WrenSMTPSignIn(const QString& userName) {
    SetStatusText(tr("Signing in as %1 . . .").arg(userName));
}

}  // namespace corvane::app
