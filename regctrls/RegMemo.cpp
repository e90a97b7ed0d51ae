#include "regctrls/RegMemo.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

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

QStringList TRegMemo::DisplayLines() const {
    QStringList lines;
    const QTextDocument* text = document();
    const bool wrap = WordWrap();
    for (QTextBlock block = text->begin(); block.isValid(); block = block.next()) {
        const QString paragraph = block.text();
        const QTextLayout* layout = nullptr;
        if (wrap) {
            // The editor lays paragraphs out lazily, as they come into view; asking for a
            // paragraph's bounds lays it out at the present width.
            text->documentLayout()->blockBoundingRect(block);
            layout = block.layout();
        }
        if (layout == nullptr || layout->lineCount() == 0) {
            // Unwrapped, a paragraph breaks only where it holds a line separator.
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
    // The empty paragraph after a final line break is no line of its own; this also makes
    // an empty memo report no lines at all.
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
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
        const std::int32_t total =
            std::clamp(registry.ReadInteger("Total").value_or(0), 0, MaxLoadedLines);
        std::vector<std::string> lines;
        lines.reserve(static_cast<std::size_t>(total));
        for (std::int32_t i = 0; i < total; ++i) {
            lines.push_back(ReadText(registry, RegKeyName + std::to_string(i)));
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
        const std::vector<std::string> lines = Lines();
        // The whole save is one transaction of the store: one durable commit at the end of
        // the scope, and no other process ever sees the key half written.
        registry::TWriteBatch batch;
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!OpenControlKeyForSave(registry, RegMainKey)) {
            return;
        }
        const std::size_t count =
            std::min(lines.size(), static_cast<std::size_t>(std::max(RegMaxLines, 0)));
        registry.WriteInteger("Total", static_cast<std::int32_t>(count));  // refused: go on
        for (std::size_t i = 0; i < count; ++i) {
            try {
                registry.WriteString(RegKeyName + std::to_string(i), lines[i]);
            } catch (...) {
                // A line that cannot be stored is skipped; the next one is tried.
            }
        }
    } catch (...) {
        // Registry failures are silent.
    }
}

}  // namespace corvane::regctrls
