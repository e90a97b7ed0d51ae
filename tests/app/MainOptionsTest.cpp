// The smaller controls of the window and what it remembers between runs, against a real
// store in a temporary XDG_CONFIG_HOME.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "RegistryTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"
#include "app/Main.h"
#include "platform/registry/Registry.h"

namespace corvane::app {
namespace {

using Items = std::vector<std::string>;

class MainOptionsTest : public ::testing::Test {
protected:
    void Open() {
        form = std::make_unique<TMainForm>();
        form->ShowMessage = [](const QString&) {};
    }
    // Closing stores everything; the next Open starts from what was stored.
    void CloseAndReopen() {
        form->close();
        form.reset();
        Open();
    }
    std::string Path(const std::string& name, const std::string& content = "x") {
        return files.WriteFile(name, content).string();
    }
    void Select(const std::vector<int>& rows) {
        form->Attachment->clearSelection();
        for (const int row : rows) {
            form->Attachment->item(row)->setSelected(true);
        }
    }
    std::optional<std::string> StoredText(const std::string& key, const std::string& name) {
        registry::TRegistry registry;
        if (!registry.OpenKey("\\Software\\Halden Software\\Corvane\\" + key, false)) {
            return std::nullopt;
        }
        return registry.ReadString(name);
    }

    test::TScratchRegistry store;
    test::TTempFolder files;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainOptionsTest, DeleteRemovesEverySelectedAttachmentKeepingTheOrder) {
    Open();
    form->Attachment->SetItems({"a", "b", "c", "d"});
    Select({0, 2});
    QTest::keyClick(form->Attachment, Qt::Key_Delete);
    EXPECT_EQ(form->Attachment->Items(), (Items{"b", "d"}));
    form->Attachment->clearSelection();
    QTest::keyClick(form->Attachment, Qt::Key_Delete);  // nothing selected: nothing happens
    EXPECT_EQ(form->Attachment->Items(), (Items{"b", "d"}));
}

TEST_F(MainOptionsTest, TheAttachmentDialogAddsChoicesAndRemembersTheirFolder) {
    const std::string one = Path("one.txt");
    const std::string two = Path("two.txt");
    Open();
    QStringList offered;
    QString title;
    QString startedIn;
    std::vector<QStringList> answers{{QString::fromStdString(one), QString::fromStdString(two)},
                                     {QString::fromStdString(one)},
                                     {}};
    form->RunOpenDialog = [&](QFileDialog& dialog) {
        offered = dialog.nameFilters();
        title = dialog.windowTitle();
        startedIn = dialog.directory().absolutePath();
        QStringList answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    };
    form->ClipperImageClick();
    EXPECT_EQ(title, QStringLiteral("Choose  File"));
    ASSERT_EQ(offered.size(), 9);
    EXPECT_TRUE(offered[0].startsWith(QStringLiteral("All files (*.*)")));
    EXPECT_TRUE(offered[8].startsWith(QStringLiteral("Audio files (*.wav,*.mid,*.au,*.snd)")));
    form->ClipperImageClick();  // the same file again: a second, equal item
    EXPECT_EQ(startedIn, QString::fromStdString(files.Path().string()));
    form->ClipperImageClick();  // cancelled: nothing added
    EXPECT_EQ(form->Attachment->Items(), (Items{one, two, one}));
    EXPECT_EQ(form->BrowseDir(), QString::fromStdString(files.Path().string()));
    CloseAndReopen();
    EXPECT_EQ(form->BrowseDir(), QString::fromStdString(files.Path().string()));
}

// Only the file manager's real drag reaches the list's drop handling (Qt ignores a drop it
// did not start), so this drives what a drop does with what it carries.
TEST_F(MainOptionsTest, OnlyLocalFilesOfADropAreAttached) {
    const std::string dropped = Path("dropped.pdf");
    Open();
    form->Attachment->SetItems({"first"});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped)), QUrl(QStringLiteral("https://example.org/x")),
                  QUrl::fromLocalFile(QString::fromStdString(files.Path().string())),
                  QUrl::fromLocalFile(QStringLiteral("/nonexistent/file"))});
    form->DropFiles(&data);
    EXPECT_EQ(form->Attachment->Items(), (Items{"first", dropped}));
    EXPECT_TRUE(form->Attachment->acceptDrops());
    EXPECT_TRUE(form->ClipperImage->acceptDrops());
}

TEST_F(MainOptionsTest, ClearNowEmptiesOnlyWhatIsChecked) {
    Open();
    form->SendTo->setEditText(QStringLiteral("to@example.org"));
    form->Subject->setEditText(QStringLiteral("Subject"));
    form->Messages->setPlainText(QStringLiteral("Text"));
    form->Attachment->SetItems({"a", "b"});
    form->Clear_Attachment->setChecked(true);
    form->ClearButton->click();
    EXPECT_TRUE(form->Attachment->Items().empty());
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("to@example.org"));
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Subject"));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("Text"));
}

