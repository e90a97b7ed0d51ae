// The window under the offscreen platform, with a throw-away settings store: start-up, the
// options in effect, resizing, and sends driven through the window against a scripted
// server and a real one.

#include <gtest/gtest.h>

#include <thread>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "AiosmtpdServer.h"
#include "LoopbackPorts.h"
#include "RegistryTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"
#include "app/ClockText.h"
#include "app/Main.h"
#include "platform/registry/Registry.h"
#include "platform/registry/SqliteStore.h"

namespace corvane::app {
namespace {

using test::TSmtpScript;

TSmtpScript AcceptingSession(int recipients) {
    TSmtpScript script;
    script.Send("220 test ready\r\n").Expect("250 hello\r\n").Expect("250 sender ok\r\n");
    for (int i = 0; i < recipients; ++i) {
        script.Expect("250 recipient ok\r\n");
    }
    script.Expect("354 go ahead\r\n").ReadData().Send("250 Queued as 42\r\n").Expect("221 bye\r\n");
    return script;
}

class MainFormTest : public ::testing::Test {
protected:
    // The form is made by each test, once the store holds what the test wants read.
    void Open(const QString& programFolder = QString()) {
        form = std::make_unique<TMainForm>(programFolder);
        form->ShowMessage = [this](const QString& text) { messages.push_back(text); };
        QObject::connect(form->StatusBar, &desktop::TEnStatusBar::PanelTextChanged, form.get(),
                         [this](int index, const QString& text) {
                             if (index == 0) {
                                 statuses.push_back(text);
                             }
                         });
    }

    void Address(const QString& server, const QString& to) {
        form->From->setEditText(QStringLiteral("Me <me@example.org>"));
        form->Smtp->setEditText(server);
        form->SendTo->setEditText(to);
        form->Subject->setEditText(QStringLiteral("Hello"));
        form->Messages->setPlainText(QStringLiteral("Line one\n.\nLine three"));
    }

    // Statuses seen, with the many progress texts folded into one.
    std::vector<QString> StatusSequence() const {
        std::vector<QString> folded;
        for (const QString& text : statuses) {
            const bool progress = text.startsWith(QStringLiteral("Connected: Sending message . . . "));
            const QString shown = progress ? QStringLiteral("<progress>") : text;
            if (folded.empty() || folded.back() != shown) {
                folded.push_back(shown);
            }
        }
        return folded;
    }

    test::TScratchRegistry store;
    regctrls::TMyReg options;  // the window's option values, as MyReg1 keeps them
    std::unique_ptr<TMainForm> form;
    std::vector<QString> statuses;
    std::vector<QString> messages;

