#include "EnStatusBar.h"

namespace corvane::desktop {

TEnStatusBar::TEnStatusBar(QWidget* parent) : QStatusBar(parent) {
    // Fills its own background in one pass, so the panels and the gauge never flicker.
    setAutoFillBackground(true);
    setSizeGripEnabled(false);
    setContentsMargins(0, 0, 0, 0);
}

void TEnStatusBar::SetPanelWidths(const std::vector<int>& widths) {
    for (QLabel* panel : m_panels) {
        removeWidget(panel);
        delete panel;
    }
    m_panels.clear();
    for (const int width : widths) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(m_panels.size()));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(0, 0, 0, 0);
        panel->setIndent(2);
        // A panel shows text as it is: "<b>" from a server is shown, never rendered.
        panel->setTextFormat(Qt::PlainText);
        panel->setFixedWidth(width);
        addWidget(panel);
        m_panels.push_back(panel);
    }
}

void TEnStatusBar::SetPanelWidth(int index, int width) {
    Panel(index)->setFixedWidth(width);
}

void TEnStatusBar::SetPanelText(int index, const QString& text) {
    QLabel* panel = Panel(index);
    panel->setText(text);
    panel->repaint();
    emit PanelTextChanged(index, text);
}

}  // namespace corvane::desktop
