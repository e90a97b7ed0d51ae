// The smaller controls: attachments (dialog, Delete, files dropped from the desktop), the
// signature memos, the option boxes, the font button, "Clear Now" and "Save Now", the fields
// stored when they lose the focus, and the About page's links and greeting.

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include "app/Main.h"

namespace corvane::app {

namespace {

// Each entry: what the dialog shows, then the patterns it filters by (the last group in
// parentheses is what the dialog uses).
constexpr const char* AttachmentFilters[]{
    QT_TRANSLATE_NOOP("TMainForm", "All files (*.*) (*)"),
    QT_TRANSLATE_NOOP("TMainForm", "Program files (*.exe,*.com,*.bat) (*.exe *.com *.bat)"),
    QT_TRANSLATE_NOOP("TMainForm", "Text files (*.txt,*.doc,*.xls,*.wri) (*.txt *.doc *.xl* *.wri *.rtf)"),
    QT_TRANSLATE_NOOP("TMainForm", "HTML files (*.html,*.htm) (*.htm*)"),
    QT_TRANSLATE_NOOP("TMainForm", "Zip files (*.zip,*.rar,*.arj,*.tar) (*.zip *.r* *.a* *.tar)"),
    QT_TRANSLATE_NOOP("TMainForm", "Picture files (*.bmp,*.gif,*.jpg,*.psd) (*.bmp *.gif *.jpg *.psd *.pcx *.tif*)"),
    QT_TRANSLATE_NOOP("TMainForm", "Movie files (*.mpg,*.mov,*.dat,*.viv) (*.mpg *.mov *.dat *.viv *.vdo *.rm)"),
    QT_TRANSLATE_NOOP("TMainForm", "MP3 files (*.mp3,*.mp4) (*.mp3 *.mp4)"),
    QT_TRANSLATE_NOOP("TMainForm", "Audio files (*.wav,*.mid,*.au,*.snd) "
                                   "(*.wav *.mid *.au *.snd *.voc *.vox *.ra *.aif *.sdf)"),
};

// Local files carried by a drag from the desktop's file manager.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            files.push_back(url.toLocalFile());
        }
    }
    return files;
}

void SetLinkLook(QLabel* link, bool hovered) {
    QFont font = link->font();
    font.setBold(hovered);
    link->setFont(font);
    link->setStyleSheet(hovered ? QStringLiteral("color: blue;") : QStringLiteral("color: black;"));
}

}  // namespace

void TMainForm::CreateOpenDialog() {
    OpenDialog1 = new QFileDialog(this, tr("Choose  File"));
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
    QStringList filters;
    for (const char* filter : AttachmentFilters) {
        filters.append(tr(filter));
    }
    OpenDialog1->setNameFilters(filters);
    OpenDialog1->setSizeGripEnabled(true);
    RunOpenDialog = [](QFileDialog& dialog) {
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    };
}