    MainFormTest() { options.RegPath = "\\Software\\Halden Software\\Corvane\\Option"; }
};

TEST_F(MainFormTest, FirstStartWithAnEmptyStoreShowsTheDefaults) {
    Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Corvane v1.2"));
    EXPECT_EQ(form->size(), QSize(640, 480));
    EXPECT_EQ(form->pos(), QPoint(0, 0));
    EXPECT_EQ(form->PageControl2->currentIndex(), 0);
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ready for your mail . . ."));
    for (QCheckBox* box : {form->WordWrap, form->Load_in_Tray, form->Priority, form->Include_Organization,
                           form->Include_X_Mailer, form->Include_X_Header, form->Clear_From,
                           form->Clear_Smtp, form->Clear_SendTo, form->Clear_CC, form->Clear_BCC,
                           form->Clear_Attachment, form->Clear_Subject, form->Clear_Messages}) {
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    }
    for (QCheckBox* box : {form->EditableSig, form->PlayWave, form->Save_From, form->Save_Smtp,
                           form->Save_SendTo, form->Save_CC, form->Save_BCC, form->Save_Attachment,
                           form->Save_Subject, form->Save_Messages}) {
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    }
    EXPECT_EQ(form->PriorityValue->currentIndex(), 2);
    EXPECT_FALSE(form->X_Mailer->isEnabled());
    EXPECT_FALSE(form->Sealimage->isVisible());
    EXPECT_EQ(form->CorvaneGauge1->Progress(), 0);
    // Every control is reachable by its member name.
    for (const char* name : {"From", "Smtp", "SendTo", "CC", "BCC", "Subject", "Attachment", "Messages",
                             "Sig1", "Sig8", "StampImage", "Sealimage", "CorvaneGauge1", "StatusBar",
                             "PageControl2", "X_Header", "About_Email", "Image1"}) {
        EXPECT_NE(form->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    }
}

// A store found damaged is set aside and a fresh one started; the start that set it aside
// says so once, naming the file kept, and the next start (a new process, which opens the
// store anew) finds the fresh store sound and says nothing.
TEST_F(MainFormTest, ADamagedStoreIsReportedOnceByTheStartThatSetItAside) {
    std::filesystem::create_directories(store.StoreFolder());
    const std::string garbage(3000, '#');
    test::WriteWholeFile(store.StoreFile(), garbage);
    auto kept = [this] {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(store.StoreFolder())) {
            if (entry.path().filename().string().starts_with("registry.db.corrupt-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    };

    Open();
    ASSERT_EQ(kept().size(), 1u);
    EXPECT_EQ(test::ReadWholeFile(kept()[0]), garbage);
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("The settings file was damaged and is kept as %1: histories, drafts, "
                             "signatures and server settings start empty.")
                  .arg(QString::fromStdString(kept()[0].string())));
    form->Messages->setPlainText(QStringLiteral("A new draft"));
    form->close();
    form.reset();

    registry::TSqliteStore::CloseProcess();
    statuses.clear();
    Open();
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(TMainForm::ReadyText));
    EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(),
                            [](const QString& text) { return text.contains(QStringLiteral("damaged")); }),
              0);
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("A new draft"));
    EXPECT_EQ(kept().size(), 1u);
}

TEST_F(MainFormTest, OptionsFromTheStoreAreReadAndPutIntoEffect) {
    options.WriteInteger("General", "Width", 800);
    options.WriteInteger("General", "Height", 600);
    options.WriteInteger("General", "ActiveSig", 3);
    options.WriteBool("General", "WordWrap", true);
    options.WriteBool("General", "EditableSig", false);
    options.WriteBool("General", "Priority", true);
    options.WriteInteger("General", "PriorityValue", 4);
    options.WriteBool("General", "Include_X_Mailer", true);
    options.WriteBool("Clear", "Subject", true);
    options.WriteBool("Save", "CC", false);
    options.WriteString("SaveText", "Smtp", "mail.example.org:587");
    Open();
    EXPECT_EQ(form->size(), QSize(800, 600));
    EXPECT_EQ(form->PageControl2->currentIndex(), 3);
    EXPECT_TRUE(form->Messages->WordWrap());
    for (auto* signature : form->Sigs) {
        EXPECT_FALSE(signature->isEnabled());
    }
    EXPECT_EQ(form->PriorityValue->currentIndex(), 4);
    EXPECT_FALSE(form->PriorityValue->isHidden());
    EXPECT_TRUE(form->X_Mailer->isEnabled());
    EXPECT_FALSE(form->Organization->isEnabled());
    EXPECT_TRUE(form->Clear_Subject->isChecked());
    EXPECT_FALSE(form->Save_CC->isChecked());
    EXPECT_EQ(form->Smtp->currentText(), QStringLiteral("mail.example.org:587"));
}

TEST_F(MainFormTest, StoredIndexesOutsideTheirListsFallBackToTheirDefaults) {
    options.WriteInteger("General", "ActiveSig", 12);
    options.WriteInteger("General", "PriorityValue", -1);
    Open();
    EXPECT_EQ(form->PageControl2->currentIndex(), 0);
    EXPECT_EQ(form->PriorityValue->currentIndex(), 2);
}

TEST_F(MainFormTest, ResizingMovesTheStatusPanelAndTheGauge) {
    Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->StatusBar->Panel(0)->width(), 380);
    EXPECT_EQ(form->CorvaneGauge1->x(), 383);
    form->resize(800, 480);
    QTRY_COMPARE_WITH_TIMEOUT(form->width(), 800, 2000);
    EXPECT_EQ(form->StatusBar->Panel(0)->width(), 540);
    EXPECT_EQ(form->CorvaneGauge1->x(), 543);
    // The pages' panels stay 624 wide and centred.
    QTRY_COMPARE_WITH_TIMEOUT(form->Panel0->x(), (form->TabSheet0->width() - 624) / 2, 2000);
    EXPECT_EQ(form->Panel0->width(), 624);
    form->resize(500, 300);
    EXPECT_EQ(form->size(), QSize(640, 480));  // never smaller than that
}