TEST_F(MainOptionsTest, OptionBoxesTakeEffectWhenClicked) {
    Open();
    form->Include_X_Mailer->click();
    EXPECT_TRUE(form->X_Mailer->isEnabled());
    form->Priority->click();
    EXPECT_FALSE(form->PriorityValue->isHidden());
    form->WordWrap->click();
    EXPECT_TRUE(form->Messages->WordWrap());
    form->EditableSig->click();
    for (auto* signature : form->Sigs) {
        EXPECT_FALSE(signature->isEnabled());
    }
    form->Include_X_Mailer->click();
    EXPECT_FALSE(form->X_Mailer->isEnabled());
    EXPECT_TRUE(form->WrenMsg.Xmailer.empty());
}

TEST_F(MainOptionsTest, DisabledSignaturesAreStillSent) {
    test::TScriptedSmtpServer server(test::TSmtpScript()
                                         .Send("220 ready\r\n")
                                         .Expect("250 hi\r\n")
                                         .Expect("250 ok\r\n")
                                         .Expect("250 ok\r\n")
                                         .Expect("354 go\r\n")
                                         .ReadData()
                                         .Send("250 done\r\n")
                                         .Expect("221 bye\r\n"));
    Open();
    form->Sigs[4]->setPlainText(QStringLiteral("Signature five"));
    form->PageControl2->setCurrentIndex(5);
    form->EditableSig->click();
    form->From->setEditText(QStringLiteral("me@example.org"));
    form->Smtp->setEditText(QString::fromStdString(server.Host() + ":" + server.Port()));
    form->SendTo->setEditText(QStringLiteral("to@example.org"));
    form->StampImageClick();
    const auto data = server.Data();
    ASSERT_EQ(data.size(), 1u);
    EXPECT_NE(data[0].find("\r\n\r\nSignature five"), std::string::npos) << data[0];
}

TEST_F(MainOptionsTest, TheAboutLinksFillTheFieldsOrOpenThePageWithoutSending) {
    Open();
    std::vector<QUrl> opened;
    form->OpenUrl = [&opened](const QUrl& url) { opened.push_back(url); };
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    QTest::mouseClick(form->About_Email, Qt::LeftButton);
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet0);
    EXPECT_EQ(form->SendTo->currentText(), QString::fromLatin1(TMainForm::MakerAddress));
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Corvane v1.2 - Comment and Suggestion"));
    EXPECT_FALSE(form->Sending());
    EXPECT_FALSE(StoredText("SendTo", "S0").has_value());  // histories change only when sending
    QTest::mouseClick(form->About_Web, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].host(), QStringLiteral("corvane.example.org"));

    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(form->About_Web, &enter);
    EXPECT_TRUE(form->About_Web->font().bold());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(form->About_Web, &leave);
    EXPECT_FALSE(form->About_Web->font().bold());
}

TEST_F(MainOptionsTest, TheChosenFontGoesToTheMessageAndTheSignatures) {
    Open();
    QTimer::singleShot(0, form.get(), [this] {
        form->RegFontDialog1->FontPage()->setCurrentFont(QFont(QStringLiteral("DejaVu Sans Mono"), 13));
        form->RegFontDialog1->accept();
    });
    form->FontButton->click();
    for (QWidget* memo : {static_cast<QWidget*>(form->Messages), static_cast<QWidget*>(form->Sigs[0]),
                          static_cast<QWidget*>(form->Sigs[7])}) {
        EXPECT_EQ(memo->font().family(), QStringLiteral("DejaVu Sans Mono"));
        EXPECT_EQ(memo->font().pointSize(), 13);
    }
    EXPECT_NE(form->X_Header->font().family(), QStringLiteral("DejaVu Sans Mono"));
}

