// Start-up, the options in effect, resizing, the clock, and the window's keys.

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTabWidget>

#include "app/AccessiblePicture.h"
#include "app/ClockText.h"
#include "app/Main.h"
#include "app/MyThread.h"
#include "app/Translations.h"
#include "desktop/Resources.h"
#include "mail/ScreenText.h"
#include "platform/registry/Registry.h"

namespace corvane::app {

TMainForm* MainForm = nullptr;

namespace {

constexpr int DesignWidth = 640;
constexpr int DesignHeight = 480;
constexpr int PanelWidth = 624;
constexpr int PanelHeight = 407;
constexpr int StatusPanelWidth = 380;
constexpr int GaugeLeft = 383;
constexpr int SignatureTabs = 9;
constexpr int PriorityNames = 5;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

TMainForm::TMainForm(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent),
      m_programFolder(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder) {
    MainForm = this;
    desktop::EnsureResources();
    InstallAccessibleControls();
    setObjectName(QStringLiteral("MainForm"));
    QFont font(QStringLiteral("Microsoft Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setMinimumSize(DesignWidth, DesignHeight);
    resize(DesignWidth, DesignHeight);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    setCentralWidget(PageControl1);
    CreateSendMailPage();
    CreateOptionPage();
    CreateAboutPage();
    CreateStatusBar();
    CreateComponents();
    CreateOpenDialog();
    WireEngineEvents();
    WireOptionControls();
    CreateServerDialogs();
    CreateServerLookup();
    CreateLinks();

    ShowMessage = [this](const QString& text) {
        // A file name is shown as typed, never read as markup.
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(Caption), text, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { Ready(); });
    // Key preview: keys meant for any control of this window pass here first, and so do the
    // events of the controls the window looks after (the pages, for one, get their new size
    // after the window's resize event).
    qApp->installEventFilter(this);
    connect(PageControl2, &QTabWidget::currentChanged, this, [this] { Ready(); });

    FormCreate();
}

TMainForm::~TMainForm() {
    // The worker has stopped before the window can go (see closeEvent); make sure of it.
    if (m_worker) {
        WrenSMTP.Abort();
        m_worker->wait();
    }
    MainForm = nullptr;
}

void TMainForm::FormCreate() {
    for (regctrls::TSuperComboBox* history : {From, Smtp, SendTo, CC, BCC}) {
        history->LoadFromRegistry();
    }
    Attachment->LoadFromRegistry();
    Subject->LoadFromRegistry();
    Messages->LoadFromRegistry();
    for (regctrls::TRegMemo* signature : Sigs) {
        signature->LoadFromRegistry();
    }
    RegFontDialog1->LoadFromRegistry();
    ApplyFont();
    for (regctrls::TSuperComboBox* history : {Organization, X_Mailer}) {
        history->LoadFromRegistry();
        history->setEditText(history->count() > 0 ? history->itemText(0) : QString());
    }
    X_Header->LoadFromRegistry();

    ReadOptions();
    LoadPicturesBesideProgram();
    SetStatusText(tr(ReadyText));
    // The store was found damaged and set aside at this start (the loads above opened it):
    // said once, here; the next start finds the fresh store sound and says nothing.
    if (const std::string kept = registry::DamagedStoreKeptAs(); !kept.empty()) {
        SetStatusText(tr("The settings file was damaged and is kept as %1: histories, "
                                     "drafts, signatures and server settings start empty.")
                          .arg(Text(mail::ScreenSafe(kept))));
    }
    StatusBar->SetPanelText(2, ClockText(QDateTime::currentDateTime(), QLocale(), TranslationActive()));
    DateClock->start();
    ApplyOptions();
    m_optionsRead = true;
    Sealimage->hide();
    CorvaneGauge1->SetProgress(0);

    setWindowIcon(StlTrayIcon->Icon());
    QApplication::setWindowIcon(StlTrayIcon->Icon());
    setWindowTitle(QString::fromLatin1(Caption));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(QString::fromLatin1(Caption));
    StlTrayIcon->SetHint(QString::fromLatin1(Caption));
    PageControl1->setCurrentWidget(TabSheet0);
    From->setFocus();
}

void TMainForm::ReadOptions() {
    const int top = MyReg1.ReadInteger("General", "Top", 0);
    const int left = MyReg1.ReadInteger("General", "Left", 0);
    const int height = MyReg1.ReadInteger("General", "Height", DesignHeight);
    const int width = MyReg1.ReadInteger("General", "Width", DesignWidth);
    move(left, top);
    resize(std::max(width, DesignWidth), std::max(height, DesignHeight));

    // A stored tab or priority outside its list falls back to its default.
    const int activeSig = MyReg1.ReadInteger("General", "ActiveSig", 0);
    PageControl2->setCurrentIndex(activeSig >= 0 && activeSig < SignatureTabs ? activeSig : 0);

    const std::array<const char*, 8> names{"SendTo", "CC", "BCC", "Attachment",
                                           "Subject", "Messages", "From", "Smtp"};
    const std::array<QCheckBox*, 8> clearBoxes{Clear_SendTo,  Clear_CC,      Clear_BCC,   Clear_Attachment,
                                               Clear_Subject, Clear_Messages, Clear_From, Clear_Smtp};
    const std::array<QCheckBox*, 8> saveBoxes{Save_SendTo,  Save_CC,      Save_BCC,  Save_Attachment,
                                              Save_Subject, Save_Messages, Save_From, Save_Smtp};
    for (std::size_t i = 0; i < names.size(); ++i) {
        clearBoxes[i]->setChecked(MyReg1.ReadBool("Clear", names[i], false));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        saveBoxes[i]->setChecked(MyReg1.ReadBool("Save", names[i], true));
    }

    KeepSentMail->setChecked(MyReg1.ReadBool("Sent", "Keep", true));
    ReadReceipt->setChecked(MyReg1.ReadBool("Sent", "ReadReceipt", false));
    DeliveryReport->setChecked(MyReg1.ReadBool("Sent", "DeliveryReport", false));
    WordWrap->setChecked(MyReg1.ReadBool("General", "WordWrap", false));
    EditableSig->setChecked(MyReg1.ReadBool("General", "EditableSig", true));
    Load_in_Tray->setChecked(MyReg1.ReadBool("General", "Load_in_Tray", false));
    PlayWave->setChecked(MyReg1.ReadBool("General", "PlayWave", true));
    Priority->setChecked(MyReg1.ReadBool("General", "Priority", false));
    const int priority = MyReg1.ReadInteger("General", "PriorityValue", 2);
    PriorityValue->setCurrentIndex(priority >= 0 && priority < PriorityNames ? priority : 2);
    Include_Organization->setChecked(MyReg1.ReadBool("General", "Include_Organization", false));
    Include_X_Mailer->setChecked(MyReg1.ReadBool("General", "Include_X_Mailer", false));
    Include_X_Header->setChecked(MyReg1.ReadBool("General", "Include_X_Header", false));
    m_browseDir = Text(MyReg1.ReadString("General", "BrowseDir", ""));

    for (const auto& [name, field] : {std::pair{"From", From}, {"Smtp", Smtp}, {"SendTo", SendTo},
                                      {"CC", CC}, {"BCC", BCC}, {"Subject", Subject}}) {
        field->setEditText(Text(MyReg1.ReadString("SaveText", name, "")));
    }
}

void TMainForm::LoadPicturesBesideProgram() {
    const QDir folder(m_programFolder);
    for (const auto& [file, picture] : {std::pair{"stamp.bmp", StampImage},
                                        {"letter.bmp", LetterImage},
                                        {"seal.bmp", Sealimage}}) {
        const QString path = folder.filePath(QString::fromLatin1(file));
        QPixmap replacement;
        // A picture that is missing or cannot be read leaves the built-in one in place.
        if (QFileInfo::exists(path) && replacement.load(path)) {
            picture->SetPicture(replacement, picture->hasScaledContents());
        }
    }
}

void TMainForm::ApplyFont() {
    const QFont font = RegFontDialog1->Font.Font;
    const QColor colour = regctrls::ColorToQColor(RegFontDialog1->Font.Color);
    std::vector<regctrls::TRegMemo*> memos{Messages};
    memos.insert(memos.end(), Sigs.begin(), Sigs.end());
    for (regctrls::TRegMemo* memo : memos) {
        memo->setFont(font);
        if (colour.isValid()) {
            QPalette colours = memo->palette();
            colours.setColor(QPalette::Text, colour);
            memo->setPalette(colours);
        }
    }
}

void TMainForm::ApplyOptions() {
    const bool wrap = WordWrap->isChecked();
    Messages->SetWordWrap(wrap);
    Messages->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);

    for (regctrls::TRegMemo* signature : Sigs) {
        signature->setEnabled(EditableSig->isChecked());
    }
    StlTrayIcon->SetShowTrayIcon(Load_in_Tray->isChecked());
    StlTrayIcon->SetHideFromTaskbar(Load_in_Tray->isChecked());

    PriorityValue->setVisible(Priority->isChecked());
    WrenMsg.IncludePriority = Priority->isChecked();

    Organization->setEnabled(Include_Organization->isChecked());
    if (!Include_Organization->isChecked()) {
        WrenMsg.Organization.clear();
    }
    X_Mailer->setEnabled(Include_X_Mailer->isChecked());
    if (!Include_X_Mailer->isChecked()) {
        WrenMsg.Xmailer.clear();
    }
    X_Header->setEnabled(Include_X_Header->isChecked());
    if (!Include_X_Header->isChecked()) {
        WrenMsg.ExtraHeaders.clear();
    }
}

void TMainForm::Ready() {
    Sealimage->hide();
    CorvaneGauge1->SetProgress(0);
}

void TMainForm::DateClockTimer() {
    StatusBar->SetPanelText(2, ClockText(QDateTime::currentDateTime(), QLocale(), TranslationActive()));
}

void TMainForm::StlTrayIconClick() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

bool TMainForm::BringToFront() {
    if (m_quitWhenSent) {
        return false;
    }
    StlTrayIconClick();
    return true;
}

void TMainForm::FormResize() {
    const int widthGrowth = width() - DesignWidth;
    for (QWidget* panel : {Panel0, Panel1, Panel2}) {
        QWidget* sheet = panel->parentWidget();
        panel->setGeometry((sheet->width() - PanelWidth) / 2, 0, PanelWidth, sheet->height());
    }
    // Controls anchored to the bottom of their page follow its height.
    const int heightGrowth = Panel0->height() - PanelHeight;
    Messages->resize(Messages->width(), std::max(20, 94 + heightGrowth));
    PageControl2->move(PageControl2->x(), 343 + heightGrowth);
    // The sent-mail row sits below the X-Header memo, which gives up its height for it.
    constexpr int SentRowHeight = 26;
    X_Header->resize(X_Header->width(), std::max(20, 60 + Panel1->height() - PanelHeight - SentRowHeight));
    const int rowTop = X_Header->geometry().bottom() + 6;
    for (QWidget* control : std::initializer_list<QWidget*>{KeepSentMail, OpenSentFolder, ReadReceipt, DeliveryReport}) {
        control->move(control->x(), control == OpenSentFolder ? rowTop - 2 : rowTop);
    }

    StatusBar->SetPanelWidth(0, StatusPanelWidth + widthGrowth);
    CorvaneGauge1->move(GaugeLeft + widthGrowth, CorvaneGauge1->y());
    CorvaneGauge1->repaint();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched != this && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this &&
        PreviewKey(*static_cast<QKeyEvent*>(event))) {
        return true;
    }
    if (watched != this && OptionControlEvent(watched, event)) {
        return true;
    }
    if (event->type() == QEvent::Resize &&
        (watched == TabSheet0 || watched == TabSheet1 || watched == TabSheet2)) {
        FormResize();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

// The window sees every key before the control that has the focus.
bool TMainForm::PreviewKey(const QKeyEvent& key) {
    // Esc cancels a running send; with none running it does nothing visible.
    if (key.key() == Qt::Key_Escape && m_sending) {
        CancelWait();
        WrenSMTP.Abort();
        return true;
    }
    // Ctrl+Return on the "Send Mail" page does what a click on the stamp does.
    const bool ctrlReturn = (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
                            (key.modifiers() & Qt::ControlModifier);
    if (ctrlReturn && !m_sending && PageControl1->currentWidget() == TabSheet0) {
        StampImageClick();
        return true;
    }
    return false;
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (!PreviewKey(*event)) {
        QMainWindow::keyPressEvent(event);
    }
}

}  // namespace corvane::app
