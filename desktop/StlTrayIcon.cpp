#include "StlTrayIcon.h"

#include "Resources.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QEvent>
#include <QPixmap>

namespace corvane::desktop {

namespace {

// Loads one of the program's 16 x 16 tray pictures into Target; Target stays null (and the
// caller keeps it, so the load is not tried again) when the resource yields no picture.
void LoadTrayPicture(QIcon& target, const char* path, const char* failure) {
    EnsureResources();
    QPixmap picture(QString::fromLatin1(path));
    if (picture.isNull()) {
        throw EStlTrayIconError(failure);
    }
    if (picture.size() != QSize(16, 16)) {
        picture = picture.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    target.addPixmap(picture);
}

}  // namespace

TStlTrayIcon::TStlTrayIcon(QWidget* owner, QObject* parent) : QObject(parent), m_owner(owner) {
    m_animTimer.setInterval(m_frameSpeed);
    connect(&m_animTimer, &QTimer::timeout, this, &TStlTrayIcon::TimerFired);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TStlTrayIcon::Activated);
    // Minimising the form is watched for HideFromTaskbar.
    if (QWidget* form = OwnerForm()) {
        form->installEventFilter(this);
    }
}

TStlTrayIcon::~TStlTrayIcon() {
    try {
        if (m_animate) {
            m_animate = false;
            ApplyAnimate();
        }
    } catch (const EStlTrayIconError&) {
        // Nothing is left to show the picture to.
    }
    if (m_iconAdded) {
        DeleteIcon();
    }
    if (QWidget* form = OwnerForm()) {
        form->removeEventFilter(this);
    }
}

QWidget* TStlTrayIcon::OwnerForm() const {
    return m_owner ? m_owner->window() : nullptr;
}

// ---- Pictures ----

const QIcon& TStlTrayIcon::DefaultIcon() {
    if (!m_defaultIcon) {
        m_defaultIcon.emplace();
        LoadTrayPicture(*m_defaultIcon, ":/icons/tray-default",
                        "TStlTrayIcon unable to load default icon resource");
    }
    return *m_defaultIcon;
}

const QIcon& TStlTrayIcon::BlankIcon() {
    if (!m_blankIcon) {
        m_blankIcon.emplace();
        LoadTrayPicture(*m_blankIcon, ":/icons/blank", "TStlTrayIcon unable to load blank icon resource");
    }
    return *m_blankIcon;
}

QIcon TStlTrayIcon::DisplayIcon() {
    if (!m_shownIcon.isNull()) {
        return m_shownIcon;
    }
    if (!m_icon.isNull()) {
        return m_icon;
    }
    return DefaultIcon();
}

QIcon TStlTrayIcon::FlashImage() {
    return FlashIcon.isNull() ? BlankIcon() : FlashIcon;
}

void TStlTrayIcon::SetIcon(const QIcon& value) {
    if (m_loading) {
        m_icon = value;
        return;
    }
    SetShownIcon(value);
    if (OnIconChange) {
        OnIconChange();
    }
}

void TStlTrayIcon::SetShownIcon(const QIcon& icon) {
    m_shownIcon = icon;
    UpdateIcons();
}

// ---- The notification area ----

void TStlTrayIcon::AddIcon() {
    m_tray.setIcon(DisplayIcon());
    m_tray.setToolTip(m_hint);
    // Without a notification area QSystemTrayIcon shows nothing; the icon still counts as
    // added, so that the tray takes part in ticks and shows up to date if the program's
    // window switches it off and on again once a tray is there.
    m_iconAdded = true;
    m_tray.show();
}

void TStlTrayIcon::ModifyIcon() {
    if (!m_iconAdded) {
        return;
    }
    m_tray.setIcon(DisplayIcon());
    m_tray.setToolTip(m_hint);
}

void TStlTrayIcon::DeleteIcon() {
    m_tray.hide();
    m_iconAdded = false;
}

void TStlTrayIcon::SetShowTrayIcon(bool value) {
    if (value == m_showTrayIcon) {
        return;
    }
    if (value && !m_iconAdded) {
        AddIcon();
    } else if (!value && m_iconAdded) {
        DeleteIcon();
    }
    m_showTrayIcon = value;
}

void TStlTrayIcon::SetHint(const QString& value) {
    QString kept = value.left(MaxHintLength);
    if (kept.size() == MaxHintLength && kept.back().isHighSurrogate()) {
        kept.chop(1);  // never keep half a character
    }
    if (kept == m_hint) {
        return;
    }
    m_hint = kept;
    ModifyIcon();
}

// ---- The form's and the application's icons ----

void TStlTrayIcon::UpdateIcons() {
    ModifyIcon();
    if (m_changeFormIcon) {
        if (QWidget* form = OwnerForm()) {
            if (m_flashPhase) {
                form->setWindowIcon(DisplayIcon());
            } else if (m_savedFormIcon) {
                form->setWindowIcon(*m_savedFormIcon);
            }
        }
    }
    if (m_changeAppIcon) {
        if (m_flashPhase) {
            QApplication::setWindowIcon(DisplayIcon());
        } else if (m_savedAppIcon) {
            QApplication::setWindowIcon(*m_savedAppIcon);
        }
    }
}

void TStlTrayIcon::SetChangeFormIcon(bool value) {
    if (value == m_changeFormIcon) {
        return;
    }
    m_changeFormIcon = value;
    QWidget* form = OwnerForm();
    if (!form) {
        return;
    }
    if (value) {
        // A form without an icon of its own shows the application's; remember that, so
        // that giving it back leaves the form following the application's icon again.
        m_savedFormIcon = form->testAttribute(Qt::WA_SetWindowIcon) ? form->windowIcon() : QIcon();
        form->setWindowIcon(DisplayIcon());
    } else if (m_savedFormIcon) {
        form->setWindowIcon(*m_savedFormIcon);
        m_savedFormIcon.reset();
    }
}

void TStlTrayIcon::SetChangeAppIcon(bool value) {
    if (value == m_changeAppIcon) {
        return;
    }
    m_changeAppIcon = value;
    if (value) {
        m_savedAppIcon = QApplication::windowIcon();
        QApplication::setWindowIcon(DisplayIcon());
    } else if (m_savedAppIcon) {
        QApplication::setWindowIcon(*m_savedAppIcon);
        m_savedAppIcon.reset();
    }
}

// ---- The taskbar ----

void TStlTrayIcon::SetHideFromTaskbar(bool value) {
    if (value == m_hideFromTaskbar) {
        return;
    }
    m_hideFromTaskbar = value;
    QWidget* form = OwnerForm();
    if (!form) {
        return;
    }
    // A tool window has no taskbar button. Changing the window's type recreates it hidden,
    // so a visible form is shown again at once.
    const bool wasVisible = form->isVisible();
    Qt::WindowFlags flags = form->windowFlags() & ~Qt::WindowType_Mask;
    if (value) {
        m_ownerWindowType = form->windowType();
        flags |= Qt::Tool;
    } else {
        flags |= m_ownerWindowType;
    }
    form->setWindowFlags(flags);
    if (wasVisible && !form->isVisible()) {
        form->show();
    }
}

bool TStlTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && watched == OwnerForm() &&
        static_cast<QWidget*>(watched)->isMinimized()) {
        AppMinimize();
    }
    return QObject::eventFilter(watched, event);
}

