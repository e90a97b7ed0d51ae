// The tray icon on the offscreen platform, where no notification area exists: the animation
// and flash machine driven tick by tick, what the tray, the form and the application show at
// each step (compared as rendered 16 x 16 pictures), the frame range, the errors, the clicks
// and the taskbar switch.

#include "desktop/Resources.h"
#include "desktop/StlTrayIcon.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace corvane::desktop {
namespace {

QIcon Solid(const QColor& colour) {
    QPixmap picture(16, 16);
    picture.fill(colour);
    return QIcon(picture);
}

QIcon Resource(const char* path) {
    EnsureResources();
    return QIcon(QString::fromLatin1(path));
}

QImage Picture(const QIcon& icon) {
    return icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
}

template <typename Action>
std::string MessageOf(Action&& action) {
    try {
        action();
    } catch (const EStlTrayIconError& error) {
        return error.what();
    }
    return "(nothing raised)";
}

class TrayIcon : public ::testing::Test {
protected:
    TrayIcon() {
        for (const QColor& colour : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue), QColor(Qt::yellow)}) {
            frames.Images.append(Solid(colour));
        }
        QApplication::setWindowIcon(AppIcon);
        form.setWindowIcon(FormIcon);
        form.resize(200, 100);
    }
    ~TrayIcon() override { QApplication::setWindowIcon(QIcon()); }

    // What the main window does with its stored settings: the change switches first, then
    // the stored base icon.
    void LoadStoredSettings(bool changeIcons) {
        tray.SetLoading(true);
        tray.SetChangeFormIcon(changeIcons);
        tray.SetChangeAppIcon(changeIcons);
        tray.SetIcon(BaseIcon);
        tray.SetLoading(false);
    }

    // The name of the known picture Icon renders as.
    std::string Name(const QIcon& icon) const {
        if (icon.isNull()) {
            return "none";
        }
        const QImage picture = Picture(icon);
        for (const auto& [name, known] : Known()) {
            if (Picture(known) == picture) {
                return name;
            }
        }
        return "unknown";
    }
    std::string InTray() { return Name(tray.SystemTrayIcon().icon()); }
    std::string OfForm() const { return Name(form.windowIcon()); }
    std::string OfApp() const { return Name(QApplication::windowIcon()); }

    // What the tray shows after each of Count ticks.
    std::vector<std::string> TrayOverTicks(int count) {
        std::vector<std::string> shown;
        for (int i = 0; i < count; ++i) {
            tray.TimerTick();
            shown.push_back(InTray());
        }
        return shown;
    }

    std::map<std::string, QIcon> Known() const {
        return {{"f0", frames.Images.value(0)}, {"f1", frames.Images.value(1)},
                {"f2", frames.Images.value(2)}, {"f3", frames.Images.value(3)},
                {"base", BaseIcon},           {"form", FormIcon},
                {"app", AppIcon},             {"runtime", RunTimeIcon},
                {"default", Resource(":/icons/tray-default")},
                {"blank", Resource(":/icons/blank")},
                {"flash", Resource(":/icons/flash")}};
    }

    const QIcon BaseIcon = Resource(":/icons/corvane-16");
    const QIcon FormIcon = Solid(Qt::magenta);
    const QIcon AppIcon = Solid(Qt::cyan);
    const QIcon RunTimeIcon = Solid(Qt::darkGray);

    QWidget form;
    TImageList frames;
    TStlTrayIcon tray{&form};
};

using Names = std::vector<std::string>;

TEST_F(TrayIcon, KnownPicturesCanBeToldApart) {
    const auto known = Known();
    for (auto a = known.begin(); a != known.end(); ++a) {
        ASSERT_FALSE(Picture(a->second).isNull()) << a->first;
        for (auto b = std::next(a); b != known.end(); ++b) {
            ASSERT_NE(Picture(a->second), Picture(b->second)) << a->first << " and " << b->first;
        }
    }
}

