#pragma once
// TMainForm: Corvane's one window. Three pages ("Send Mail", "Option", "About") laid out at
// fixed pixel positions, a status bar with the progress gauge and the clock, and the
// non-visual parts that do the work: the settings store, the SMTP engine with its message,
// the tray icon, the sound player and the font dialog.
//
// A send runs on one TMyThread. The engine raises its events on that thread; every handler
// captures what it needs from the engine at once and posts its effect to this window's
// thread, where the effects run in the order the events were raised. The window waits for
// the worker in a nested event loop, so painting, the tray icon, Esc and closing keep
// working, and it returns to idle only after the worker has stopped touching the engine.
//
// Each server of the Smtp history has settings of its own (security, user name, a certificate
// trusted on purpose: account/ServerSettings.h), set with the button beside Smtp and handed to
// the engine before each send; its password comes from Passwords (the keyring, or memory),
// or is asked for then; or, for a server that takes OAuth2, its access token comes from Tokens,
// refreshed or signed in for anew in the browser. Every dialog runs through a hook that tests
// replace.

#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "account/Passwords.h"
#include "account/ServerFinder.h"
#include "account/SentArchive.h"
#include "account/ServerOAuth2.h"
#include "account/ServerSettings.h"
#include "account/TokenBook.h"
#include "app/BusyCursor.h"
#include "app/Picture.h"
#include "desktop/CorvaneGauge.h"
#include "desktop/EnStatusBar.h"
#include "desktop/StlTrayIcon.h"
#include "desktop/Wave.h"
#include "mail/WrenEmail.h"
#include "regctrls/MyReg.h"
#include "regctrls/RegFontDialog.h"
#include "regctrls/RegListBox.h"
#include "regctrls/RegMemo.h"
#include "regctrls/SuperComboBox.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTabWidget;
class QFrame;
class QFileDialog;
class QUrl;
class QMimeData;

namespace corvane::app {

class TMyThread;
class TServerSettingsDialog;
class TPasswordDialog;
class TCertificateDialog;
class TSignInDialog;

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* Caption = "Corvane v1.2";
    static constexpr const char* ReadyText = QT_TR_NOOP("Ready for your mail . . .");
    static constexpr const char* MakerAddress = "Corvane Team <corvane@example.org>";
    static constexpr const char* MakerPage = "https://corvane.example.org/";

