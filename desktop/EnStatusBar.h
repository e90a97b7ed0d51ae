#pragma once
// TEnStatusBar: the window's status bar, a row of text panels of fixed widths that also
// carries child controls (the gauge sits on it at a position of its own).

#include <QLabel>
#include <QStatusBar>
#include <vector>

namespace corvane::desktop {

class TEnStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit TEnStatusBar(QWidget* parent = nullptr);

    // Replaces the panels by ones of these widths in pixels, left to right.
    void SetPanelWidths(const std::vector<int>& widths);
    int PanelCount() const { return static_cast<int>(m_panels.size()); }
    QLabel* Panel(int index) const { return m_panels.at(static_cast<std::size_t>(index)); }
    void SetPanelWidth(int index, int width);
    // Shows Text in the panel and paints it at once, also in the middle of long work.
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const { return Panel(index)->text(); }

signals:
    // Every text put into a panel, in order (also one equal to the text already shown).
    void PanelTextChanged(int index, const QString& text);

private:
    std::vector<QLabel*> m_panels;
};

}  // namespace corvane::desktop