TEST_F(MainOptionsTest, EverythingComesBackAfterCloseAndStart) {
    const std::string attached = Path("report.pdf");
    Open();
    form->From->setEditText(QStringLiteral("me@example.org"));
    form->Smtp->setEditText(QStringLiteral("mail.example.org:587"));
    form->SendTo->setEditText(QStringLiteral("to@example.org"));
    form->CC->setEditText(QStringLiteral("cc@example.org"));
    form->BCC->setEditText(QStringLiteral("bcc@example.org"));
    form->Subject->setEditText(QStringLiteral("Minutes"));
    form->Messages->setPlainText(QStringLiteral("First\n\nThird"));
    form->Attachment->SetItems({attached});
    form->Sigs[2]->setPlainText(QStringLiteral("Sig three"));
    form->PageControl2->setCurrentIndex(3);
    form->Organization->setEditText(QStringLiteral("Example Org"));
    form->X_Header->setPlainText(QStringLiteral("X-A: 1"));
    for (QCheckBox* box : {form->WordWrap, form->Priority, form->Include_X_Header, form->Clear_CC,
                           form->Load_in_Tray}) {
        box->click();
    }
    form->PriorityValue->setCurrentIndex(1);
    form->move(40, 30);
    form->resize(700, 520);
    QTimer::singleShot(0, form.get(), [this] {
        form->RegFontDialog1->FontPage()->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 11));
        form->RegFontDialog1->accept();
    });
    form->FontButton->click();
    CloseAndReopen();

    EXPECT_EQ(form->From->currentText(), QStringLiteral("me@example.org"));
    EXPECT_EQ(form->Smtp->currentText(), QStringLiteral("mail.example.org:587"));
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("to@example.org"));
    EXPECT_EQ(form->CC->currentText(), QStringLiteral("cc@example.org"));
    EXPECT_EQ(form->BCC->currentText(), QStringLiteral("bcc@example.org"));
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Minutes"));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("First\n\nThird"));
    EXPECT_EQ(form->Attachment->Items(), (Items{attached}));
    EXPECT_EQ(form->Sigs[2]->toPlainText(), QStringLiteral("Sig three"));
    EXPECT_EQ(form->PageControl2->currentIndex(), 3);
    EXPECT_EQ(form->Organization->currentText(), QStringLiteral("Example Org"));
    EXPECT_EQ(form->X_Header->toPlainText(), QStringLiteral("X-A: 1"));
    for (QCheckBox* box : {form->WordWrap, form->Priority, form->Include_X_Header, form->Clear_CC,
                           form->Load_in_Tray, form->EditableSig, form->Save_From}) {
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    }
    EXPECT_EQ(form->PriorityValue->currentIndex(), 1);
    EXPECT_EQ(form->size(), QSize(700, 520));
    EXPECT_EQ(form->pos(), QPoint(40, 30));
    EXPECT_EQ(form->Messages->font().family(), QStringLiteral("DejaVu Serif"));
}

TEST_F(MainOptionsTest, AnUncheckedSaveBoxKeepsWhatWasStoredBefore) {
    Open();
    form->Subject->setEditText(QStringLiteral("Old subject"));
    form->Messages->setPlainText(QStringLiteral("Old text"));
    form->Attachment->SetItems({"/old/file"});
    CloseAndReopen();
    form->Save_Subject->setChecked(false);
    form->Save_Messages->setChecked(false);
    form->Save_Attachment->setChecked(false);
    form->Subject->setEditText(QStringLiteral("New subject"));
    form->Messages->setPlainText(QStringLiteral("New text"));
    form->Attachment->SetItems({"/new/file"});
    form->EditableSig->click();  // off: signatures are not written on close
    form->Sigs[0]->setPlainText(QStringLiteral("never stored"));
    CloseAndReopen();
    EXPECT_EQ(form->Subject->currentText(), QStringLiteral("Old subject"));
    EXPECT_EQ(form->Messages->toPlainText(), QStringLiteral("Old text"));
    EXPECT_EQ(form->Attachment->Items(), (Items{"/old/file"}));
    EXPECT_EQ(form->Sigs[0]->toPlainText(), QString());
}

TEST_F(MainOptionsTest, AFreshStoreHoldsEveryOptionAfterOneClose) {
    Open();
    form->From->setEditText(QStringLiteral("me@example.org"));
    form->close();
    form.reset();
    registry::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Halden Software\\Corvane\\Option\\General", false));
    for (const char* name : {"Top", "Left", "Height", "Width", "ActiveSig", "WordWrap", "EditableSig",
                             "Load_in_Tray", "PlayWave", "Priority", "PriorityValue", "Include_Organization",
                             "Include_X_Mailer", "Include_X_Header", "BrowseDir", "Font_Name", "Font_Size",
                             "Font_Color", "Font_Style", "Font_Charset"}) {
        EXPECT_TRUE(registry.ValueExists(name)) << name;
    }
    for (const char* section : {"Clear", "Save"}) {
        ASSERT_TRUE(registry.OpenKey(std::string("\\Software\\Halden Software\\Corvane\\Option\\") + section, false));
        for (const char* name : {"SendTo", "CC", "BCC", "Attachment", "Subject", "Messages", "From", "Smtp"}) {
            EXPECT_TRUE(registry.ValueExists(name)) << section << " " << name;
        }
    }
    ASSERT_TRUE(registry.OpenKey("\\Software\\Halden Software\\Corvane\\Option\\SaveText", false));
    EXPECT_EQ(registry.ReadString("From"), std::optional<std::string>("me@example.org"));
    for (const char* name : {"Smtp", "SendTo", "CC", "BCC", "Subject"}) {
        EXPECT_TRUE(registry.ValueExists(name)) << name;
    }
}

}  // namespace
}  // namespace corvane::app