TEST_F(TrayIcon, StartsWithItsDefaults) {
    EXPECT_FALSE(tray.LeftClickTopmost || tray.RightClickTopmost || tray.DblClickTopmost || tray.ShowDesigning);
    EXPECT_FALSE(tray.ChangeFormIcon() || tray.ChangeAppIcon() || tray.HideFromTaskbar());
    EXPECT_FALSE(tray.ShowTrayIcon() || tray.Flash() || tray.Animate() || tray.IconAdded() || tray.TimerEnabled());
    EXPECT_TRUE(!tray.LeftClickPopup && !tray.RightClickPopup && !tray.AnimIcons());
    EXPECT_TRUE(tray.Hint().isEmpty() && tray.Icon().isNull() && tray.FlashIcon.isNull());
    EXPECT_EQ(tray.FrameSpeed(), 1000);
    EXPECT_EQ(tray.AnimOffMode, aoffRestoreIcon);
    EXPECT_EQ(tray.AnimOnMode, aonFrameZero);
    EXPECT_EQ((std::vector<int>{tray.FirstFrame(), tray.LastFrame(), tray.FrameIndex()}), (std::vector<int>{0, 0, -1}));
    // Creating it touched neither the form's icon nor the application's.
    EXPECT_EQ(OfForm(), "form");
    EXPECT_EQ(OfApp(), "app");
}

TEST_F(TrayIcon, ShowsTheDefaultIconWithoutOneOfItsOwnAndFollowsShowTrayIcon) {
    tray.SetShowTrayIcon(true);
    EXPECT_TRUE(tray.IconAdded());
    EXPECT_TRUE(tray.SystemTrayIcon().isVisible());
    EXPECT_EQ(InTray(), "default");
    EXPECT_EQ(tray.SystemTrayIcon().icon().pixmap(16).size(), QSize(16, 16));

    tray.SetShowTrayIcon(false);
    EXPECT_FALSE(tray.IconAdded());
    EXPECT_FALSE(tray.SystemTrayIcon().isVisible());
    // A picture chosen while the icon is away shows when it comes back.
    tray.SetIcon(RunTimeIcon);
    tray.SetShowTrayIcon(true);
    EXPECT_EQ(InTray(), "runtime");
}