TEST_F(MainFormTest, OnlyTheLetterPictureBesideTheProgramReplacesItsBuiltInOne) {
    test::TTempFolder folder;
    QImage letter(618, 236, QImage::Format_RGB32);
    letter.fill(QColor(10, 200, 30));
    ASSERT_TRUE(letter.save(QString::fromStdString((folder.Path() / "letter.bmp").string()), "BMP"));
    folder.WriteFile("stamp.bmp", "not a picture");  // unreadable: the built-in one stays
    Open(QString::fromStdString(folder.Path().string()));
    EXPECT_EQ(form->LetterImage->pixmap().toImage().pixelColor(300, 100), QColor(10, 200, 30));
    const QImage builtInStamp(QStringLiteral(":/pictures/stamp"));
    EXPECT_EQ(form->StampImage->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              builtInStamp.convertToFormat(QImage::Format_RGB32));
}

TEST_F(MainFormTest, CtrlReturnInTheMessageSendsAndEscIsHarmlessWhenIdle) {
    test::TScriptedSmtpServer server(AcceptingSession(1));
    Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    Address(QString::fromStdString(server.Host() + ":" + server.Port()), QStringLiteral("to@example.org"));
    QTest::keyClick(form->Messages, Qt::Key_Escape);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Ready for your mail . . ."));
    form->Messages->setFocus();
    QTest::keyClick(form->Messages, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail."));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("Line one\n.\nLine three"));  // no line added
}

// Without a mouse: Alt and each caption's letter reach its field, Insert in the attachment
// list opens the file dialog, and the stamp sends by Space as by its accessible Press action.
TEST_F(MainFormTest, TheKeyboardAndAssistiveTechnologyReachEveryFieldAndTheStamp) {
    Open();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    for (const auto& [letter, field] : std::vector<std::pair<Qt::Key, QWidget*>>{
             {Qt::Key_F, form->From}, {Qt::Key_S, form->Smtp}, {Qt::Key_T, form->SendTo}, {Qt::Key_C, form->CC},
             {Qt::Key_B, form->BCC}, {Qt::Key_J, form->Subject}}) {
        QTest::keyClick(form.get(), letter, Qt::AltModifier);
        EXPECT_TRUE(field->isAncestorOf(QApplication::focusWidget()) || field == QApplication::focusWidget())
            << field->objectName().toStdString();
    }
    int dialogs = 0;
    form->RunOpenDialog = [&dialogs](QFileDialog&) {
        ++dialogs;
        return QStringList{QStringLiteral("/tmp/chosen.txt")};
    };
    form->Attachment->setFocus();
    QTest::keyClick(form->Attachment, Qt::Key_Insert);
    QTest::keyClick(form->Attachment, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 2);
    ASSERT_GE(form->Attachment->count(), 1);
    form->Attachment->clear();

    // The About page's links open by Return as by a click.
    std::vector<QUrl> opened;
    form->OpenUrl = [&opened](const QUrl& url) { opened.push_back(url); };
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    form->About_Web->setFocus();
    QTest::keyClick(form->About_Web, Qt::Key_Return);
    EXPECT_EQ(opened.size(), 1u);
    form->PageControl1->setCurrentWidget(form->TabSheet0);

    QAccessibleInterface* stamp = QAccessible::queryAccessibleInterface(form->StampImage);
    ASSERT_NE(stamp, nullptr);
    EXPECT_EQ(stamp->role(), QAccessible::Button);
    EXPECT_EQ(stamp->text(QAccessible::Name), QStringLiteral("Send"));
    ASSERT_NE(stamp->actionInterface(), nullptr);
    for (const bool pressedByAssistiveTechnology : {false, true}) {
        test::TScriptedSmtpServer server(AcceptingSession(1));
        Address(QString::fromStdString(server.Host() + ":" + server.Port()), QStringLiteral("to@example.org"));
        statuses.clear();
        if (pressedByAssistiveTechnology) {
            stamp->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            EXPECT_TRUE(statuses.empty()) << "the request is answered before the send starts";
        } else {
            form->StampImage->setFocus();
            QTest::keyClick(form->StampImage, Qt::Key_Space);
        }
        const QString success = QStringLiteral("Successful: Ready for your mail.");
        EXPECT_TRUE(QTest::qWaitFor([&] { return std::count(statuses.begin(), statuses.end(), success) == 1; }, 20000))
            << form->StatusText().toStdString();
        EXPECT_EQ(server.Data().size(), 1u);
    }
}

TEST(ClockText, TwelveHourClockWithTheMonthAbbreviated) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(ClockText(QDateTime(QDate(2001, 1, 2), QTime(9, 5)), english),
              QStringLiteral("09:05 AM  Jan 02,2001"));
    EXPECT_EQ(ClockText(QDateTime(QDate(2026, 12, 8), QTime(21, 45)), english),
              QStringLiteral("09:45 PM  Dec 08,2026"));
}