void TMainForm::WireOptionControls() {
    ClipperImage->OnClick = [this] { ClipperImageClick(); };
    for (QCheckBox* box : {WordWrap, EditableSig, Load_in_Tray, Priority, Include_Organization,
                           Include_X_Mailer, Include_X_Header}) {
        // Toggled, not clicked: a screen reader's Toggle action and the keyboard change a box
        // without a click. The stored options are put into effect at once when read.
        connect(box, &QCheckBox::toggled, this, [this] {
            if (m_optionsRead) {
                ApplyOptions();
            }
        });
    }
    connect(FontButton, &QPushButton::clicked, this, [this] { FontButtonClick(); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { ClearFields(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveFields(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == TabSheet2) {
            TabSheet2Show();
        }
    });
    // Their events reach OptionControlEvent through the window's key-preview filter, which
    // sees every event of the application first.
    for (QWidget* target : {static_cast<QWidget*>(Attachment), static_cast<QWidget*>(ClipperImage)}) {
        target->setAcceptDrops(true);
    }
    OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(OpenSentFolder, &QPushButton::clicked, this, [this] { OpenSentFolderClick(); });
}

// Events of the controls this window looks after; true when the event was used up.
bool TMainForm::OptionControlEvent(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (watched == Attachment) {
                return AttachmentKeyDown(*static_cast<QKeyEvent*>(event));
            }
            if (watched == About_Email || watched == About_Web) {
                return AboutLinkKeyDown(static_cast<QLabel*>(watched), *static_cast<QKeyEvent*>(event));
            }
            return false;
        case QEvent::FocusIn:
            if (watched == About_Email || watched == About_Web) {
                SetLinkLook(static_cast<QLabel*>(watched), true);  // the focus shows as the mouse does
            }
            return false;
        case QEvent::FocusOut:
            if (watched == About_Email || watched == About_Web) {
                SetLinkLook(static_cast<QLabel*>(watched), false);
            }
            ControlExit(watched);
            return false;
        case QEvent::Enter:
        case QEvent::Leave:
            if (watched == About_Email || watched == About_Web) {
                SetLinkLook(static_cast<QLabel*>(watched), event->type() == QEvent::Enter);
            }
            return false;
        case QEvent::MouseButtonRelease:
            if (watched == About_Email) {
                About_EmailClick();
            } else if (watched == About_Web) {
                About_WebClick();
            }
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if ((watched == Attachment || watched == ClipperImage) &&
                !DroppedFiles(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                return true;
            }
            return false;
        case QEvent::Drop:
            if (watched == Attachment || watched == ClipperImage) {
                auto* drop = static_cast<QDropEvent*>(event);
                DropFiles(drop->mimeData());
                drop->acceptProposedAction();
                return true;
            }
            return false;
        default:
            return false;
    }
}

void TMainForm::DropFiles(const QMimeData* dropped) {
    AddAttachments(DroppedFiles(dropped));
}

void TMainForm::AddAttachments(const QStringList& files) {
    for (const QString& file : files) {
        Attachment->AddItem(file.toStdString());
    }
}

void TMainForm::ClipperImageClick() {
    OpenDialog1->setDirectory(m_browseDir);
    const QStringList chosen = RunOpenDialog(*OpenDialog1);
    AddAttachments(chosen);
    if (!chosen.isEmpty()) {
        m_browseDir = QFileInfo(chosen.front()).absolutePath();
    }
    Ready();
}

bool TMainForm::AttachmentKeyDown(const QKeyEvent& key) {
    // The keyboard's way to the clip.
    if ((key.key() == Qt::Key_Insert && key.modifiers() == Qt::NoModifier) ||
        (key.key() == Qt::Key_O && key.modifiers() == Qt::ControlModifier)) {
        ClipperImageClick();
        return true;
    }
    if (key.key() != Qt::Key_Delete) {
        return false;
    }
    // The first selected item from the top, again and again, until none is selected.
    for (;;) {
        int selected = -1;
        for (int row = 0; row < Attachment->count() && selected < 0; ++row) {
            if (Attachment->item(row)->isSelected()) {
                selected = row;
            }
        }
        if (selected < 0) {
            return true;
        }
        delete Attachment->takeItem(selected);
    }
}

void TMainForm::ControlExit(QObject* control) {
    if (control == Organization || control == X_Mailer) {
        static_cast<regctrls::TSuperComboBox*>(control)->SaveToRegistry();
    } else if (control == X_Header) {
        X_Header->SaveToRegistry();
    } else {
        for (regctrls::TRegMemo* signature : Sigs) {
            if (control == signature) {
                signature->SaveToRegistry();
            }
        }
    }
}

void TMainForm::FontButtonClick() {
    if (RegFontDialog1->Execute()) {
        ApplyFont();
    }
}

void TMainForm::TabSheet2Show() {
    // The greeting plays whatever the Sound box says.
    PlaySound("YouAre");
}

void TMainForm::About_EmailClick() {
    PageControl1->setCurrentWidget(TabSheet0);
    SendTo->setEditText(QString::fromLatin1(MakerAddress));
    Subject->setEditText(QStringLiteral("Corvane v1.2 - Comment and Suggestion"));
}

// Return or Space on a link with the focus does what a click does.
bool TMainForm::AboutLinkKeyDown(QLabel* link, const QKeyEvent& key) {
    const bool press = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Space;
    if (!press || key.modifiers() != Qt::NoModifier) {
        return false;
    }
    link == About_Email ? About_EmailClick() : About_WebClick();
    return true;
}

void TMainForm::About_WebClick() {
    OpenUrl(QUrl(QString::fromLatin1(MakerPage)));
}

}  // namespace corvane::app
