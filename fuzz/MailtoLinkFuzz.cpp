// A mailto: link as a web page may write it. Input: the link's bytes after "mailto:" (the
// scheme is put in front, so every run reads the fields).
//
// Properties:
// - To, Cc, Bcc and Subject are well-formed UTF-8 of one line (no CR, LF, U+2028, U+2029,
//   no control but the tab) within MaxMailtoFieldBytes; the addresses have no blank at
//   either end;
// - the body is well-formed UTF-8 within MaxMailtoBodyBytes with no CR, and no control but
//   the tab and LF;
// - what was read reads back: a link that carries each field percent-encoded gives the same
//   fields and leaves nothing out.

#include <string>

#include "FuzzSupport.h"
#include "HeaderDecoding.h"
#include "mail/MailtoLink.h"

namespace {

using namespace corvane::fuzz;
namespace mail = corvane::mail;

bool HasControl(std::string_view text, bool lineBreaks) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((c < 0x20 && c != '\t' && !(lineBreaks && c == '\n')) || c == 0x7F ||
            (c == 0xC2 && next >= 0x80 && next < 0xA0)) {
            return true;
        }
        if (!lineBreaks && c == 0xE2 && next == 0x80 && i + 2 < text.size() &&
            (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            return true;
        }
    }
    return false;
}

void CheckLine(std::string_view text, std::string_view what) {
    FUZZ_CHECK(IsWellFormedUtf8(text), std::string(what) + " not UTF-8: " + Shown(text));
    FUZZ_CHECK(!HasControl(text, false), std::string(what) + " not one line: " + Shown(text));
    FUZZ_CHECK(text.size() <= mail::MaxMailtoFieldBytes, std::string(what) + " too long");
}

void CheckAddresses(std::string_view text, std::string_view what) {
    CheckLine(text, what);
    FUZZ_CHECK(text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())),
               std::string(what) + " with blanks around: " + Shown(text));
}

std::string Encoded(std::string_view text) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += Hex[byte >> 4];
        encoded += Hex[byte & 0x0F];
    }
    return encoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string link = "mailto:" + std::string(AsText(data, size));
    const mail::TMailtoLink read = mail::ParseMailtoLink(link);

    CheckAddresses(read.To, "To");
    CheckAddresses(read.Cc, "Cc");
    CheckAddresses(read.Bcc, "Bcc");
    CheckLine(read.Subject, "Subject");
    FUZZ_CHECK(IsWellFormedUtf8(read.Body), "body not UTF-8: " + Shown(read.Body));
    FUZZ_CHECK(!HasControl(read.Body, true), "a control in the body: " + Shown(read.Body));
    FUZZ_CHECK(read.Body.size() <= mail::MaxMailtoBodyBytes, "body too long");

    const mail::TMailtoLink again =
        mail::ParseMailtoLink("MailTo:?To=" + Encoded(read.To) + "&cc=" + Encoded(read.Cc) + "&BCC=" +
                              Encoded(read.Bcc) + "&subject=" + Encoded(read.Subject) +
                              "&body=" + Encoded(read.Body));
    FUZZ_CHECK(again.LeftOut.empty(), "left out on reading back: " + Shown(again.LeftOut.front()));
    FUZZ_CHECK(again.To == read.To && again.Cc == read.Cc && again.Bcc == read.Bcc,
               "addresses read back as " + Shown(again.To + " | " + again.Cc + " | " + again.Bcc));
    FUZZ_CHECK(again.Subject == read.Subject, "subject read back as " + Shown(again.Subject));
    FUZZ_CHECK(again.Body == read.Body, "body read back as " + Shown(again.Body));
    return 0;
}