void TStlTrayIcon::AppMinimize() {
    if (!m_hideFromTaskbar) {
        return;
    }
    // Hidden after the state change has run its course, not from inside it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            QWidget* form = OwnerForm();
            if (m_hideFromTaskbar && form && form->isMinimized()) {
                form->hide();
            }
        },
        Qt::QueuedConnection);
}

// ---- Clicks ----

void TStlTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Click(LeftClickTopmost, LeftClickPopup, OnClick, Qt::LeftButton);
        break;
    case QSystemTrayIcon::Context:
        Click(RightClickTopmost, RightClickPopup, OnRightClick, Qt::RightButton);
        break;
    case QSystemTrayIcon::DoubleClick:
        if (DblClickTopmost) {
            BringOwnerToFront();
        }
        if (OnDblClick) {
            OnDblClick(*this);
        }
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TStlTrayIcon::Click(bool topmost, QMenu* popup, const TMouseEvent& handler, Qt::MouseButton button) {
    if (topmost) {
        BringOwnerToFront();
    }
    const QPoint at = QCursor::pos();
    if (popup) {
        // The menu runs to its end first; the event then reports where the click was.
        const QPointer<TStlTrayIcon> alive(this);
        popup->exec(at);
        if (!alive) {
            return;
        }
    }
    if (handler) {
        handler(*this, button, Qt::NoModifier, at.x(), at.y());
    }
}

