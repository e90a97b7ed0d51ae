#include "regctrls/RegMemo.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <limits>
#include <utility>

#include "regctrls/MyReg.h"

namespace corvane::regctrls {

registry::ERootKey HiveOfRootKeyOrdinal(int ordinal) {
    switch (ordinal) {
        case 0:
            return registry::ERootKey::LocalMachine;
        case 2:
            return registry::ERootKey::Users;
        default:
            return registry::ERootKey::CurrentUser;
    }
}

bool OpenControlKeyForLoad(registry::TRegistry& registry, std::string_view mainKey) {
    return registry.OpenKey(ControlKeyPath(mainKey), false);
}

bool OpenControlKeyForSave(registry::TRegistry& registry, std::string_view mainKey) {
    const std::string path = ControlKeyPath(mainKey);
    if (registry.OpenKey(path, false)) {
        registry.CloseKey();
        registry.DeleteKey(path);
    }
    return registry.OpenKey(path, true);
}

TRegMemo::TRegMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TRegMemo::SetWordWrap(bool wrap) {
    if (wrap != WordWrap()) {
        setLineWrapMode(wrap ? WidgetWidth : NoWrap);
    }
}

namespace {

// The empty paragraph after a final line break is no line of its own; this also makes an
// empty memo report no lines at all.
QStringList WithoutFinalBreak(QStringList lines) {
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

}  // namespace

QStringList TRegMemo::LogicalLines() const {
    QStringList lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines += block.text().split(QChar::LineSeparator);
    }
    return WithoutFinalBreak(std::move(lines));
}

QStringList TRegMemo::DisplayLines() const {
    if (!WordWrap()) {
        return LogicalLines();
    }
    QStringList lines;
    const QTextDocument* text = document();
    for (QTextBlock block = text->begin(); block.isValid(); block = block.next()) {
        const QString paragraph = block.text();
        // The editor lays paragraphs out lazily, as they come into view; asking for a
        // paragraph's bounds lays it out at the present width.
        text->documentLayout()->blockBoundingRect(block);
        const QTextLayout* layout = block.layout();
        if (layout == nullptr || layout->lineCount() == 0) {
            // Not laid out at a width: it breaks only where it holds a line separator.
            lines += paragraph.split(QChar::LineSeparator);
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            QString part = paragraph.mid(line.textStart(), line.textLength());
            if (part.endsWith(QChar::LineSeparator)) {
                part.chop(1);
            }
            lines += part;
        }
    }
    return WithoutFinalBreak(std::move(lines));
}

std::vector<std::string> TRegMemo::Lines() const {
    const QStringList display = DisplayLines();
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(display.size()));
    for (const QString& line : display) {
        lines.push_back(line.toStdString());
    }
    return lines;
}

void TRegMemo::SetLines(const std::vector<std::string>& lines) {
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += QChar('\n');
        }
        text += QString::fromStdString(lines[i]);
    }
    // A last line that is empty needs a line break after it, or it would read as the
    // final line break of the line before.
    if (!lines.empty() && lines.back().empty()) {
        text += QChar('\n');
    }
    setPlainText(text);
}

void TRegMemo::LoadFromRegistry() noexcept {
    if (RegMainKey.empty()) {
        return;
    }
    try {
        clear();  // before the key is opened: a missing key leaves the memo empty
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!OpenControlKeyForLoad(registry, RegMainKey)) {
            return;
        }
        const std::int32_t total = std::max(registry.ReadInteger("Total").value_or(0), 0);
        std::vector<std::string> lines;
        lines.reserve(static_cast<std::size_t>(std::min(total, MaxLoadedLines)));
        for (std::int32_t i = 0; i < total; ++i) {
            const std::string name = RegKeyName + std::to_string(i);
            if (i >= MaxLoadedLines) {
                // Past the bound only what a save wrote: a damaged "Total" ends here.
                const auto line = registry.ReadValue(name);
                if (!line || (line->Type != registry::ERegDataType::String &&
                              line->Type != registry::ERegDataType::ExpandString)) {
                    break;
                }
            }
            lines.push_back(ReadText(registry, name));
        }
        SetLines(lines);
    } catch (...) {
        // Registry failures are silent; the memo keeps what it holds.
    }
}

void TRegMemo::SaveToRegistry() noexcept {
    if (RegMainKey.empty()) {
        return;
    }
    try {
        // The lines the user wrote, never the breaks the wrapping made.
        const QStringList lines = LogicalLines();
        // The whole save is one transaction of the store: one durable commit at the end of
        // the scope, and no other process ever sees the key half written.
        registry::TWriteBatch batch;
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!OpenControlKeyForSave(registry, RegMainKey)) {
            return;
        }
        const qsizetype count = std::min<qsizetype>(
            {lines.size(), std::max(RegMaxLines, 0), std::numeric_limits<std::int32_t>::max()});
        registry.WriteInteger("Total", static_cast<std::int32_t>(count));  // refused: go on
        for (qsizetype i = 0; i < count; ++i) {
            try {
                registry.WriteString(RegKeyName + std::to_string(i), lines[i].toStdString());
            } catch (...) {
                // A line that cannot be stored is skipped; the next one is tried.
            }
        }
    } catch (...) {
        // Registry failures are silent.
    }
}

}  // namespace corvane::regctrls
