#include "MimeParams.h"

#include <cstring>

#include "mail/EncodedWords.h"
#include "mail/HeaderEncoding.h"
#include "mail/MailText.h"

namespace corvane::mail {

namespace {

constexpr std::string_view TransferEncodingLine = "Content-Transfer-Encoding: base64";
// The charset and the empty language in front of an extended value (RFC 2231 section 4).
constexpr std::string_view Rfc2231Charset = "UTF-8''";

// RFC 2231 section 7 attribute-char: what a parameter value may hold without a %XX escape.
bool IsAttributeChar(unsigned char c) {
    return c > ' ' && c < 0x7F && std::strchr("*'%()<>@,;:\\\"/[]?=", c) == nullptr;
}

void AppendPercentEncoded(std::string_view bytes, std::string& out) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsAttributeChar(byte)) {
            out += c;
        } else {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 0x0F];
        }
    }
}

bool IsPrintableAscii(std::string_view text) {
    for (const char c : text) {
        if (c < ' ' || c >= 0x7F) {
            return false;
        }
    }
    return true;
}

// Content-Type with the name for readers that know no RFC 2231: quoted as it is when it is
// printable ASCII and fits on a line, else as encoded-words inside the quotes, as the common
// desktop mail programs write and read it (RFC 2047 section 5 has no place for them there).
std::vector<std::string> ContentTypeLines(std::string_view contentType, std::string_view name) {
    THeaderLines lines("Content-Type");
    lines.AddWord(" ", std::string(contentType) + ";");
    const std::string quoted = "name=\"" + QuotedStringContent(name) + "\"";
    if (IsPrintableAscii(name) && name.find("=?") == std::string_view::npos &&
        1 + quoted.size() <= HeaderFoldColumn) {
        lines.AddWord(" ", quoted);
    } else {
        lines.AddEncoded(" ", name, EWordContext::Phrase, "name=\"", "\"");
    }
    return lines.Take();
}

// Content-Disposition with filename* (RFC 2231 section 4): one parameter when it fits on a
// line, else numbered continuations (section 3), each cut between characters and filling
// its own line.
std::vector<std::string> ContentDispositionLines(std::string_view name) {
    THeaderLines lines("Content-Disposition");
    lines.AddWord(" ", "attachment;");
    std::string whole = "filename*=" + std::string(Rfc2231Charset);
    AppendPercentEncoded(name, whole);
    if (1 + whole.size() <= HeaderFoldColumn) {
        lines.AddWord(" ", whole);
        return lines.Take();
    }
    std::string character;
    std::size_t pos = 0;
    for (unsigned section = 0; pos < name.size(); ++section) {
        std::string parameter = "filename*" + std::to_string(section) + "*=";
        if (section == 0) {
            parameter += Rfc2231Charset;
        }
        const std::size_t emptySize = parameter.size();
        while (pos < name.size()) {
            const std::size_t end = CharacterEnd(name, pos);
            character.clear();
            AppendPercentEncoded(name.substr(pos, end - pos), character);
            // The blank that starts the line and the ';' before the next section.
            if (1 + parameter.size() + character.size() + 1 > HeaderFoldColumn &&
                parameter.size() > emptySize) {
                break;
            }
            parameter += character;
            pos = end;
        }
        if (pos < name.size()) {
            parameter += ';';
        }
        lines.AddWord(" ", parameter);
    }
    return lines.Take();
}

}  // namespace

std::vector<std::string> AttachmentPartHeaders(std::string_view contentType,
                                               std::string_view fileName) {
    // Each line keeps the form the program has always written while it can.
    const bool ascii = IsAscii(fileName);
    const std::string quoted = QuotedStringContent(fileName);
    const std::string name = SanitizeHeaderValue(fileName);
    std::vector<std::string> lines;
    std::string typeLine =
        "Content-Type: " + std::string(contentType) + "; name=\"" + quoted + "\"";
    if (ascii && typeLine.size() <= HeaderFoldColumn) {
        lines.push_back(std::move(typeLine));
    } else {
        lines = ContentTypeLines(contentType, name);
    }
    lines.emplace_back(TransferEncodingLine);
    std::string dispositionLine = "Content-Disposition: attachment; fileName=\"" + quoted + "\"";
    if (ascii && dispositionLine.size() <= HeaderFoldColumn) {
        lines.push_back(std::move(dispositionLine));
    } else {
        for (auto& line : ContentDispositionLines(name)) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

}  // namespace corvane::mail