void TStlTrayIcon::BringOwnerToFront() {
    QWidget* form = OwnerForm();
    if (!form) {
        return;
    }
    // A minimised form is restored (a maximised one stays maximised).
    if (form->isMinimized()) {
        form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    }
    form->show();
    form->raise();
    form->activateWindow();
}

// ---- Animation ----

bool TStlTrayIcon::HasFrame(std::int32_t n) const {
    return m_animIcons && std::int64_t{m_animIcons->Count()} >= std::int64_t{n} + 1;
}

void TStlTrayIcon::ShowFrame(std::int32_t n) {
    m_frameIndex = n;
    if (n < 0) {
        m_frameIndex = -1;
        SetShownIcon(QIcon());
        return;
    }
    if (m_animIcons) {
        const std::int32_t count = m_animIcons->Count();
        if (n < count) {
            SetShownIcon(m_animIcons->Images.at(n));
            return;
        }
        throw EStlTrayIconError(
            QString::asprintf("Tray icon frame %d unable to be shown.  %d frames are present in AnimIcons", n, count)
                .toStdString());
    }
    if (m_loading) {
        return;
    }
    throw EStlTrayIconError(
        QString::asprintf("Tray icon frame %d unable to be shown because of nil AnimIcons property", n).toStdString());
}

std::int32_t TStlTrayIcon::NextFrameIndex(std::int32_t n) {
    if (!m_animIcons || m_animIcons->Count() == 0) {
        return -1;
    }
    const std::int32_t count = m_animIcons->Count();
    if (m_firstFrame > 0 || m_lastFrame > 0) {
        // The list may have shrunk since the range was set; the corrections are kept.
        const std::int32_t last = count - 1;
        m_firstFrame = std::min(m_firstFrame, last);
        m_lastFrame = std::min(m_lastFrame, last);
        m_lastFrame = std::max(m_lastFrame, m_firstFrame);
        return (n < m_firstFrame || n > m_lastFrame) ? m_firstFrame : n;
    }
    return (n < 0 || n >= count) ? 0 : n;
}

void TStlTrayIcon::AdvanceFrame() {
    if (!m_animIcons) {
        return;
    }
    if (m_frameIndex >= 0) {
        m_frameIndex = NextFrameIndex(m_frameIndex + 1);
    }
    ShowFrame(m_frameIndex);
    if (OnFrameAdvance) {
        OnFrameAdvance();
    }
}

void TStlTrayIcon::SetAnimIcons(TImageList* value) {
    if (value == m_animIcons) {
        return;
    }
    disconnect(m_animIconsGone);
    m_animIcons = value;
    if (value) {
        m_animIconsGone = connect(value, &QObject::destroyed, this, [this] { SetAnimIcons(nullptr); });
        if (m_frameIndex > 0 && value->Count() >= m_frameIndex + 1) {
            ShowFrame(m_frameIndex);
        }
    }
    if (m_animate) {
        ApplyAnimate();  // starts again by AnimOnMode
    }
}

void TStlTrayIcon::SetAnimate(bool value) {
    if (value == m_animate) {
        return;
    }
    m_animate = value;
    ApplyAnimate();
}

void TStlTrayIcon::ApplyAnimate() {
    if (m_animate) {
        if (AnimOnMode == aonResume) {
            if (HasFrame(0) && m_frameIndex == -1) {
                ShowFrame(0);
            } else if (HasFrame(m_frameIndex)) {
                ShowFrame(m_frameIndex);
            }
        } else if (HasFrame(0)) {
            ShowFrame(0);
        }
    } else {
        switch (AnimOffMode) {
        case aoffDoNothing:
            break;
        case aoffFrameZero:
            if (HasFrame(0)) {
                ShowFrame(0);
            }
            break;
        case aoffRestoreIcon:
            m_shownIcon = QIcon();
            UpdateIcons();
            break;
        }
    }
    if (!m_flash) {
        SetTimerEnabled(m_animate);
    }
}