TEST_F(TrayIcon, HintKeepsItsFirst62CharactersAndBecomesTheTooltip) {
    tray.SetShowTrayIcon(true);
    const QString seventy = QString::fromLatin1("0123456789").repeated(7);
    tray.SetHint(seventy);
    EXPECT_EQ(tray.Hint(), seventy.left(62));
    EXPECT_EQ(tray.SystemTrayIcon().toolTip(), seventy.left(62));

    tray.SetHint(QStringLiteral("Corvane - sending"));
    EXPECT_EQ(tray.SystemTrayIcon().toolTip(), QStringLiteral("Corvane - sending"));

    // A character of two UTF-16 units across the limit is dropped whole.
    const QString wide = QString(61, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x93\xAE") + QStringLiteral("tail");
    tray.SetHint(wide);
    EXPECT_EQ(tray.Hint(), QString(61, QLatin1Char('a')));
}

TEST_F(TrayIcon, IconGivenAtRunTimeShowsInPlaceOfTheBaseIconAndIsReported) {
    int changes = 0;
    tray.OnIconChange = [&] { ++changes; };
    LoadStoredSettings(false);
    EXPECT_EQ(changes, 0) << "the stored icon is not a change";
    EXPECT_EQ(Name(tray.Icon()), "base");
    tray.SetShowTrayIcon(true);
    EXPECT_EQ(InTray(), "base");

    tray.SetIcon(RunTimeIcon);
    EXPECT_EQ(InTray(), "runtime");
    EXPECT_EQ(Name(tray.Icon()), "base") << "the base icon keeps its picture";
    EXPECT_EQ(changes, 1);

    tray.SetIcon(QIcon());
    EXPECT_EQ(InTray(), "base");
    EXPECT_EQ(changes, 2);
}

TEST_F(TrayIcon, AnimatesThroughEveryFrameWithAnAdvanceEventPerTick) {
    int advances = 0;
    tray.OnFrameAdvance = [&] { ++advances; };
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.SetAnimate(true);
    EXPECT_EQ(InTray(), "f0");
    EXPECT_EQ(advances, 0);
    EXPECT_TRUE(tray.TimerEnabled());
    EXPECT_EQ(TrayOverTicks(6), (Names{"f1", "f2", "f3", "f0", "f1", "f2"}));
    EXPECT_EQ(advances, 6);
    EXPECT_EQ(tray.FrameIndex(), 2);
}

TEST_F(TrayIcon, AnimatesWithinASubRangeAfterStartingAtFrameZero) {
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.SetFirstFrame(1);
    tray.SetLastFrame(2);
    tray.SetAnimate(true);
    EXPECT_EQ(InTray(), "f0");
    EXPECT_EQ(TrayOverTicks(5), (Names{"f1", "f2", "f1", "f2", "f1"}));
}

TEST_F(TrayIcon, StoppingShowsWhatAnimOffModeSays) {
    LoadStoredSettings(false);
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    const std::vector<std::pair<TStlAnimOffMode, std::string>> cases{
        {aoffDoNothing, "f2"}, {aoffFrameZero, "f0"}, {aoffRestoreIcon, "base"}};
    for (const auto& [mode, expected] : cases) {
        tray.AnimOffMode = mode;
        tray.SetAnimate(true);
        TrayOverTicks(2);
        ASSERT_EQ(InTray(), "f2");
        tray.SetAnimate(false);
        EXPECT_EQ(InTray(), expected) << "mode " << mode;
        EXPECT_FALSE(tray.TimerEnabled());
    }
}

TEST_F(TrayIcon, StartingResumesOrBeginsAtFrameZeroByAnimOnMode) {
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.AnimOffMode = aoffRestoreIcon;
    tray.SetAnimate(true);
    TrayOverTicks(2);
    tray.SetAnimate(false);
    ASSERT_EQ(InTray(), "default");

    tray.AnimOnMode = aonResume;
    tray.SetAnimate(true);
    EXPECT_EQ(InTray(), "f2");
    EXPECT_EQ(TrayOverTicks(1), Names{"f3"});

    tray.SetAnimate(false);
    tray.AnimOnMode = aonFrameZero;
    tray.SetAnimate(true);
    EXPECT_EQ(InTray(), "f0");
}

TEST_F(TrayIcon, FrameRangeIsCorrectedToTheFramesPresent) {
    tray.SetAnimIcons(&frames);
    tray.SetFirstFrame(7);
    EXPECT_EQ(tray.FirstFrame(), 3);
    EXPECT_EQ(tray.LastFrame(), 3);
    tray.SetLastFrame(1);
    EXPECT_EQ(tray.LastFrame(), 3) << "raised to FirstFrame";

    tray.SetFirstFrame(-2);
    EXPECT_EQ(tray.FirstFrame(), 0);
    EXPECT_EQ(tray.LastFrame(), 3);
    tray.SetFirstFrame(1);
    tray.SetLastFrame(9);
    EXPECT_EQ(tray.LastFrame(), 3);

    // LastFrame cut to a shorter list pulls FirstFrame down with it.
    tray.SetFirstFrame(3);
    frames.Images.resize(2);
    tray.SetLastFrame(5);
    EXPECT_EQ(tray.LastFrame(), 1);
    EXPECT_EQ(tray.FirstFrame(), 1);

    // Without a list, and with an empty one, both stay 0.
    TStlTrayIcon other;
    other.SetFirstFrame(5);
    other.SetLastFrame(5);
    EXPECT_EQ(other.FirstFrame(), 0);
    EXPECT_EQ(other.LastFrame(), 0);
    TImageList empty;
    other.SetAnimIcons(&empty);
    other.SetFirstFrame(2);
    other.SetLastFrame(3);
    EXPECT_EQ(other.FirstFrame(), 0);
    EXPECT_EQ(other.LastFrame(), 0);
}

TEST_F(TrayIcon, FrameRangeStoredWhileLoadingIsCorrectedWhenTheAnimationRuns) {
    tray.SetLoading(true);
    tray.SetFirstFrame(7);
    tray.SetLastFrame(9);
    EXPECT_EQ(tray.FirstFrame(), 7);
    EXPECT_EQ(tray.LastFrame(), 9);
    tray.SetLastFrame(3);
    EXPECT_EQ(tray.LastFrame(), 7) << "raised to FirstFrame even while loading";
    tray.SetLoading(false);

    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.SetAnimate(true);
    EXPECT_EQ(TrayOverTicks(3), (Names{"f3", "f3", "f3"}));
    EXPECT_EQ(tray.FirstFrame(), 3) << "the correction is kept";
    EXPECT_EQ(tray.LastFrame(), 3);

    // A list that shrinks under a running animation is followed the same way.
    tray.SetFirstFrame(2);
    ASSERT_EQ(tray.LastFrame(), 3);
    frames.Images.resize(2);
    EXPECT_EQ(TrayOverTicks(2), (Names{"f1", "f1"}));
    EXPECT_EQ(tray.FirstFrame(), 1);
    EXPECT_EQ(tray.LastFrame(), 1);
}

TEST_F(TrayIcon, MissingFramesRaiseWithTheirMessages) {
    EXPECT_EQ(MessageOf([&] { tray.ShowFrame(2); }),
              "Tray icon frame 2 unable to be shown because of nil AnimIcons property");
    tray.SetAnimIcons(&frames);
    EXPECT_EQ(MessageOf([&] { tray.ShowFrame(4); }),
              "Tray icon frame 4 unable to be shown.  4 frames are present in AnimIcons");
    EXPECT_EQ(tray.FrameIndex(), 4) << "the requested frame is kept";

    TImageList empty;
    tray.SetAnimIcons(&empty);
    EXPECT_EQ(MessageOf([&] { tray.ShowFrame(0); }),
              "Tray icon frame 0 unable to be shown.  0 frames are present in AnimIcons");

    // While loading, a frame without a list is no error.
    tray.SetAnimIcons(nullptr);
    tray.SetLoading(true);
    EXPECT_EQ(MessageOf([&] { tray.ShowFrame(1); }), "(nothing raised)");
    tray.SetLoading(false);

    // A negative frame shows the picture beneath the frames.
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.ShowFrame(1);
    ASSERT_EQ(InTray(), "f1");
    tray.ShowFrame(-5);
    EXPECT_EQ(tray.FrameIndex(), -1);
    EXPECT_EQ(InTray(), "default");
}

TEST_F(TrayIcon, AnotherImageListShowsTheCurrentFrameOrRestartsTheAnimation) {
    TImageList others;
    for (const QColor& colour : {QColor(Qt::darkRed), QColor(Qt::darkGreen), QColor(Qt::darkBlue)}) {
        others.Images.append(Solid(colour));
    }
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.ShowFrame(2);
    tray.SetAnimIcons(&others);
    EXPECT_EQ(Picture(tray.SystemTrayIcon().icon()), Picture(others.Images[2]));

    tray.SetAnimate(true);
    tray.TimerTick();
    ASSERT_EQ(tray.FrameIndex(), 1);
    tray.SetAnimIcons(&frames);
    EXPECT_EQ(InTray(), "f0") << "restarted by aonFrameZero";
}

TEST_F(TrayIcon, DestroyedImageListIsDroppedAndLaterTicksChangeNothing) {
    int advances = 0;
    tray.OnFrameAdvance = [&] { ++advances; };
    auto list = std::make_unique<TImageList>();
    list->Images = frames.Images;
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(list.get());
    tray.SetAnimate(true);
    tray.TimerTick();
    ASSERT_EQ(InTray(), "f1");
    list.reset();
    EXPECT_EQ(tray.AnimIcons(), nullptr);
    EXPECT_EQ(TrayOverTicks(3), (Names{"f1", "f1", "f1"}));
    EXPECT_EQ(advances, 1);
    EXPECT_TRUE(tray.Animate());
}

TEST_F(TrayIcon, FlashBlinksTrayFormAndApplicationAndRestoresEachOfThem) {
    LoadStoredSettings(true);
    EXPECT_EQ(OfForm(), "form") << "loading ends on the resting pictures";
    EXPECT_EQ(OfApp(), "app");
    tray.SetShowTrayIcon(true);
    tray.SetFrameSpeed(500);

    tray.SetFlash(true);
    EXPECT_TRUE(tray.TimerEnabled());
    EXPECT_EQ((Names{InTray(), OfForm(), OfApp()}), (Names{"blank", "blank", "blank"}));
    tray.TimerTick();
    EXPECT_EQ((Names{InTray(), OfForm(), OfApp()}), (Names{"base", "form", "app"}));
    tray.TimerTick();
    EXPECT_EQ((Names{InTray(), OfForm(), OfApp()}), (Names{"blank", "blank", "blank"}));

    tray.SetFlash(false);  // in the on phase
    EXPECT_FALSE(tray.TimerEnabled());
    EXPECT_FALSE(tray.FlashPhase());
    EXPECT_EQ((Names{InTray(), OfForm(), OfApp()}), (Names{"base", "form", "app"}));

    // Between flashes a new picture goes to the tray only.
    tray.SetIcon(RunTimeIcon);
    EXPECT_EQ((Names{InTray(), OfForm(), OfApp()}), (Names{"runtime", "form", "app"}));
}

TEST_F(TrayIcon, FlashShowsTheFlashIconAndComesBackToTheRunTimeIcon) {
    tray.FlashIcon = Resource(":/icons/flash");
    tray.SetShowTrayIcon(true);
    tray.SetIcon(RunTimeIcon);
    tray.SetFlash(true);
    EXPECT_EQ(InTray(), "flash");
    EXPECT_EQ(Name(tray.PreFlashIcon()), "runtime");
    EXPECT_EQ(TrayOverTicks(3), (Names{"runtime", "flash", "runtime"}));
    tray.SetFlash(false);
    EXPECT_EQ(InTray(), "runtime");
}

TEST_F(TrayIcon, FlashWithoutTheTrayStillBlinksTheFormIcon) {
    tray.SetChangeFormIcon(true);
    tray.SetFlash(true);
    EXPECT_EQ(OfForm(), "blank");
    tray.TimerTick();
    EXPECT_EQ(OfForm(), "form");
    tray.TimerTick();
    EXPECT_EQ(OfForm(), "blank");
    EXPECT_EQ(OfApp(), "app") << "the application's icon takes no part";
    tray.SetFlash(false);
    EXPECT_EQ(OfForm(), "form");
    EXPECT_FALSE(tray.SystemTrayIcon().isVisible());
}

TEST_F(TrayIcon, TicksDoNothingWhenNoChangeCouldBeSeen) {
    // The application's icon shows only on a taskbar button, which the form does not have.
    tray.SetHideFromTaskbar(true);
    tray.SetChangeAppIcon(true);
    tray.SetAnimIcons(&frames);
    tray.SetAnimate(true);
    ASSERT_EQ(tray.FrameIndex(), 0);
    tray.TimerTick();
    tray.SetFlash(true);
    EXPECT_EQ(tray.FrameIndex(), 0);
    EXPECT_FALSE(tray.FlashPhase());

    tray.SetHideFromTaskbar(false);
    tray.TimerTick();
    EXPECT_TRUE(tray.FlashPhase());
    EXPECT_EQ(OfApp(), "blank");
}

TEST_F(TrayIcon, FlashOverAnimationAlternatesFramesWithTheFlashPicture) {
    tray.SetShowTrayIcon(true);
    tray.SetChangeFormIcon(true);
    tray.SetAnimIcons(&frames);
    tray.SetAnimate(true);
    tray.SetFlash(true);
    EXPECT_EQ(InTray(), "blank");
    EXPECT_EQ(TrayOverTicks(4), (Names{"f1", "blank", "f2", "blank"}));
    EXPECT_EQ(OfForm(), "blank");

    // Flash off in the on phase: the animation runs on, and the form has its own icon back
    // with the next frame.
    tray.SetFlash(false);
    EXPECT_TRUE(tray.TimerEnabled());
    EXPECT_EQ(TrayOverTicks(2), (Names{"f3", "f0"}));
    EXPECT_EQ(OfForm(), "form");

    tray.SetAnimate(false);
    EXPECT_FALSE(tray.TimerEnabled());
    EXPECT_EQ(InTray(), "default");
    EXPECT_EQ(OfForm(), "form");
}

TEST_F(TrayIcon, FlashWithNothingToShowItOnKeepsTheShownIcon) {
    tray.SetIcon(RunTimeIcon);
    tray.SetFlash(true);
    tray.SetFlash(false);
    tray.SetShowTrayIcon(true);
    EXPECT_EQ(InTray(), "runtime");
}

TEST_F(TrayIcon, ChangeIconSwitchesSaveAndGiveBackTheOwnIcons) {
    tray.SetChangeFormIcon(true);
    tray.SetChangeAppIcon(true);
    EXPECT_EQ(OfForm(), "default");
    EXPECT_EQ(OfApp(), "default");
    tray.SetChangeFormIcon(false);
    tray.SetChangeAppIcon(false);
    EXPECT_EQ(OfForm(), "form");
    EXPECT_EQ(OfApp(), "app");

    // A form without an icon of its own goes back to following the application's, as its
    // window shows it.
    QWidget bare;
    (void)bare.winId();
    ASSERT_NE(bare.windowHandle(), nullptr);
    TStlTrayIcon other(&bare);
    other.SetChangeFormIcon(true);
    EXPECT_EQ(Name(bare.windowHandle()->icon()), "default");
    other.SetChangeFormIcon(false);
    EXPECT_FALSE(bare.testAttribute(Qt::WA_SetWindowIcon));
    EXPECT_EQ(Name(bare.windowHandle()->icon()), "app");
    QApplication::setWindowIcon(RunTimeIcon);
    EXPECT_EQ(Name(bare.windowHandle()->icon()), "runtime");
}

TEST_F(TrayIcon, TimerRunsWhileAnimatingOrFlashingAndDrivesTheMachine) {
    tray.SetShowTrayIcon(true);
    tray.SetAnimIcons(&frames);
    tray.SetAnimate(true);
    tray.SetFlash(true);
    tray.SetAnimate(false);
    EXPECT_TRUE(tray.TimerEnabled()) << "still flashing";
    tray.SetAnimate(true);
    tray.SetFlash(false);
    EXPECT_TRUE(tray.TimerEnabled()) << "still animating";
    tray.SetAnimate(false);
    EXPECT_FALSE(tray.TimerEnabled());

    int advances = 0;
    tray.OnFrameAdvance = [&] { ++advances; };
    tray.SetFrameSpeed(10);
    tray.SetAnimate(true);
    ASSERT_EQ(tray.FrameIndex(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return advances >= 2; }, 3000));

    // A speed of 0 keeps the timer switched on but never firing. There is no condition to
    // wait for here; a short bounded wait shows that no tick came.
    tray.SetFrameSpeed(0);
    const int before = advances;
    QTest::qWait(80);
    EXPECT_EQ(advances, before);
    EXPECT_TRUE(tray.TimerEnabled());
}

