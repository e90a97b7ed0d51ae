#pragma once
// TCorvaneGauge: a flicker-free horizontal gauge that shows Progress within
// [MinValue, MaxValue] as a filled bar with the whole percentage written over the filled
// part in the complementary colour. The picture is composed off screen and reaches the
// screen in one copy; the widget is opaque, so its parent never erases beneath it.
// Setting Progress repaints only when the whole percentage changes, so callers may report
// progress as often as they like.
//
// TBltBitmap is the off-screen layer the gauge composes with.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <stdexcept>

namespace corvane::desktop {

// Raised by the gauge's range setters; the message is the formatted range.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TBorderStyle { bsNone, bsSingle };

class TBltBitmap : public QImage {
public:
    TBltBitmap() = default;
    // Takes the size of Source and fills the whole area with the window-frame colour.
    void MakeLike(const QImage& source);
};

class TCorvaneGauge : public QWidget {
    Q_OBJECT

public:
    explicit TCorvaneGauge(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return m_minValue; }
    std::int32_t MaxValue() const { return m_maxValue; }
    std::int32_t Progress() const { return m_progress; }
    bool ShowText() const { return m_showText; }
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    QColor ForeColor() const { return m_foreColor; }
    QColor BackColor() const { return m_backColor; }

    // Raise EInvalidOperation (nothing stored) for a value on the wrong side of the other
    // end, except while Loading.
    void SetMinValue(std::int32_t value);
    void SetMaxValue(std::int32_t value);
    // Clamps into the range; never fails.
    void SetProgress(std::int32_t value);
    void SetShowText(bool value);
    void SetBorderStyle(TBorderStyle value);
    void SetForeColor(const QColor& value);
    void SetBackColor(const QColor& value);

    // While loading stored settings, the two ends may arrive in any order.
    void SetLoading(bool loading) { m_loading = loading; }

    std::int32_t PercentFilled() const;
    static std::int32_t RatioToPercent(std::int64_t part, std::int64_t whole);
    // Length * Percent / 100 in exact integer arithmetic, truncated toward zero: 5 % of 100
    // pixels is 5, where binary floating point would give 4.
    static std::int32_t ScaleByPercent(std::int32_t percent, std::int32_t length);

    // The picture the gauge paints, composed off screen.
    QImage Render() const;
    // Paint passes so far (tests use it to see that a move within one percent paints nothing).
    int PaintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct TRect {
        int Left, Top, Right, Bottom;  // right and bottom exclusive
    };
    TRect InnerRect() const;
    void DrawBar(TBltBitmap& layer, const TRect& inner) const;
    void LayPercentage(QImage& picture, const TRect& inner) const;
    void RepaintNow();

    std::int32_t m_minValue = 0;
    std::int32_t m_maxValue = 100;
    std::int32_t m_progress = 0;
    bool m_showText = true;
    TBorderStyle m_borderStyle = bsSingle;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::white;
    bool m_loading = false;
    int m_paintCount = 0;
};

}  // namespace corvane::desktop