TEST_F(MainFormTest, SuccessfulSendMapsTheFieldsAndClearsWhatTheBoxesSay) {
    test::TScriptedSmtpServer server(AcceptingSession(2));
    ASSERT_TRUE(server.Listening());
    Open();
    Address(QString::fromStdString(server.Host() + ":" + server.Port()), QStringLiteral("to@example.org"));
    form->BCC->setEditText(QStringLiteral("hidden@example.org"));
    form->Clear_SendTo->setChecked(true);
    form->Clear_Messages->setChecked(true);
    form->PageControl2->setCurrentIndex(2);
    form->Sigs[1]->setPlainText(QStringLiteral("-- \nSigned two"));
    form->Priority->setChecked(true);
    form->PriorityValue->setCurrentIndex(4);
    form->Include_X_Mailer->setChecked(true);
    form->X_Mailer->setEditText(QStringLiteral("Corvane"));
    form->Organization->setEditText(QStringLiteral("Not included"));

    form->StampImageClick();

    EXPECT_EQ(StatusSequence(),
              (std::vector<QString>{QStringLiteral("Connecting %1:%2 . . .")
                                        .arg(QString::fromStdString(server.Host()))
                                        .arg(QString::fromStdString(server.Port())),
                                    QStringLiteral("Connected: 127.0.0.1"),
                                    QStringLiteral("Connected: Sending message . . ."),
                                    QStringLiteral("<progress>"), QStringLiteral("Queued as 42"),
                                    QStringLiteral("Successful: Ready for your mail.")}));
    const std::vector<std::string> sent = server.Data();
    ASSERT_EQ(sent.size(), 1u);
    const std::string& data = sent[0];
    for (const char* expected : {"\r\nFrom: Me <me@example.org>\r\n", "\r\nTo: to@example.org\r\n",
                                 "\r\nSubject: Hello\r\n", "X-Priority: 5\r\n", "X-MSMail-Priority: Lowest\r\n",
                                 "X-Mailer: Corvane\r\n", "\r\n\r\nLine one\r\n..\r\nLine three\r\n\r\n-- \r\nSigned two"}) {
        EXPECT_NE(data.find(expected), std::string::npos) << expected << "\n" << data;
    }
    EXPECT_EQ(data.find("Organization"), std::string::npos);
    EXPECT_EQ(data.find("hidden@example.org"), std::string::npos);
    EXPECT_NE(server.Received().find("RCPT TO:<hidden@example.org>\r\n"), std::string::npos);

    EXPECT_TRUE(form->Sealimage->isVisibleTo(form->Panel0));
    EXPECT_EQ(form->SendTo->currentText(), QString());
    EXPECT_EQ(form->Messages->toPlainText(), QString());
    EXPECT_EQ(form->From->currentText(), QStringLiteral("Me <me@example.org>"));
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Hello"));
    EXPECT_FALSE(form->Sending());
    EXPECT_TRUE(form->PageControl1->isEnabled());
    EXPECT_EQ(form->CorvaneGauge1->Progress(), 100);
}

