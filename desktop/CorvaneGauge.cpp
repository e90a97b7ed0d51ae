#include "CorvaneGauge.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <climits>

namespace corvane::desktop {

namespace {

std::string RangeMessage(std::int64_t low, std::int64_t high) {
    return QString::asprintf("Value must be between %lld and %lld", static_cast<long long>(low),
                             static_cast<long long>(high))
        .toStdString();
}

// Bitwise XOR of Layer into Picture: black leaves a pixel as it is, white turns it into its
// complementary colour.
void XorInto(QImage& picture, const QImage& layer) {
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(0, 0, layer);
}

}  // namespace

void TBltBitmap::MakeLike(const QImage& source) {
    *static_cast<QImage*>(this) = QImage(source.size(), QImage::Format_RGB32);
    // The window-frame colour of the desktop's palette (black in every common scheme).
    fill(QPalette().color(QPalette::WindowText));
}

TCorvaneGauge::TCorvaneGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(150, 30);
}

void TCorvaneGauge::SetMinValue(std::int32_t value) {
    if (value == m_minValue) {
        return;
    }
    if (!m_loading && value > m_maxValue) {
        throw EInvalidOperation(RangeMessage(-std::int64_t{INT_MAX}, std::int64_t{m_maxValue} - 1));
    }
    m_minValue = value;
    m_progress = std::max(m_progress, value);
    RepaintNow();
}

void TCorvaneGauge::SetMaxValue(std::int32_t value) {
    if (value == m_maxValue) {
        return;
    }
    if (!m_loading && value < m_minValue) {
        throw EInvalidOperation(RangeMessage(std::int64_t{m_minValue} + 1, INT_MAX));
    }
    m_maxValue = value;
    m_progress = std::min(m_progress, value);
    RepaintNow();
}

void TCorvaneGauge::SetProgress(std::int32_t value) {
    value = std::max(m_minValue, std::min(value, m_maxValue));
    if (value == m_progress) {
        return;
    }
    const std::int32_t before = PercentFilled();
    m_progress = value;
    if (PercentFilled() != before) {
        RepaintNow();
        QAccessibleValueChangeEvent event(this, value);
        QAccessible::updateAccessibility(&event);
    }
}

void TCorvaneGauge::SetShowText(bool value) {
    if (value != m_showText) {
        m_showText = value;
        RepaintNow();
    }
}

void TCorvaneGauge::SetBorderStyle(TBorderStyle value) {
    if (value != m_borderStyle) {
        m_borderStyle = value;
        RepaintNow();
    }
}

void TCorvaneGauge::SetForeColor(const QColor& value) {
    if (value != m_foreColor) {
        m_foreColor = value;
        RepaintNow();
    }
}

void TCorvaneGauge::SetBackColor(const QColor& value) {
    if (value != m_backColor) {
        m_backColor = value;
        RepaintNow();
    }
}

std::int32_t TCorvaneGauge::RatioToPercent(std::int64_t part, std::int64_t whole) {
    return whole == 0 ? 0 : static_cast<std::int32_t>(part * 100 / whole);
}

std::int32_t TCorvaneGauge::ScaleByPercent(std::int32_t percent, std::int32_t length) {
    return static_cast<std::int32_t>(std::int64_t{length} * percent / 100);
}

std::int32_t TCorvaneGauge::PercentFilled() const {
    const std::int32_t percent = RatioToPercent(std::int64_t{m_progress} - m_minValue,
                                                std::int64_t{m_maxValue} - m_minValue);
    // Ends stored in the wrong order while loading must not paint outside 0..100.
    return std::clamp(percent, 0, 100);
}

TCorvaneGauge::TRect TCorvaneGauge::InnerRect() const {
    const int frame = m_borderStyle == bsSingle ? 1 : 0;
    return {frame, frame, width() - frame, height() - frame};
}

void TCorvaneGauge::DrawBar(TBltBitmap& layer, const TRect& inner) const {
    QPainter painter(&layer);
    painter.fillRect(QRect(inner.Left, inner.Top, inner.Right - inner.Left, inner.Bottom - inner.Top),
                     m_backColor);
    const int span = inner.Right - inner.Left + 1;
    const int right = std::min(ScaleByPercent(PercentFilled(), span), span);
    // Right and bottom are absolute, exclusive edges; with no frame the bar at P % is
    // (width + 1) * P / 100 pixels wide.
    const int bottom = inner.Bottom - inner.Top + 1;
    if (right > 0) {
        painter.fillRect(QRect(inner.Left, inner.Top, right - inner.Left, bottom - inner.Top),
                         m_foreColor);
    }
}

void TCorvaneGauge::LayPercentage(QImage& picture, const TRect& inner) const {
    const QString text = QString::asprintf("%d%%", PercentFilled());
    QFont textFont = font();
    // Pure white pixels only, so the XOR gives exactly the complementary colour.
    textFont.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(textFont);
    const int textWidth = metrics.horizontalAdvance(text);
    const int filled = ScaleByPercent(PercentFilled(), inner.Right - inner.Left + 1);
    if (filled < textWidth) {
        return;  // the text only shows once the fill is at least as wide as it is
    }
    const int x = (filled - inner.Left + 1 - textWidth) / 2;
    const int y = (inner.Bottom - inner.Top - 2 - metrics.height()) / 2;

    TBltBitmap overlay;
    overlay.MakeLike(picture);
    overlay.fill(Qt::black);
    {
        QPainter painter(&overlay);
        painter.setFont(textFont);
        painter.setPen(Qt::white);
        painter.setClipRect(QRect(inner.Left, inner.Top, inner.Right - inner.Left, inner.Bottom - inner.Top));
        painter.drawText(x, y + metrics.ascent(), text);
    }
    XorInto(picture, overlay);
}

QImage TCorvaneGauge::Render() const {
    QImage picture(size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    const TRect inner = InnerRect();
    TBltBitmap bar;
    bar.MakeLike(picture);
    bar.fill(Qt::black);
    DrawBar(bar, inner);
    // Into black, XOR copies the bar; the ring outside the inner rectangle stays black and
    // is the single border.
    XorInto(picture, bar);
    if (m_showText) {
        LayPercentage(picture, inner);
    }
    return picture;
}

void TCorvaneGauge::RepaintNow() {
    repaint();
}

void TCorvaneGauge::paintEvent(QPaintEvent*) {
    ++m_paintCount;
    QPainter painter(this);
    painter.drawImage(0, 0, Render());
}

}  // namespace corvane::desktop
