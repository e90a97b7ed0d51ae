// The window's controls at their fixed positions (pixels at 96 dpi, left, top, width,
// height), each under its member name, which is also its objectName.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/Main.h"
#include "desktop/Resources.h"

namespace corvane::app {

namespace {

constexpr int PanelWidth = 624;
constexpr int PanelHeight = 407;
constexpr int ComboHeight = 21;
constexpr const char* KeyBase = "\\Halden Software\\Corvane\\";

template <typename TWidget>
TWidget* Make(QWidget* parent, const char* name, int left, int top, int width = -1, int height = -1) {
    auto* widget = new TWidget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    if (width < 0) {
        widget->adjustSize();
        width = widget->width();
    }
    widget->setGeometry(left, top, width, height < 0 ? widget->sizeHint().height() : height);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const char* caption) {
    auto* label = new QLabel(TMainForm::tr(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(left, top);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, int left, int top, const char* caption) {
    auto* box = new QCheckBox(TMainForm::tr(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->adjustSize();
    box->move(left, top);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect place, const char* caption) {
    auto* button = new QPushButton(TMainForm::tr(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    return button;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, QRect place, const char* caption) {
    auto* group = new QGroupBox(TMainForm::tr(caption), parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(place);
    return group;
}

regctrls::TSuperComboBox* MakeHistory(QWidget* parent, const char* name, int left, int top, int width,
                                      int historyItems) {
    auto* combo = Make<regctrls::TSuperComboBox>(parent, name, left, top, width, ComboHeight);
    combo->RegKey = std::string(KeyBase) + name;
    combo->RegRootKey = regctrls::TSuperComboBox::hkCurrentUser;
    combo->MaxHistoryItems = historyItems;
    combo->setMaxVisibleItems(20);
    combo->Complete = true;
    combo->MinLengthComplete = 0;
    return combo;
}

regctrls::TRegMemo* MakeMemo(QWidget* parent, const char* name, QRect place, const std::string& key,
                             const char* stem, int maxLines) {
    auto* memo = new regctrls::TRegMemo(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setGeometry(place);
    memo->RegMainKey = key;
    memo->RegKeyName = stem;
    memo->RegMaxLines = maxLines;
    memo->RegRootKey = regctrls::TRegMemo::hkCurrentUser;
    memo->SetWordWrap(false);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab goes on to the next control, as in every other field; a tab character is never
    // what a mail's text or header wants.
    memo->setTabChangesFocus(true);
    return memo;
}

QWidget* MakePage(QTabWidget* pages, const char* sheetName, const char* panelName, const char* caption,
                  QWidget** panel) {
    auto* sheet = new QWidget;
    sheet->setObjectName(QString::fromLatin1(sheetName));
    pages->addTab(sheet, TMainForm::tr(caption));
    *panel = new QWidget(sheet);
    (*panel)->setObjectName(QString::fromLatin1(panelName));
    (*panel)->setGeometry(0, 0, PanelWidth, PanelHeight);
    return sheet;
}

}  // namespace

void TMainForm::CreateSendMailPage() {
    TabSheet0 = MakePage(PageControl1, "TabSheet0", "Panel0", QT_TR_NOOP("Send Mail"), &Panel0);
    QWidget* panel = Panel0;

    LetterImage = Make<TPicture>(panel, "LetterImage", 3, 2, 618, 236);
    LetterImage->SetPicture(QPixmap(QStringLiteral(":/pictures/letter")), false);

    Label6 = MakeLabel(panel, "Label6", 26, 26, QT_TR_NOOP("&From:"));
    Label5 = MakeLabel(panel, "Label5", 26, 48, QT_TR_NOOP("&Smtp:"));
    Label1 = MakeLabel(panel, "Label1", 26, 79, QT_TR_NOOP("&To:"));
    Label2 = MakeLabel(panel, "Label2", 26, 101, QT_TR_NOOP("&Cc:"));
    Label3 = MakeLabel(panel, "Label3", 26, 123, QT_TR_NOOP("&Bcc:"));
    Label4 = MakeLabel(panel, "Label4", 26, 199, QT_TR_NOOP("Sub&ject:"));

    From = MakeHistory(panel, "From", 69, 24, 326, 20);
    From->setToolTip(tr("Type your email address here"));
    Smtp = MakeHistory(panel, "Smtp", 69, 46, 326, 20);
    Smtp->setToolTip(tr("Your SMTP mail server"));
    // Beside Smtp, outside the tab order of the fields (Ctrl+Shift+S reaches it).
    SmtpSettings = MakeButton(panel, "SmtpSettings", QRect(398, 46, 21, ComboHeight), "...");
    SmtpSettings->setToolTip(tr("Settings of this server: encryption, user name, password "
                                            "(Ctrl+Shift+S)"));
    SmtpSettings->setFocusPolicy(Qt::NoFocus);
    SmtpSettings->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    SendTo = MakeHistory(panel, "SendTo", 69, 77, 326, 20);
    CC = MakeHistory(panel, "CC", 69, 99, 326, 20);
    CC->setToolTip(tr("Also send another copy to these email"));
    BCC = MakeHistory(panel, "BCC", 69, 121, 326, 20);
    BCC->setToolTip(tr("These email address won't show in email"));

    ClipperImage = Make<TPicture>(panel, "ClipperImage", 21, 146, 42, 21);
    ClipperImage->SetPicture(QPixmap(QStringLiteral(":/pictures/clip")), false);
    ClipperImage->setToolTip(tr("Click here to add attach file(s)"));
    ClipperImage->setCursor(Qt::PointingHandCursor);

    Attachment = Make<regctrls::TRegListBox>(panel, "Attachment", 69, 144, 530, 50);
    Attachment->RegMainKey = std::string(KeyBase) + "Attachment";
    Attachment->RegKeyName = "file";
    Attachment->RegMaxItems = 8;
    Attachment->RegRootKey = regctrls::TRegListBox::hkCurrentUser;
    Attachment->setToolTip(tr("Press Delete button to remove file(s)"));

    Subject = MakeHistory(panel, "Subject", 69, 196, 530, 15);

    FrameImage = Make<TPicture>(panel, "FrameImage", 480, 23, 120, 77);
    FrameImage->SetPicture(QPixmap(QStringLiteral(":/pictures/frame")), false);
    StampImage = Make<TPicture>(panel, "StampImage", 487, 30, 107, 63);
    StampImage->SetPicture(QPixmap(QStringLiteral(":/pictures/stamp")), true);
    StampImage->setCursor(Qt::PointingHandCursor);
    Sealimage = Make<TPicture>(panel, "Sealimage", 437, 37, 173, 73);
    Sealimage->SetPicture(QPixmap(QStringLiteral(":/pictures/seal")), true);
    Sealimage->setAttribute(Qt::WA_TranslucentBackground);
    Sealimage->setCursor(Qt::PointingHandCursor);
    Sealimage->hide();
    StampImage->OnClick = [this] { StampImageClick(); };
    Sealimage->OnClick = [this] { StampImageClick(); };

    // The draft and the signatures keep every line the user wrote; only X_Header has a limit.
    Messages = MakeMemo(panel, "Messages", QRect(2, 244, 619, 94), std::string(KeyBase) + "Messages",
                        "Messages", regctrls::TRegMemo::AllLines);
    Messages->setToolTip(tr("Type your message here"));

    PageControl2 = Make<QTabWidget>(panel, "PageControl2", 2, 343, 619, 61);
    PageControl2->setToolTip(tr("Choose your signature here"));
    PageControl2->setTabPosition(QTabWidget::North);
    for (int sheet = 0; sheet <= 8; ++sheet) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SigSheet%1").arg(sheet));
        PageControl2->addTab(page, sheet == 0 ? tr("None") : QString::number(sheet));
        SigSheets[static_cast<std::size_t>(sheet)] = page;
        if (sheet == 0) {
            continue;
        }
        const std::string name = "Sig" + std::to_string(sheet);
        auto* memo = MakeMemo(page, name.c_str(), QRect(), std::string(KeyBase) + "Sig\\" + name,
                              name.c_str(), regctrls::TRegMemo::AllLines);
        memo->setObjectName(QString::fromStdString(name));
        auto* fill = new QVBoxLayout(page);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(memo);
        Sigs[static_cast<std::size_t>(sheet - 1)] = memo;
    }

    NameForAssistiveTechnology();

    // Tab order of the fields as the page lists them, the stamp that sends them last.
    QWidget::setTabOrder(From, Smtp);
    QWidget::setTabOrder(Smtp, SendTo);
    QWidget::setTabOrder(SendTo, CC);
    QWidget::setTabOrder(CC, BCC);
    QWidget::setTabOrder(BCC, Attachment);
    QWidget::setTabOrder(Attachment, Subject);
    QWidget::setTabOrder(Subject, Messages);
    QWidget::setTabOrder(Messages, PageControl2);
    QWidget::setTabOrder(PageControl2, StampImage);
}

// The captions name their fields (and give them Alt+letter), the fields without one are named
// here, and the pictures that act are buttons: what a screen reader says of each control.
void TMainForm::NameForAssistiveTechnology() {
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{Label6, From}, {Label5, Smtp}, {Label1, SendTo},
                                {Label2, CC}, {Label3, BCC}, {Label4, Subject}}) {
        label->setBuddy(field);
    }
    Messages->setAccessibleName(tr("Message text"));
    Attachment->setAccessibleName(tr("Attachments"));
    Attachment->setAccessibleDescription(tr("Insert or Ctrl+O adds files, Delete removes the selected ones"));
    ClipperImage->setAccessibleName(tr("Attach files"));
    for (TPicture* stamp : {StampImage, Sealimage}) {
        stamp->setAccessibleName(tr("Send"));
        stamp->setAccessibleDescription(tr("Sends the mail (Ctrl+Return)"));
        stamp->setFocusPolicy(Qt::TabFocus);
    }
    PageControl2->setAccessibleName(tr("Signatures"));
    QTabBar* signatures = PageControl2->tabBar();
    signatures->setAccessibleTabName(0, tr("No signature"));
    for (int sheet = 1; sheet <= static_cast<int>(Sigs.size()); ++sheet) {
        const QString name = tr("Signature %1").arg(sheet);
        signatures->setAccessibleTabName(sheet, name);
        Sigs[static_cast<std::size_t>(sheet - 1)]->setAccessibleName(name);
    }
}

void TMainForm::CreateOptionPage() {
    TabSheet1 = MakePage(PageControl1, "TabSheet1", "Panel1", QT_TR_NOOP("Option"), &Panel1);
    QWidget* panel = Panel1;

    GeneralGroupBox = MakeGroup(panel, "GeneralGroupBox", QRect(60, 10, 184, 238), QT_TR_NOOP("  General  "));
    QWidget* general = GeneralGroupBox;
    WordWrap = MakeCheck(general, "WordWrap", 20, 25, QT_TR_NOOP("Word Wrap"));
    EditableSig = MakeCheck(general, "EditableSig", 20, 47, QT_TR_NOOP("Editable Signature"));
    Load_in_Tray = MakeCheck(general, "Load_in_Tray", 20, 69, QT_TR_NOOP("Load in Tray"));
    PlayWave = MakeCheck(general, "PlayWave", 20, 91, QT_TR_NOOP("Sound"));
    PlayWave->setToolTip(tr("You can play your own voice after sending\n"
                                        "successful by copy to the file Corvane.wav"));
    Priority = MakeCheck(general, "Priority", 20, 113, QT_TR_NOOP("Priority"));
    PriorityValue = Make<QComboBox>(general, "PriorityValue", 76, 110, 88, ComboHeight);
    PriorityValue->addItems({tr("Highest"), tr("High"), tr("Normal"),
                             tr("Low"), tr("Lowest")});
    PriorityValue->setMaxVisibleItems(6);
    Include_Organization = MakeCheck(general, "Include_Organization", 20, 135, QT_TR_NOOP("Include Organization"));
    Include_X_Mailer = MakeCheck(general, "Include_X_Mailer", 20, 157, QT_TR_NOOP("Include X-Mailer"));
    Include_X_Header = MakeCheck(general, "Include_X_Header", 20, 179, QT_TR_NOOP("Include X-Header"));
    FontButton = MakeButton(general, "FontButton", QRect(52, 204, 81, 22), QT_TR_NOOP("Font"));
    FontButton->setToolTip(tr("Message and Signature font"));

    AfterSendingGroupBox =
        MakeGroup(panel, "AfterSendingGroupBox", QRect(260, 10, 145, 238), QT_TR_NOOP("  After Sending  "));
    QWidget* after = AfterSendingGroupBox;
    Clear_From = MakeCheck(after, "Clear_From", 20, 25, QT_TR_NOOP("Clear From"));
    Clear_Smtp = MakeCheck(after, "Clear_Smtp", 20, 47, QT_TR_NOOP("Clear Smtp"));
    Clear_SendTo = MakeCheck(after, "Clear_SendTo", 20, 69, QT_TR_NOOP("Clear To"));
    Clear_CC = MakeCheck(after, "Clear_CC", 20, 91, QT_TR_NOOP("Clear Cc"));
    Clear_BCC = MakeCheck(after, "Clear_BCC", 20, 113, QT_TR_NOOP("Clear Bcc"));
    Clear_Attachment = MakeCheck(after, "Clear_Attachment", 20, 135, QT_TR_NOOP("Clear Attachment"));
    Clear_Subject = MakeCheck(after, "Clear_Subject", 20, 157, QT_TR_NOOP("Clear Subject"));
    Clear_Messages = MakeCheck(after, "Clear_Messages", 20, 179, QT_TR_NOOP("Clear Messages"));
    ClearButton = MakeButton(after, "ClearButton", QRect(32, 204, 80, 22), QT_TR_NOOP("Clear Now"));

    WhenExitGroupBox = MakeGroup(panel, "WhenExitGroupBox", QRect(420, 10, 145, 238), QT_TR_NOOP("  When Exit  "));
    WhenExitGroupBox->setToolTip(tr("Save as default value for use next time"));
    QWidget* exit = WhenExitGroupBox;
    Save_From = MakeCheck(exit, "Save_From", 20, 25, QT_TR_NOOP("Save From"));
    Save_Smtp = MakeCheck(exit, "Save_Smtp", 20, 47, QT_TR_NOOP("Save Smtp"));
    Save_SendTo = MakeCheck(exit, "Save_SendTo", 20, 69, QT_TR_NOOP("Save To"));
    Save_CC = MakeCheck(exit, "Save_CC", 20, 91, QT_TR_NOOP("Save Cc"));
    Save_BCC = MakeCheck(exit, "Save_BCC", 20, 113, QT_TR_NOOP("Save Bcc"));
    Save_Attachment = MakeCheck(exit, "Save_Attachment", 20, 135, QT_TR_NOOP("Save Attachment"));
    Save_Subject = MakeCheck(exit, "Save_Subject", 20, 157, QT_TR_NOOP("Save Subject"));
    Save_Messages = MakeCheck(exit, "Save_Messages", 20, 179, QT_TR_NOOP("Save Messages"));
    SaveButton = MakeButton(exit, "SaveButton", QRect(32, 204, 80, 22), QT_TR_NOOP("Save Now"));

    Label20 = MakeLabel(panel, "Label20", 61, 263, QT_TR_NOOP("&Organization:"));
    Label18 = MakeLabel(panel, "Label18", 61, 286, QT_TR_NOOP("X-&Mailer:"));
    Label19 = MakeLabel(panel, "Label19", 61, 309, QT_TR_NOOP("X-&Header:"));
    Organization = MakeHistory(panel, "Organization", 132, 260, 433, 20);
    X_Mailer = MakeHistory(panel, "X_Mailer", 132, 284, 433, 20);
    X_Header = MakeMemo(panel, "X_Header", QRect(132, 308, 433, 60), std::string(KeyBase) + "X_Header",
                        "X_Header", 20);
    X_Header->setToolTip(tr("Addition header(s) for advance purpose"));
    Label20->setBuddy(Organization);
    Label18->setBuddy(X_Mailer);
    Label19->setBuddy(X_Header);

    // Moved below X_Header by FormResize, which sizes it.
    KeepSentMail = MakeCheck(panel, "KeepSentMail", 61, 378, QT_TR_NOOP("Keep sent mail"));
    KeepSentMail->setToolTip(tr("A copy of each message sent, with its Bcc, in the Sent folder"));
    OpenSentFolder = MakeButton(panel, "OpenSentFolder", QRect(170, 375, 110, 22), QT_TR_NOOP("Open Sent folder"));
    ReadReceipt = MakeCheck(panel, "ReadReceipt", 310, 378, QT_TR_NOOP("Read receipt"));
    ReadReceipt->setToolTip(tr("The recipient's mail program may confirm that the message was read"));
    DeliveryReport = MakeCheck(panel, "DeliveryReport", 425, 378, QT_TR_NOOP("Delivery report"));
    DeliveryReport->setToolTip(tr("Where the server offers it, a report when the message is delivered "
                                              "or cannot be"));
}

void TMainForm::CreateAboutPage() {
    TabSheet2 = MakePage(PageControl1, "TabSheet2", "Panel2", QT_TR_NOOP("About"), &Panel2);
    QWidget* panel = Panel2;
    Image1 = Make<TPicture>(panel, "Image1", 39, 20, 200, 280);
    Image1->SetPicture(QPixmap(QStringLiteral(":/pictures/about")), false);
    BroughtGroupBox = MakeGroup(panel, "BroughtGroupBox", QRect(271, 163, 313, 137), QT_TR_NOOP("  Brought to you by  "));
    About_Email = MakeLabel(BroughtGroupBox, "About_Email", 23, 92, MakerAddress);
    About_Web = MakeLabel(BroughtGroupBox, "About_Web", 23, 109, MakerPage);
    for (QLabel* link : {About_Email, About_Web}) {
        link->setCursor(Qt::PointingHandCursor);
        link->setFocusPolicy(Qt::TabFocus);  // reached by Tab, opened by Return as by a click
        link->setStyleSheet(QStringLiteral("color: black;"));
        // A shadow to the right and below, as link labels of this window have.
        auto* shadow = new QGraphicsDropShadowEffect(link);
        shadow->setOffset(1, 1);
        shadow->setBlurRadius(0);
        shadow->setColor(QColor(160, 160, 160));
        link->setGraphicsEffect(shadow);
    }
    Bevel1 = Make<QFrame>(BroughtGroupBox, "Bevel1", 23, 70, 268, 9);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
}

void TMainForm::CreateStatusBar() {
    StatusBar = new desktop::TEnStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(17);
    StatusBar->SetPanelWidths({380, 100, 200});
    setStatusBar(StatusBar);
    CorvaneGauge1 = new desktop::TCorvaneGauge(StatusBar);
    CorvaneGauge1->setObjectName(QStringLiteral("CorvaneGauge1"));
    CorvaneGauge1->setGeometry(383, 3, 96, 13);
    CorvaneGauge1->SetBorderStyle(desktop::bsNone);
    CorvaneGauge1->SetForeColor(QColor(0, 0, 255));
    CorvaneGauge1->SetBackColor(palette().color(QPalette::Button));
    CorvaneGauge1->raise();
    CorvaneGauge1->setAccessibleName(tr("Progress"));
}

void TMainForm::CreateComponents() {
    RegFontDialog1 = new regctrls::TRegFontDialog(this);
    RegFontDialog1->setObjectName(QStringLiteral("RegFontDialog1"));
    RegFontDialog1->RegMainKey = std::string(KeyBase) + "Option\\General";
    RegFontDialog1->RegKeyName = "Font";
    RegFontDialog1->RegRootKey = regctrls::TRegFontDialog::hkCurrentUser;

    StlTrayIcon = new desktop::TStlTrayIcon(this, this);
    StlTrayIcon->setObjectName(QStringLiteral("StlTrayIcon"));
    StlTrayIcon->SetLoading(true);
    QIcon icon(QStringLiteral(":/icons/corvane-16"));
    icon.addFile(QStringLiteral(":/icons/corvane-32"));
    StlTrayIcon->SetIcon(icon);
    StlTrayIcon->SetChangeFormIcon(true);
    StlTrayIcon->SetChangeAppIcon(true);
    StlTrayIcon->SetFrameSpeed(500);
    StlTrayIcon->SetLoading(false);
    StlTrayIcon->OnClick = [this](desktop::TStlTrayIcon&, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        StlTrayIconClick();
    };
    StlTrayIcon->OnRightClick = StlTrayIcon->OnClick;

    Wave1 = new desktop::TWave(this);
    Wave1->setObjectName(QStringLiteral("Wave1"));
    Wave1->WhereWave = desktop::wwWaveFile;
    Wave1->WaveName = "Corvane.wav";
    Wave1->Options = {desktop::woAsync};

    DateClock = new QTimer(this);
    DateClock->setObjectName(QStringLiteral("DateClock"));
    DateClock->setInterval(60000);
    connect(DateClock, &QTimer::timeout, this, &TMainForm::DateClockTimer);

    MyReg1.RegPath = std::string("\\Software") + KeyBase + "Option";
    MyReg1.RegRootKey = regctrls::kHKEY_CURRENT_USER;
    MyReg1.CanCreate = true;

    WrenSMTP.Port = "25";
    WrenSMTP.EncodeProgressStep = 5;
    WrenSMTP.SendProgressStep = 1;
}

}  // namespace corvane::app