TEST_F(MainFormTest, RefusalKeepsEveryFieldAndShowsTheServersWordsAsPlainText) {
    test::TScriptedSmtpServer server(TSmtpScript().Send("220 ready\r\n").Expect("250 hi\r\n").Expect(
        "550 <b>Sender</b> \x1B[2Krejected\r\n"));
    Open();
    Address(QString::fromStdString(server.Host() + ":" + server.Port()), QStringLiteral("to@example.org"));
    form->Clear_SendTo->setChecked(true);
    form->StampImageClick();
    // Markup and terminal escapes from the server are shown, never acted on.
    EXPECT_EQ(form->StatusText(), QStringLiteral("Error: 550 <b>Sender</b> \\u001B[2Krejected"));
    EXPECT_EQ(form->StatusBar->Panel(0)->textFormat(), Qt::PlainText);
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("to@example.org"));
    EXPECT_FALSE(form->Sealimage->isVisibleTo(form->Panel0));
    EXPECT_EQ(form->CorvaneGauge1->Progress(), 0);
    // The histories were stored when the send began.
    registry::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Halden Software\\Corvane\\SendTo", false));
    EXPECT_EQ(registry.ReadString("S0"), "to@example.org");
}

// With the default settings (no encryption, no sign-in) a refused connection may well be a
// wrong port or security: the status text says where the settings can be found.
TEST_F(MainFormTest, ConnectionFailureSays101) {
    test::TRefusingPort refusing;
    Open();
    Address(QString::fromStdString("127.0.0.1:" + refusing.Port()), "to@example.org");
    form->StampImageClick();
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("Error: 101 Failed to connect the mail server. 127.0.0.1:%1: connection refused. "
                             "The server's settings can be found with Ctrl+Shift+S.")
                  .arg(QString::fromStdString(refusing.Port())));
}

TEST_F(MainFormTest, EscCancelsWhileTheServerIsSilent) {
    test::TScriptedSmtpServer server{TSmtpScript()};
    Open();
    Address(QString::fromStdString("127.0.0.1:" + server.Port()), "to@example.org");
    form->Clear_SendTo->setChecked(true);
    QObject::connect(form->StatusBar, &desktop::TEnStatusBar::PanelTextChanged, form.get(),
                     [this](int, const QString& text) {
                         if (text.startsWith(QStringLiteral("Connected: 127.0.0.1"))) {
                             QTest::keyClick(form.get(), Qt::Key_Escape);
                         }
                     });
    QElapsedTimer clock;
    clock.start();
    form->StampImageClick();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Canceled: Ready for your mail."));
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("to@example.org"));
    EXPECT_EQ(form->CorvaneGauge1->Progress(), 0);
    EXPECT_TRUE(form->PageControl1->isEnabled());
}

// Once the server has taken the message the mail is sent, whatever QUIT meets; Esc while
// the server's verdict is awaited may come too late to stop it, and the window says so.
TEST_F(MainFormTest, TheServersAnswerToTheMessageDecidesTheOutcome) {
    struct TCase {
        const char* Name;
        bool AnswerTheMessage;
        QString Status;
    };
    const TCase cases[] = {
        {"closed instead of answering QUIT", true, QStringLiteral("Successful: Ready for your mail.")},
        {"Esc while the verdict is awaited", false,
         QStringLiteral("Error: 111 The server did not confirm the message; it may have been delivered. "
                        "Check before sending again.")},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        TSmtpScript script;
        script.Send("220 ready\r\n").Expect("250 hi\r\n").Expect("250 ok\r\n").Expect("250 ok\r\n");
        script.Expect("354 go\r\n").ReadData();
        if (row.AnswerTheMessage) {
            script.Send("250 Queued\r\n").ReadLine().Close();
        }
        test::TScriptedSmtpServer server(std::move(script));
        Open();
        Address(QString::fromStdString("127.0.0.1:" + server.Port()), QStringLiteral("to@example.org"));
        form->Clear_SendTo->setChecked(true);
        if (!row.AnswerTheMessage) {
            std::thread pressEsc([&server, this] {
                if (server.WaitForReceived("\r\n.\r\n")) {
                    QMetaObject::invokeMethod(form.get(), [this] { QTest::keyClick(form.get(), Qt::Key_Escape); });
                }
            });
            form->StampImageClick();
            pressEsc.join();
        } else {
            form->StampImageClick();
        }
        EXPECT_EQ(form->StatusText(), row.Status);
        EXPECT_EQ(form->SendTo->currentText().isEmpty(), row.AnswerTheMessage);
        EXPECT_EQ(form->Sealimage->isVisibleTo(form->Panel0), row.AnswerTheMessage);
    }
}

