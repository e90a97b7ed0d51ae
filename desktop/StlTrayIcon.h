#pragma once
// TStlTrayIcon keeps one icon with a tooltip in the desktop's notification area (through
// QSystemTrayIcon) and turns clicks on it into events, optionally bringing its owner form to
// the front or popping up a menu first. It can animate the icon through the frames of an
// image list, flash it between its picture and a flash picture, let the owner form's icon and
// the application's icon blink with it, and take the owner form off the taskbar.
//
// Animation and flashing share one timer (FrameSpeed ms). Each tick is TimerTick(): with Flash
// on, the flash picture and the normal picture (or the next frame, while animating) take
// turns; with Flash off, the next frame shows. TimerTick is public so that a caller (and the
// tests) can drive the machine without waiting for the timer.
//
// The picture shown is, in this order of preference: the shown icon (the current frame, the
// flash picture, or an icon given to SetIcon at run time), the base icon (Icon(), set while
// loading the owner's stored settings), the built-in default tray icon.
//
// With no notification area on the desktop nothing fails: IconAdded() still follows
// ShowTrayIcon, the icon is simply not seen, and the window's icon still flashes.
//
// Destroy the component before its owner form (a member of the form does that); it keeps no
// ownership of the form, the image list or the menus, and drops the image list and the menus
// when they are destroyed first.

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>

namespace corvane::desktop {

// Raised for a frame that cannot be shown and for an icon resource that cannot be loaded; the
// message is the formatted text.
class EStlTrayIconError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What switching the animation off shows.
enum TStlAnimOffMode { aoffDoNothing, aoffFrameZero, aoffRestoreIcon };
// Where switching the animation on begins.
enum TStlAnimOnMode { aonResume, aonFrameZero };

// The frames of an animation. The tray icon refers to the list (it does not copy it), sees
// images added later, and lets go of it when the list is destroyed.
class TImageList : public QObject {
public:
    explicit TImageList(QObject* parent = nullptr) : QObject(parent) {}
    QList<QIcon> Images;
    std::int32_t Count() const { return static_cast<std::int32_t>(Images.size()); }
};

class TStlTrayIcon : public QObject {
    Q_OBJECT

public:
    // Sender, button, shift state, the cursor's X and Y in screen coordinates.
    using TMouseEvent =
        std::function<void(TStlTrayIcon& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                           std::int32_t x, std::int32_t y)>;
    using TNotifyEvent = std::function<void(TStlTrayIcon& sender)>;
    using TStlTrayIconChangeEvent = std::function<void()>;

    // The longest tooltip kept; a longer Hint is cut.
    static constexpr qsizetype MaxHintLength = 62;

    // Owner: the form the ...Topmost clicks bring to the front, whose icon takes part in
    // flashing and which HideFromTaskbar acts on (its window(), when it is a child widget).
    explicit TStlTrayIcon(QWidget* owner = nullptr, QObject* parent = nullptr);
    ~TStlTrayIcon() override;
    TStlTrayIcon(const TStlTrayIcon&) = delete;
    TStlTrayIcon& operator=(const TStlTrayIcon&) = delete;

    // Properties that only store their value.
    bool LeftClickTopmost = false;
    bool RightClickTopmost = false;
    bool DblClickTopmost = false;
    QPointer<QMenu> LeftClickPopup;   // becomes null when the menu is destroyed
    QPointer<QMenu> RightClickPopup;
    bool ShowDesigning = false;       // kept for stored settings; no effect in the program
    QIcon FlashIcon;                  // the flash's on picture; when null, the blank icon
    TStlAnimOffMode AnimOffMode = aoffRestoreIcon;
    TStlAnimOnMode AnimOnMode = aonFrameZero;

    // Events. An empty event is not called.
    TMouseEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnRightClick;
    TStlTrayIconChangeEvent OnIconChange;
    TStlTrayIconChangeEvent OnFrameAdvance;