// ---- Clicks ----

TEST_F(TrayIcon, EachClickKindRaisesItsEventWithTheCursorPosition) {
    Names events;
    auto mouse = [&](const char* kind) {
        return [&events, kind, this](TStlTrayIcon& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                     int x, int y) {
            events.push_back(QString::asprintf("%s sender %d button %d shift %d at %d,%d", kind, &sender == &tray,
                                               int(button), int(shift), x, y)
                                 .toStdString());
        };
    };
    tray.OnClick = mouse("click");
    tray.OnRightClick = mouse("right");
    tray.OnDblClick = [&](TStlTrayIcon& sender) {
        events.push_back(std::string("double sender ") + (&sender == &tray ? "1" : "0"));
    };
    QCursor::setPos(123, 45);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::Trigger);
    QCursor::setPos(321, 54);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::Context);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::DoubleClick);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::MiddleClick);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::Unknown);
    EXPECT_EQ(events, (Names{"click sender 1 button 1 shift 0 at 123,45", "right sender 1 button 2 shift 0 at 321,54",
                             "double sender 1"}));
}

TEST_F(TrayIcon, TopmostClicksBringTheMinimisedFormBack) {
    const std::vector<std::pair<QSystemTrayIcon::ActivationReason, bool TStlTrayIcon::*>> kinds{
        {QSystemTrayIcon::Trigger, &TStlTrayIcon::LeftClickTopmost},
        {QSystemTrayIcon::Context, &TStlTrayIcon::RightClickTopmost},
        {QSystemTrayIcon::DoubleClick, &TStlTrayIcon::DblClickTopmost}};
    for (const auto& [reason, topmost] : kinds) {
        form.showMinimized();
        ASSERT_TRUE(form.isMinimized());
        emit tray.SystemTrayIcon().activated(reason);
        EXPECT_TRUE(form.isMinimized()) << "reason " << reason << " without Topmost";

        tray.*topmost = true;
        emit tray.SystemTrayIcon().activated(reason);
        EXPECT_FALSE(form.isMinimized()) << "reason " << reason;
        EXPECT_TRUE(form.isVisible()) << "reason " << reason;
        tray.*topmost = false;
    }
}