TEST_F(MainFormTest, MissingSecondOfThreeAttachmentsStopsBeforeConnecting) {
    test::TTempFolder folder;
    const QString first = QString::fromStdString(folder.WriteFile("one.txt", "1").string());
    const QString missing = QString::fromStdString((folder.Path() / "two.txt").string());
    const QString third = QString::fromStdString(folder.WriteFile("three.txt", "3").string());
    test::TScriptedSmtpServer server{TSmtpScript()};
    Open();
    Address(QString::fromStdString("127.0.0.1:" + server.Port()), "to@example.org");
    form->Attachment->SetItems({first.toStdString(), missing.toStdString(), third.toStdString()});
    form->StampImageClick();
    const QString text = QStringLiteral("File %1 not found!").arg(missing);
    EXPECT_EQ(messages, std::vector<QString>{text});
    EXPECT_EQ(form->StatusText(), text);
    EXPECT_EQ(form->WrenMsg.AttachedFiles.Count(), 1u);
    EXPECT_FALSE(server.WaitUntilAccepted(std::chrono::milliseconds(200)));
    EXPECT_TRUE(form->PageControl1->isEnabled());
}

TEST_F(MainFormTest, ClosingDuringASendSavesStopsAndEndsSafely) {
    test::TScriptedSmtpServer server{TSmtpScript()};
    Open();
    Address(QString::fromStdString("127.0.0.1:" + server.Port()), "to@example.org");
    QObject::connect(form->StatusBar, &desktop::TEnStatusBar::PanelTextChanged, form.get(),
                     [this](int, const QString& text) {
                         if (text.startsWith(QStringLiteral("Connected: 127.0.0.1"))) {
                             form->close();
                         }
                     });
    form->StampImageClick();
    EXPECT_FALSE(form->Sending());
    EXPECT_TRUE(form->WrenSMTP.Aborted);
    EXPECT_TRUE(server.WaitUntilClosed(std::chrono::seconds(5)));
    // Everything was stored on the way out.
    regctrls::TMyReg stored;
    stored.RegPath = "\\Software\\Halden Software\\Corvane\\Option";
    EXPECT_EQ(stored.ReadString("SaveText", "SendTo", "<none>"), "to@example.org");
    EXPECT_EQ(stored.ReadInteger("General", "Width", -1), 640);
    form.reset();  // the worker is gone: destroying the window is safe
}

TEST_F(MainFormTest, AttachmentsArriveWholeAtARealServer) {
    test::TAiosmtpdServer server;
    ASSERT_TRUE(server.Running()) << server.Problem();
    test::TTempFolder folder;
    std::string big(200 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 31 + i / 7);
    }
    const auto bigPath = folder.WriteFile("big.bin", big);
    const auto notePath = folder.WriteFile("note.txt", "a note\n");
    Open();
    Address(QString::fromStdString("127.0.0.1:" + server.Port()), "to@example.org");
    form->Attachment->SetItems({bigPath.string(), notePath.string()});
    form->StampImageClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail.")) << StatusSequence().size();
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    ASSERT_EQ(message->Attachments.size(), 2u);
    EXPECT_TRUE(message->Attachments[0].Data == big);
    EXPECT_EQ(message->Attachments[1].Data, "a note\n");
    const auto sequence = StatusSequence();
    EXPECT_NE(std::find(sequence.begin(), sequence.end(), QStringLiteral("Start encoding big.bin of 204800 bytes.")),
              sequence.end());
    EXPECT_NE(std::find(sequence.begin(), sequence.end(), QStringLiteral("Finished encoding.")), sequence.end());
}

