// An attachment's part headers for any file name. Input: the content type (only its
// printable ASCII other than blanks, as the type table holds) and the file name, separated
// by 0xFF.
//
// Properties, read with the strict reader of HeaderDecoding.h:
// - the lines are Content-Type, Content-Transfer-Encoding: base64 and Content-Disposition,
//   each folded with a leading blank, none holding CR or LF;
// - each name line keeps the program's historic form (name="..." and fileName="...") when
//   the name is ASCII and that line fits in 78 characters;
// - otherwise the lines are printable ASCII of at most 78 characters (a content type too
//   long for a line aside); the name parameter holds encoded-words of at most 75
//   characters, and filename* numbered sections, cut between characters, that decode to
//   the name (CR and LF as blanks).

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "HeaderDecoding.h"
#include "mail/HeaderEncoding.h"
#include "mail/MailText.h"
#include "mail/MimeParams.h"

namespace {

using namespace corvane::fuzz;
namespace mail = corvane::mail;

constexpr std::size_t FoldColumn = 78;

// The lines of the header field starting at First: its first line and the folded ones.
std::vector<std::string> Field(const std::vector<std::string>& lines, std::size_t& first) {
    std::vector<std::string> field{lines[first++]};
    while (first < lines.size() && !lines[first].empty() && IsBlank(lines[first][0])) {
        field.push_back(lines[first++]);
    }
    return field;
}

void CheckFolded(const std::vector<std::string>& field, bool longType) {
    for (const auto& line : field) {
        FUZZ_CHECK(
            std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c < 0x7F; }),
            "not printable ASCII: " + Shown(line));
        FUZZ_CHECK(line.size() <= FoldColumn || longType,
                   "a line of " + std::to_string(line.size()));
    }
}

void CheckContentType(const std::vector<std::string>& field, std::string_view type,
                      std::string_view name, bool wellFormed) {
    const std::string text = Unfolded(field);
    const std::string start = "Content-Type: " + std::string(type) + "; name=";
    FUZZ_CHECK(text.starts_with(start), Shown(text));
    const std::string_view value = std::string_view(text).substr(start.size());
    if (!value.starts_with("\"=?")) {
        const auto content = Unquoted(value);
        FUZZ_CHECK(content && *content == name,
                   "name reads " + Shown(content.value_or("(invalid)")));
        return;
    }
    FUZZ_CHECK(value.size() >= 2 && value.back() == '"', Shown(text));
    const std::string_view inner = value.substr(1, value.size() - 2);
    std::vector<std::string> words;
    const std::string shown = DecodeWords(inner, true, &words);
    FUZZ_CHECK(shown == name, "name reads " + Shown(shown) + " in " + Shown(text));
    for (const auto& word : words) {
        FUZZ_CHECK(!wellFormed || IsWellFormedUtf8(word), "a character split in " + Shown(text));
    }
    for (std::size_t pos = 0; pos < inner.size();) {
        auto end =
            std::find_if(inner.begin() + static_cast<std::ptrdiff_t>(pos), inner.end(), IsBlank) -
            inner.begin();
        FUZZ_CHECK(end - pos <= 75 && DecodeEncodedWord(inner.substr(pos, end - pos), true),
                   "not an encoded-word: " + Shown(inner.substr(pos, end - pos)));
        pos = static_cast<std::size_t>(end);
        while (pos < inner.size() && IsBlank(inner[pos])) {
            ++pos;
        }
    }
}

void CheckDisposition(const std::vector<std::string>& field, std::string_view name,
                      bool wellFormed) {
    const std::string text = Unfolded(field);
    const std::string start = "Content-Disposition: attachment;";
    FUZZ_CHECK(text.starts_with(start), Shown(text));
    // " filename*=UTF-8''..." or " filename*0*=UTF-8''...;" " filename*1*=...;" ...
    std::vector<std::string_view> parameters;
    for (std::size_t pos = start.size(); pos < text.size();) {
        FUZZ_CHECK(IsBlank(text[pos]), Shown(text));
        const auto end = text.find(' ', pos + 1);
        parameters.push_back(
            std::string_view(text).substr(pos + 1, end == std::string::npos ? end : end - pos - 1));
        pos = end == std::string::npos ? text.size() : end;
    }
    FUZZ_CHECK(!parameters.empty(), Shown(text));
    std::string encoded;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        std::string_view parameter = parameters[i];
        const bool last = i + 1 == parameters.size();
        FUZZ_CHECK(last != parameter.ends_with(';'), Shown(text));
        if (!last) {
            parameter.remove_suffix(1);
        }
        const std::string head =
            parameters.size() == 1 ? "filename*=" : "filename*" + std::to_string(i) + "*=";
        FUZZ_CHECK(parameter.starts_with(head), Shown(parameter));
        parameter.remove_prefix(head.size());
        if (i == 0) {
            FUZZ_CHECK(parameter.starts_with("UTF-8''"), Shown(parameter));
            parameter.remove_prefix(7);
        }
        const auto section = PercentDecoded(parameter);
        FUZZ_CHECK(section.has_value(), "not percent-encoded: " + Shown(parameter));
        FUZZ_CHECK(!wellFormed || IsWellFormedUtf8(*section),
                   "a character split: " + Shown(parameter));
        encoded += parameter;
    }
    const auto decoded = PercentDecoded(encoded);
    FUZZ_CHECK(decoded && *decoded == name,
               "filename* reads " + Shown(decoded.value_or("(invalid)")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = SplitFields(AsText(data, size), 2);
    std::string type(fields[0]);
    std::erase_if(type, [](char c) { return c <= ' ' || c >= 0x7F; });
    if (type.empty()) {
        type = "application/octet-stream";
    }
    const std::string_view fileName = fields[1];
    const auto lines = mail::AttachmentPartHeaders(type, fileName);

    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos, Shown(lines[i]));
    }
    const bool ascii = mail::IsAscii(fileName);
    const std::string name = mail::SanitizeHeaderValue(fileName);
    const bool wellFormed = IsWellFormedUtf8(name);
    const std::string quoted = mail::QuotedStringContent(fileName);
    const std::string typeLine = "Content-Type: " + type + "; name=\"" + quoted + "\"";
    const std::string dispositionLine =
        "Content-Disposition: attachment; fileName=\"" + quoted + "\"";
    const bool longType = type.size() + 16 > FoldColumn;

    std::size_t next = 0;
    const auto typeField = Field(lines, next);
    if (ascii && typeLine.size() <= FoldColumn) {
        FUZZ_CHECK(typeField == std::vector{typeLine},
                   "not the historic form: " + Shown(typeField[0]));
    } else {
        CheckFolded(typeField, longType);
        CheckContentType(typeField, type, name, wellFormed);
    }
    FUZZ_CHECK(next < lines.size() && lines[next++] == "Content-Transfer-Encoding: base64",
               "no transfer encoding");
    FUZZ_CHECK(next < lines.size(), "no disposition");
    const auto dispositionField = Field(lines, next);
    FUZZ_CHECK(next == lines.size(), "lines after the disposition");
    if (ascii && dispositionLine.size() <= FoldColumn) {
        FUZZ_CHECK(dispositionField == std::vector{dispositionLine},
                   "not the historic form: " + Shown(dispositionField[0]));
    } else {
        CheckFolded(dispositionField, false);
        CheckDisposition(dispositionField, name, wellFormed);
    }
    return 0;
}