    // ProgramFolder is where the optional pictures and "Corvane.wav" are looked for: the
    // running program's folder unless a test names another.
    explicit TMainForm(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- "Send Mail" page
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet0 = nullptr;
    QWidget* Panel0 = nullptr;
    TPicture* LetterImage = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    regctrls::TSuperComboBox* From = nullptr;
    regctrls::TSuperComboBox* Smtp = nullptr;
    QPushButton* SmtpSettings = nullptr;  // the settings of the server named in Smtp
    regctrls::TSuperComboBox* SendTo = nullptr;
    regctrls::TSuperComboBox* CC = nullptr;
    regctrls::TSuperComboBox* BCC = nullptr;
    TPicture* ClipperImage = nullptr;
    regctrls::TRegListBox* Attachment = nullptr;
    regctrls::TSuperComboBox* Subject = nullptr;
    TPicture* FrameImage = nullptr;
    TPicture* StampImage = nullptr;
    TPicture* Sealimage = nullptr;
    regctrls::TRegMemo* Messages = nullptr;
    QTabWidget* PageControl2 = nullptr;
    std::array<QWidget*, 9> SigSheets{};      // SigSheet0 ("None") to SigSheet8
    std::array<regctrls::TRegMemo*, 8> Sigs{};  // Sig1 to Sig8

    // --- "Option" page
    QWidget* TabSheet1 = nullptr;
    QWidget* Panel1 = nullptr;
    QGroupBox* GeneralGroupBox = nullptr;
    QCheckBox* WordWrap = nullptr;
    QCheckBox* EditableSig = nullptr;
    QCheckBox* Load_in_Tray = nullptr;
    QCheckBox* PlayWave = nullptr;
    QCheckBox* Priority = nullptr;
    QComboBox* PriorityValue = nullptr;
    QCheckBox* Include_Organization = nullptr;
    QCheckBox* Include_X_Mailer = nullptr;
    QCheckBox* Include_X_Header = nullptr;
    QPushButton* FontButton = nullptr;
    QGroupBox* AfterSendingGroupBox = nullptr;
    QCheckBox* Clear_From = nullptr;
    QCheckBox* Clear_Smtp = nullptr;
    QCheckBox* Clear_SendTo = nullptr;
    QCheckBox* Clear_CC = nullptr;
    QCheckBox* Clear_BCC = nullptr;
    QCheckBox* Clear_Attachment = nullptr;
    QCheckBox* Clear_Subject = nullptr;
    QCheckBox* Clear_Messages = nullptr;
    QPushButton* ClearButton = nullptr;
    QGroupBox* WhenExitGroupBox = nullptr;
    QCheckBox* Save_From = nullptr;
    QCheckBox* Save_Smtp = nullptr;
    QCheckBox* Save_SendTo = nullptr;
    QCheckBox* Save_CC = nullptr;
    QCheckBox* Save_BCC = nullptr;
    QCheckBox* Save_Attachment = nullptr;
    QCheckBox* Save_Subject = nullptr;
    QCheckBox* Save_Messages = nullptr;
    QPushButton* SaveButton = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label19 = nullptr;
    regctrls::TSuperComboBox* Organization = nullptr;
    regctrls::TSuperComboBox* X_Mailer = nullptr;
    regctrls::TRegMemo* X_Header = nullptr;
    // What becomes of a message sent: a copy kept in the Sent folder (Maildir, default on),
    // the folder opened in the desktop's file manager, and receipts asked for.
    QCheckBox* KeepSentMail = nullptr;
    QPushButton* OpenSentFolder = nullptr;
    QCheckBox* ReadReceipt = nullptr;
    QCheckBox* DeliveryReport = nullptr;

    // --- "About" page
    QWidget* TabSheet2 = nullptr;
    QWidget* Panel2 = nullptr;
    TPicture* Image1 = nullptr;
    QGroupBox* BroughtGroupBox = nullptr;
    QLabel* About_Email = nullptr;
    QLabel* About_Web = nullptr;
    QFrame* Bevel1 = nullptr;

    // --- status bar
    desktop::TEnStatusBar* StatusBar = nullptr;
    desktop::TCorvaneGauge* CorvaneGauge1 = nullptr;

    // --- non-visual members
    mail::TWrenSMTP WrenSMTP;
    mail::TWrenMsg WrenMsg;
    regctrls::TMyReg MyReg1;
    regctrls::TRegFontDialog* RegFontDialog1 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    desktop::TStlTrayIcon* StlTrayIcon = nullptr;
    desktop::TWave* Wave1 = nullptr;
    QTimer* DateClock = nullptr;

    // Routines.
    void Ready();
    void ApplyFont();
    void ApplyOptions();
    void ClearFields();
    void SaveFields();

    // Handlers.
    void FormCreate();
    void FormResize();
    void DateClockTimer();
    void StlTrayIconClick();
    // What a second start of the program on this store asks for: the window shown (also from
    // the tray), raised and activated, as a click on the tray icon does. False while the
    // window is closing (a close during a send ends the program once the send has stopped).
    bool BringToFront();
    void NameForAssistiveTechnology();
    void StampImageClick();
    void ClipperImageClick();
    bool AttachmentKeyDown(const QKeyEvent& key);
    bool AboutLinkKeyDown(QLabel* link, const QKeyEvent& key);
    void FontButtonClick();
    void TabSheet2Show();
    void About_EmailClick();
    void About_WebClick();
    // Files dropped from the desktop's file manager on the list or the paper clip: the local
    // files among them are attached as if chosen in the dialog.
    void DropFiles(const QMimeData* dropped);
    // Opens the settings of the server named in Smtp and stores what the user chose.
    void SmtpSettingsClick();
    // What the command line, or a later start through the running window, asks for
    // (MainLinks.cpp): each "mailto:" link fills To, Cc, Bcc, Subject and the text, asking
    // before it replaces what a field holds; every other argument is a file to attach. What
    // comes while a send or such a question runs is taken once it is over.
    void OpenArguments(const QStringList& arguments);
    // The arguments of this start as any window can take them: paths made absolute (a running
    // copy works in another folder) and file: URLs (the desktop's %U) made paths.
    static QStringList ResolveArguments(const QStringList& arguments);

    // The modal message of a missing attachment; tests replace it to answer it at once.
    std::function<void(const QString& text)> ShowMessage;
    // Runs the attachment dialog and gives the files chosen (none when cancelled).
    std::function<QStringList(QFileDialog& dialog)> RunOpenDialog;
    // Opens a web page with the desktop's browser.
    std::function<void(const QUrl& url)> OpenUrl;
    // The dialogs of a server's settings, of a password asked for at send time and of a
    // certificate the user may trust; each gives whether the user accepted it. Tests replace
    // them to answer at once.
    std::function<bool(TServerSettingsDialog& dialog)> RunServerDialog;
    std::function<bool(TPasswordDialog& dialog)> RunPasswordDialog;
    std::function<bool(TCertificateDialog& dialog)> RunCertificateDialog;
    // Asks whether to send through the server a lookup found (its description given); tests
    // replace it to answer at once.
    std::function<bool(const QString& description)> AcceptProposal;
    // Asks whether a mail link replaces what the fields it names hold (true) or they are kept;
    // tests replace it to answer at once.
    std::function<bool(const QString& question)> AskReplaceFields;
    // Where the server lookup asks; tests point every source at loopback.
    account::TFinderOptions FinderOptions;
    // The passwords of this run: the desktop's keyring, or memory (tests set another keyring).
    account::TPasswordBook Passwords{std::make_unique<account::TSecretServiceKeyring>()};
    // The OAuth2 tokens of this run, the refresh tokens in the keyring beside the passwords.
    account::TTokenBook Tokens{std::make_unique<account::TSecretServiceKeyring>()};
    // How a sign-in in the browser asks the provider; tests allow their loopback server.
    account::TOAuth2Options OAuth2Options;
    // Opens the provider's sign-in page in the desktop's browser; false when none could be
    // opened. Tests put a browser of their own in its place.
    std::function<bool(const QUrl& url)> OpenSignInPage;
    // The dialog of the sign-in the window waits for, while it does (tests cancel it).
    TSignInDialog* SignInWaiting() const { return m_signInDialog; }
    // Where the copies of sent mail are kept (account/SentArchive.h); tests name a folder.
    std::filesystem::path SentFolder = account::SentArchiveFolder();
    QString BrowseDir() const { return m_browseDir; }
    // Whether a send is running (its worker has not finished yet).
    bool Sending() const { return m_sending; }
    QString StatusText() const { return StatusBar->PanelText(0); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateSendMailPage();
    void CreateOptionPage();
    void CreateAboutPage();
    void CreateStatusBar();
    void CreateComponents();
    void WireEngineEvents();
    void CreateOpenDialog();
    void WireOptionControls();
    bool OptionControlEvent(QObject* watched, QEvent* event);
    void ControlExit(QObject* control);
    void AddAttachments(const QStringList& files);
    void CreateLinks();
    // Fills the fields from one mail link; what it left out is added to Problems.
    void OpenLink(const QString& link, QStringList& problems);

    bool PreviewKey(const QKeyEvent& key);
    void ReadOptions();
    void LoadPicturesBesideProgram();
    void SetStatusText(const QString& text);
    void PlaySound(const char* resourceName);
    void PlaySuccess();
    bool FillMessage();
    bool PrepareServer();
    void CreateServerLookup();
    // The one mailbox in From, if it holds exactly one.
    std::optional<std::string> SenderAddress() const;
    // With Smtp empty and an address in From: finds, shows and (once accepted) takes the
    // server's settings; false when the send must stop (nothing found, or refused, or Esc).
    bool FindServerWhenNone();
    // Runs a lookup while the window stays alive; nothing when Esc cancelled it.
    std::optional<account::TFinderResult> FindServer(const std::string& address);
    // Ends the lookup or sign-in the window waits for (Esc, closing the window).
    void CancelWait();
    void AdviseSettings();
    bool ProvidePassword();
    // The access token of an OAuth2 send (MainSignIn.cpp); false when the send must stop.
    void CreateSignIn();
    bool ProvideAccessToken();
    // After the server refused the token: a new one for a second try; false when none is due.
    bool SignInAgainAfterRefusal();
    void SignInFailed(const QString& text);
    std::optional<account::TOAuth2Outcome> FreshAccessToken(const account::TOAuth2Grant& grant);
    std::optional<account::TOAuth2Outcome> SignInAnew(const account::TServerOAuth2& oauth2, const QString& reason);
    std::optional<account::TOAuth2Outcome> SignInInBrowser(const account::TOAuth2Grant& grant, TSignInDialog& dialog,
                                                           bool& noBrowser);
    std::optional<account::TOAuth2Outcome> SignInOnAnotherDevice(const account::TOAuth2Grant& grant,
                                                                 TSignInDialog& dialog);
    // Runs the event loop until Wait quits, or Esc, closing the window or the dialog's Cancel
    // calls Cancel and ends it.
    void WaitFor(QEventLoop& wait, const std::function<void()>& cancel, TSignInDialog* dialog);
    void SendThroughWorker();
    // The copy of the message being sent (MainSentCopy.cpp): started before the worker runs,
    // kept once the server took the message, dropped otherwise.
    void BeginCopy();
    void KeepCopy();
    void DropCopy();
    bool CopiesToServer() const;
    void CopyToServer(const std::filesystem::path& message);
    void OpenSentFolderClick();
    void CreateServerDialogs();
    void StoreDialogSettings(TServerSettingsDialog& dialog, const account::TServerSettings& before);
    static std::string PasswordKeyOf(const QString& server, const account::TServerSettings& settings);
    void AfterFailure();
    void OfferTrust();
    void RunWorkerAndWait();
    void JudgeOutcome();
    void FormClose();
    void Post(std::function<void()> effect);

    // Engine event handlers, run on this window's thread with what the event carried.
    void WrenSMTPConnect(const QString& host);
    void WrenSMTPError(int error, const QString& msg);
    void WrenSMTPEncodeStart(const QString& fileName, qint64 bytesCount);
    void WrenSMTPEncodeProgress(int percent);
    void WrenSMTPEncodeEnd();
    void WrenSMTPBeforeSend();
    void WrenSMTPSendProgress(int percent, qint64 byteSend, qint64 totalByteSend);
    void WrenSMTPAfterSend(const QString& replyText);
    void WrenSMTPStartEncryption(const QString& host);
    void WrenSMTPSignIn(const QString& userName);

    TBusyCursor m_busyCursor;
    std::unique_ptr<TMyThread> m_worker;
    bool m_sending = false;
    bool m_optionsRead = false;  // FormCreate has read the stored options and put them into effect
    bool m_quitWhenSent = false;
    QString m_browseDir;
    QString m_programFolder;
    // The send under way: the server as typed, its settings, the keyring key of its
    // password, and the code of its last error (0 for none).
    QString m_sendServer;
    account::TServerSettings m_sendSettings;
    std::string m_sendKey;
    int m_lastError = 0;
    QString m_lastErrorText;
    // Ends the lookup or sign-in a send waits for, so that Esc can end both; and its dialog.
    std::function<void()> m_cancelWait;
    TSignInDialog* m_signInDialog = nullptr;
    std::unique_ptr<account::TMaildirWriter> m_copy;
    // Arguments waiting for a send or a question about a link to end.
    QStringList m_pendingArguments;
    bool m_openingArguments = false;
};

// The one window, reachable from the worker thread (set before the window's start-up runs).
extern TMainForm* MainForm;

}  // namespace corvane::app