// Text beyond ASCII stays as typed through the store and a restart, shows as typed in the
// status bar, and arrives as typed.
TEST_F(MainFormTest, UnicodeTextSurvivesARestartShowsAndArrivesAsTyped) {
    test::TAiosmtpdOptions utf8;
    utf8.SmtpUtf8 = true;
    test::TAiosmtpdServer server(utf8);
    ASSERT_TRUE(server.Running()) << server.Problem();
    test::TTempFolder folder;
    const auto report = folder.WriteFile("Bericht März.txt", "Zahlen\n");
    const QString from = QStringLiteral("Jürgen Müller <jürgen@bücher.example>");
    const QString to = QStringLiteral("Ζωή <zoe@example.org>");
    const QString subject = QStringLiteral("Grüße — 季度报告 🎉");
    const QString text = QStringLiteral("Schöne Grüße\nПривет\nこんにちは");
    Open();
    form->From->setEditText(from);
    form->Smtp->setEditText(QString::fromStdString("127.0.0.1:" + server.Port()));
    form->SendTo->setEditText(to);
    form->Subject->setEditText(subject);
    form->Messages->setPlainText(text);
    form->Attachment->SetItems({report.string()});
    form->close();
    form.reset();
    Open();
    EXPECT_EQ(form->From->currentText(), from);
    EXPECT_EQ(form->SendTo->currentText(), to);
    EXPECT_EQ(form->Subject->currentText(), subject);
    EXPECT_EQ(form->Messages->toPlainText(), text);

    form->StampImageClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail."));
    const auto sequence = StatusSequence();
    EXPECT_NE(std::find(sequence.begin(), sequence.end(), QStringLiteral("Start encoding Bericht März.txt of 7 bytes.")),
              sequence.end());
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Defects, "");
    EXPECT_EQ(message->EnvelopeFrom, "jürgen@xn--bcher-kva.example") << "the domain as its A-label";
    EXPECT_EQ(message->Header("Subject"), subject.toStdString());
    EXPECT_EQ(message->Header("To"), to.toStdString());
    EXPECT_EQ(message->Text, "Schöne Grüße\r\nПривет\r\nこんにちは\r\n");
    ASSERT_EQ(message->Attachments.size(), 1u);
    EXPECT_EQ(message->Attachments[0].FileName, "Bericht März.txt");
}

// A mail link fills the empty fields without a word; over something written already it asks,
// once for all such fields: "keep" keeps them and still fills the empty ones, "replace"
// replaces them. Files join the attachment list; a malformed link and a missing file are said.
TEST_F(MainFormTest, MailLinksFillTheFieldsAskBeforeReplacingAndFilesAreAttached) {
    Open();
    std::vector<QString> questions;
    bool replace = false;
    form->AskReplaceFields = [&](const QString& question) {
        questions.push_back(question);
        return replace;
    };
    const test::TTempFolder folder;
    const std::string notes = folder.WriteFile("notes.txt", "notes").string();
    form->PageControl1->setCurrentWidget(form->TabSheet1);

    form->OpenArguments({QStringLiteral("mailto:a@x.example,b@x.example?cc=c@x.example&subject=caf%C3%A9"
                                        "&body=one%0D%0Atwo&from=evil@x.example"),
                         QString::fromStdString(notes), QStringLiteral("/nowhere/missing.txt")});
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("a@x.example, b@x.example"));
    EXPECT_EQ(form->CC->currentText(), QStringLiteral("c@x.example"));
    EXPECT_EQ(form->BCC->currentText(), QString());
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(form->Attachment->Items(), std::vector<std::string>{notes});
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Not a file to attach: /nowhere/missing.txt."));

    form->Subject->setEditText(QStringLiteral("Typed"));
    const QString link = QStringLiteral("mailto:d@x.example?subject=Link&bcc=e@x.example&body=Linked");
    form->OpenArguments({link});
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], QStringLiteral("The mail link brings its own To, Subject and the message text, but "
                                           "something is written there already.\n\nReplace it with the "
                                           "link's, or keep what is there?"));
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("a@x.example, b@x.example"));
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Typed"));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(form->BCC->currentText(), QStringLiteral("e@x.example"));

    replace = true;
    form->OpenArguments({link, QStringLiteral("mailto:?subject=a%0D%0ABcc:%20f@x.example&to=%zz")});
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("d@x.example"));
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Link"));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("Linked"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("The mail link is malformed; left out: subject (a line "
                                                 "break), to (an invalid % escape)."));
}

}  // namespace
}  // namespace corvane::app