    // Properties whose setters do more. A setter given the value it holds does nothing.
    bool ChangeFormIcon() const { return m_changeFormIcon; }
    void SetChangeFormIcon(bool value);
    bool ChangeAppIcon() const { return m_changeAppIcon; }
    void SetChangeAppIcon(bool value);
    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& value);  // keeps the first MaxHintLength characters
    TImageList* AnimIcons() const { return m_animIcons; }
    void SetAnimIcons(TImageList* value);
    std::int32_t FrameSpeed() const { return m_frameSpeed; }
    void SetFrameSpeed(std::int32_t value);  // 0 or less: the timer never fires
    bool HideFromTaskbar() const { return m_hideFromTaskbar; }
    void SetHideFromTaskbar(bool value);
    bool ShowTrayIcon() const { return m_showTrayIcon; }
    void SetShowTrayIcon(bool value);
    bool Flash() const { return m_flash; }
    void SetFlash(bool value);
    bool Animate() const { return m_animate; }
    void SetAnimate(bool value);
    std::int32_t FirstFrame() const { return m_firstFrame; }
    void SetFirstFrame(std::int32_t value);
    std::int32_t LastFrame() const { return m_lastFrame; }
    void SetLastFrame(std::int32_t value);

    // The base icon. While loading, SetIcon stores the base icon. Otherwise it shows the given
    // icon in place of the base icon (a null icon shows the base icon again), which the base
    // icon survives, and then calls OnIconChange.
    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& value);

    // While the owner's stored settings are being applied: SetIcon stores the base icon, the
    // frame range is stored uncorrected, and a frame without an image list is not an error.
    // Ending it (true, then false) settles the tray's, the form's and the application's icons
    // on their resting pictures.
    void SetLoading(bool loading);

    // One tick of the shared timer: the next flash phase or animation frame. Does nothing when
    // no change could be seen (no icon in the tray, and neither the form's icon nor a taskbar
    // button's icon takes part).
    void TimerTick();
    // Shows frame N of AnimIcons now (a negative N shows the base icon again). Raises
    // EStlTrayIconError when there is no such frame.
    void ShowFrame(std::int32_t n);

    // State, for the program's window and for tests.
    std::int32_t FrameIndex() const { return m_frameIndex; }  // -1: no frame shown
    bool IconAdded() const { return m_iconAdded; }
    bool FlashPhase() const { return m_flashPhase; }           // the flash picture is up
    bool TimerEnabled() const { return m_timerEnabled; }
    const QIcon& PreFlashIcon() const { return m_preFlashIcon; }
    // The picture the tray shows (and the form and the application while flashing).
    QIcon DisplayIcon();
    // The notification-area icon itself.
    QSystemTrayIcon& SystemTrayIcon() { return m_tray; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* OwnerForm() const;
    QIcon FlashImage();
    const QIcon& DefaultIcon();
    const QIcon& BlankIcon();
    void AddIcon();
    void ModifyIcon();
    void DeleteIcon();
    void UpdateIcons();
    void SetShownIcon(const QIcon& icon);
    bool HasFrame(std::int32_t n) const;
    std::int32_t NextFrameIndex(std::int32_t n);
    void AdvanceFrame();
    void ApplyAnimate();
    bool NeedsTicks() const;
    void SetTimerEnabled(bool enabled);
    void RestartTimer();
    void TimerFired();
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void Click(bool topmost, QMenu* popup, const TMouseEvent& handler, Qt::MouseButton button);
    void BringOwnerToFront();
    void AppMinimize();
    void Loaded();

    QPointer<QWidget> m_owner;
    QSystemTrayIcon m_tray;
    QTimer m_animTimer;
    bool m_timerEnabled = false;

    bool m_changeFormIcon = false;
    bool m_changeAppIcon = false;
    QString m_hint;
    TImageList* m_animIcons = nullptr;
    QMetaObject::Connection m_animIconsGone;
    std::int32_t m_frameSpeed = 1000;
    bool m_hideFromTaskbar = false;
    Qt::WindowType m_ownerWindowType = Qt::Window;
    bool m_showTrayIcon = false;
    bool m_flash = false;
    bool m_animate = false;
    std::int32_t m_firstFrame = 0;
    std::int32_t m_lastFrame = 0;
    bool m_loading = false;

    QIcon m_icon;
    QIcon m_shownIcon;
    QIcon m_preFlashIcon;
    std::optional<QIcon> m_savedFormIcon;  // a null icon: the form had none of its own
    std::optional<QIcon> m_savedAppIcon;
    std::optional<QIcon> m_defaultIcon;    // loaded on first use; null if loading failed
    std::optional<QIcon> m_blankIcon;
    bool m_iconAdded = false;
    bool m_flashPhase = false;
    std::int32_t m_frameIndex = -1;
};

}  // namespace corvane::desktop