TEST_F(TrayIcon, ClickWithAPopupShowsTheMenuAtTheCursorBeforeTheEvent) {
    std::vector<std::string> log;
    QMenu left;
    QMenu right;
    left.addAction(QStringLiteral("Open"));
    right.addAction(QStringLiteral("Quit"));
    for (QMenu* menu : {&left, &right}) {
        const std::string name = menu == &left ? "left menu" : "right menu";
        QObject::connect(menu, &QMenu::aboutToShow, menu, [&log, menu, name] {
            // Closed once it is up, as a user choosing nothing would.
            QTimer::singleShot(0, menu, [&log, menu, name] {
                log.push_back(name + (menu->isVisible() ? " shown at " : " not shown at ") +
                              std::to_string(menu->pos().x()) + "," + std::to_string(menu->pos().y()));
                menu->close();
            });
        });
        QObject::connect(menu, &QMenu::aboutToHide, menu, [&log, name] { log.push_back(name + " closed"); });
    }
    tray.LeftClickPopup = &left;
    tray.RightClickPopup = &right;
    tray.OnClick = [&](TStlTrayIcon&, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        log.push_back("click at " + std::to_string(x) + "," + std::to_string(y));
    };
    tray.OnRightClick = [&](TStlTrayIcon&, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        log.push_back("right click at " + std::to_string(x) + "," + std::to_string(y));
    };
    QCursor::setPos(100, 90);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::Trigger);
    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(log, (Names{"left menu shown at 100,90", "left menu closed", "click at 100,90",
                          "right menu shown at 100,90", "right menu closed", "right click at 100,90"}));
}

// ---- The taskbar ----

TEST_F(TrayIcon, HideFromTaskbarMakesTheFormAToolWindowAndBackWhileItStaysShown) {
    form.show();
    tray.SetHideFromTaskbar(true);
    EXPECT_EQ(form.windowType(), Qt::Tool);
    EXPECT_TRUE(form.isVisible());
    tray.SetHideFromTaskbar(false);
    EXPECT_EQ(form.windowType(), Qt::Window);
    EXPECT_TRUE(form.isVisible());

    // A form not yet shown is not shown by it.
    QWidget later;
    TStlTrayIcon other(&later);
    other.SetHideFromTaskbar(true);
    EXPECT_EQ(later.windowType(), Qt::Tool);
    EXPECT_FALSE(later.isVisible());
}

TEST_F(TrayIcon, MinimisedFormVanishesWhileOffTheTaskbarAndComesBackThroughTheTray) {
    form.show();
    tray.SetHideFromTaskbar(true);
    tray.LeftClickTopmost = true;
    form.showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 3000));

    emit tray.SystemTrayIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());

    // With the taskbar button back, minimising only minimises.
    tray.SetHideFromTaskbar(false);
    form.showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.isMinimized());
}

}  // namespace
}  // namespace corvane::desktop