void TStlTrayIcon::SetFirstFrame(std::int32_t value) {
    value = std::max(value, 0);
    if (value == m_firstFrame) {
        return;
    }
    m_firstFrame = value;
    if (m_loading) {
        return;
    }
    if (m_animIcons) {
        // An empty list leaves 0, not -1.
        m_firstFrame = std::max(std::min(m_firstFrame, m_animIcons->Count() - 1), 0);
        m_lastFrame = std::max(m_lastFrame, m_firstFrame);
    } else {
        m_firstFrame = 0;
    }
}

void TStlTrayIcon::SetLastFrame(std::int32_t value) {
    value = std::max(value, m_firstFrame);
    if (value == m_lastFrame) {
        return;
    }
    m_lastFrame = value;
    if (m_loading) {
        return;
    }
    if (m_animIcons) {
        m_lastFrame = std::max(std::min(m_lastFrame, m_animIcons->Count() - 1), 0);
        m_firstFrame = std::min(m_firstFrame, m_lastFrame);
    } else {
        m_lastFrame = 0;
    }
}

// ---- Flashing and the shared timer ----

void TStlTrayIcon::SetFlash(bool value) {
    if (value == m_flash) {
        return;
    }
    m_flash = value;
    if (!m_animate) {
        SetTimerEnabled(m_flash);
    }
    if (value) {
        // What to come back to even if no tick puts the flash picture up (nothing to show
        // it on); a tick that does takes its own copy.
        m_preFlashIcon = m_shownIcon;
        m_flashPhase = false;
        TimerTick();
        RestartTimer();  // the next change follows a full FrameSpeed later
        return;
    }
    // Between flashes the form and the application show their own icons.
    m_flashPhase = false;
    if (!m_animate) {
        SetTimerEnabled(false);
    }
    if (!m_timerEnabled) {
        SetShownIcon(m_preFlashIcon);
        if (QWidget* form = OwnerForm(); form && m_savedFormIcon) {
            form->setWindowIcon(*m_savedFormIcon);
        }
        if (m_savedAppIcon) {
            QApplication::setWindowIcon(*m_savedAppIcon);
        }
    }
    m_blankIcon.reset();  // loaded again when next needed
}

bool TStlTrayIcon::NeedsTicks() const {
    return m_iconAdded || m_changeFormIcon || (m_changeAppIcon && !m_hideFromTaskbar);
}

void TStlTrayIcon::TimerTick() {
    if (!NeedsTicks()) {
        return;
    }
    if (!m_flash) {
        AdvanceFrame();
        return;
    }
    m_flashPhase = !m_flashPhase;
    if (m_flashPhase) {
        if (!m_animate) {
            m_preFlashIcon = m_shownIcon;
        }
        SetShownIcon(FlashImage());
    } else if (m_animate) {
        AdvanceFrame();
    } else {
        SetShownIcon(m_preFlashIcon);
    }
}

void TStlTrayIcon::TimerFired() {
    // An error must not unwind through the event loop; it is reported and the timer runs on.
    try {
        TimerTick();
    } catch (const std::exception& error) {
        qWarning().noquote() << error.what();
    }
}

void TStlTrayIcon::SetTimerEnabled(bool enabled) {
    m_timerEnabled = enabled;
    // A zero interval would make QTimer fire on every pass of the event loop.
    if (enabled && m_frameSpeed > 0) {
        if (!m_animTimer.isActive()) {
            m_animTimer.start();
        }
    } else {
        m_animTimer.stop();
    }
}

void TStlTrayIcon::RestartTimer() {
    SetTimerEnabled(false);
    SetTimerEnabled(true);
}

void TStlTrayIcon::SetFrameSpeed(std::int32_t value) {
    if (value == m_frameSpeed) {
        return;
    }
    m_frameSpeed = value;
    if (value > 0) {
        m_animTimer.setInterval(value);  // restarts a running timer
    }
    SetTimerEnabled(m_timerEnabled);
}

// ---- Loading stored settings ----

void TStlTrayIcon::SetLoading(bool loading) {
    if (loading == m_loading) {
        return;
    }
    m_loading = loading;
    if (!loading) {
        Loaded();
    }
}

void TStlTrayIcon::Loaded() {
    // Settling on the resting pictures: switching ChangeFormIcon or ChangeAppIcon on gave the
    // form and the application the tray's picture at once.
    if (m_shownIcon.isNull()) {
        m_shownIcon = QIcon();
        UpdateIcons();
    }
}

}  // namespace corvane::desktop
