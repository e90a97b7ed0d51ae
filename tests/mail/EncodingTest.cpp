// The text encoders, checked by a reader nobody here wrote: each test hands all its outputs
// to Python's email package (policy.default) in one run and compares what it decodes with
// what went in, and checks the line lengths and 7-bit form of every output.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>

#include "ProgramProcess.h"
#include "mail/BodyEncoding.h"
#include "mail/HeaderEncoding.h"
#include "mail/MimeParams.h"

namespace corvane::mail {
namespace {

// Reads records "<kind>\n<message>" separated by NUL bytes; writes one line per record, its
// decoded fields as "x<hex>" separated by spaces, the problems found first: the header's
// defects, WordNotUtf8 or PartNotUtf8 when an encoded-word or an RFC 2231 section alone is
// not UTF-8 (a cut inside a character), QNotPhraseSafe when Q leaves in a phrase what RFC
// 2047 section 5 (3) does not allow there.
constexpr const char* Decoder = R"PY(
import email, email.header, email.policy, re, sys
from urllib.parse import unquote_to_bytes
def whole_bytes(data):
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return True
def whole(word):
    return all(whole_bytes(part) for part, _ in email.header.decode_header(word))
def fields(kind, raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    if kind == "body":
        return [msg.get_content()]
    if kind == "file":
        parts = re.findall(rb"\*\d+\*=(?:UTF-8'')?([^;\r]*)", raw)
        problems = [] if all(whole_bytes(unquote_to_bytes(p)) for p in parts) else ["PartNotUtf8"]
        return [" ".join(problems), msg.get_filename(), msg["Content-Type"].params["name"]]
    value = msg[msg.keys()[0]]
    words = re.findall(r"=\?UTF-8\?[BQ]\?[^?]*\?=", raw.decode("ascii"))
    problems = [type(d).__name__ for d in value.defects]
    problems += [] if all(whole(w) for w in words) else ["WordNotUtf8"]
    if kind == "addresses":
        q = re.findall(r"=\?UTF-8\?Q\?([^?]*)\?=", raw.decode("ascii"))
        problems += [] if all(re.fullmatch(r"[A-Za-z0-9!*+/=_-]*", t) for t in q) else ["QNotPhraseSafe"]
        return [" ".join(problems)] + [f for a in value.addresses for f in (a.display_name, a.addr_spec)]
    return [" ".join(problems), str(value)]
for record in sys.stdin.buffer.read().split(b"\0")[:-1]:
    kind, raw = record.split(b"\n", 1)
    print(" ".join("x" + f.encode("utf-8", "surrogateescape").hex() for f in fields(kind.decode(), raw)))
)PY";

struct TRecord {
    std::string Kind, Message;
};
using TFields = std::vector<std::string>;

std::string Joined(const std::vector<std::string>& lines, std::string_view separator) {
    std::string text;
    for (const auto& line : lines) {
        text += (&line == &lines.front() ? "" : separator);
        text += line;
    }
    return text;
}

std::string FromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

std::vector<TFields> DecodeWithPython(const std::vector<TRecord>& records) {
    std::string input;
    for (const auto& record : records) {
        input += record.Kind + "\n" + record.Message + '\0';
    }
    test::TProgramProcess python({"/usr/bin/python3", "-c", Decoder}, input);
    EXPECT_EQ(python.WaitForExit(std::chrono::seconds(60)), 0) << python.Error();
    std::vector<TFields> decoded;
    std::istringstream output(python.Output());
    for (std::string line; std::getline(output, line);) {
        std::istringstream words(line);
        TFields& fields = decoded.emplace_back();
        for (std::string word; words >> word;) {
            fields.push_back(FromHex(std::string_view(word).substr(1)));
        }
    }
    EXPECT_EQ(decoded.size(), records.size());
    decoded.resize(records.size());
    return decoded;
}

TRecord HeaderRecord(std::string kind, const std::vector<std::string>& lines) {
    return {std::move(kind), Joined(lines, "\r\n") + "\r\n\r\n"};
}

// Every line 7-bit and at most Limit characters; for a header, every continuation line
// starts with a blank and no encoded-word passes 75 characters.
void ExpectWireForm(const std::vector<std::string>& lines, std::size_t limit, bool header) {
    for (const auto& line : lines) {
        EXPECT_LE(line.size(), limit) << line;
        EXPECT_TRUE(IsAscii(line)) << line;
        if (header && &line != &lines.front() && !line.starts_with("Content-")) {
            EXPECT_TRUE(!line.empty() && (line[0] == ' ' || line[0] == '\t')) << line;
        }
        for (auto start = line.find("=?UTF-8?"); header && start != std::string::npos;
             start = line.find("=?UTF-8?", start + 1)) {
            EXPECT_LE(line.find("?=", start + 10) + 2 - start, 75u) << line;
        }
    }
}

std::string Repeated(std::string_view piece, std::size_t times) {
    return Joined(std::vector<std::string>(times, std::string(piece)), "");
}

const std::vector<std::string> Scripts = {
    "Grüße aus München: Bericht März",
    "Καλημέρα κόσμε, τι κάνεις;",
    "Съешь же ещё этих мягких французских булок",
    "你好，世界！这是一封测试邮件。",
    "こんにちは、世界。テストのメールです",
    "مرحبا بالعالم، هذه رسالة اختبار",
    "Party 🎉🥳 tonight 👩‍👩‍👧 🇩🇪",
    "Cafe\u0301 e\u0301le\u0300ve man\u0303ana",  // combining accents
};

TEST(HeaderEncoding, AsciiThatFitsIsWrittenAsTheProgramAlwaysDid) {
    EXPECT_EQ(UnstructuredHeader("Subject", "Hello, =?world?= _x_"),
              (std::vector<std::string>{"Subject: Hello, =?world?= _x_"}));
    EXPECT_EQ(UnstructuredHeader("Subject", "two\r\nlines"),
              (std::vector<std::string>{"Subject: two  lines"}));
    const auto noMapping = [](std::string_view) -> std::string { return "called"; };
    EXPECT_EQ(
        AddressListHeader("To", "\"Doe, Jane\" <jane@example.org>, joe@example.org,", noMapping),
        (std::vector<std::string>{"To: \"Doe, Jane\" <jane@example.org>, joe@example.org,"}));
    EXPECT_EQ(AttachmentPartHeaders("text/plain", "we\"ird\\name\r\n.txt"),
              (std::vector<std::string>{
                  "Content-Type: text/plain; name=\"we\\\"ird\\\\name  .txt\"",
                  "Content-Transfer-Encoding: base64",
                  "Content-Disposition: attachment; fileName=\"we\\\"ird\\\\name  .txt\""}));
}

TEST(HeaderEncoding, UnstructuredValuesComeBackFromPythonAsTyped) {
    std::vector<std::string> values = Scripts;
    values.push_back(Repeated("Grüße 你好 Ωμέγα ", 19));   // 304 characters
    values.push_back(Repeated("plain ascii words ", 70));  // 1,260 bytes: must fold
    values.push_back("a=b? c_d =?UTF-8?Q?x?= und \"ü\"");
    values.push_back(" lead  two\tblanks" + std::string(100, ' ') + std::string(100, 'x') +
                     " ünd ");
    values.push_back("Zeile 1\r\nZeile 2 ü");
    values.push_back("Gr\xfc\xdf\x65");  // Latin-1 from a caller that is not the window
    std::vector<TRecord> records;
    for (const auto& value : values) {
        const auto lines = UnstructuredHeader("Subject", value);
        ExpectWireForm(lines, 78, true);
        records.push_back(HeaderRecord("text", lines));
    }
    const auto decoded = DecodeWithPython(records);
    for (std::size_t i = 0; i + 2 < values.size(); ++i) {
        EXPECT_EQ(decoded[i], (TFields{"", values[i]})) << records[i].Message;
    }
    EXPECT_EQ(decoded[values.size() - 2], (TFields{"", "Zeile 1  Zeile 2 ü"}));
    // Each undecodable byte is its own character: one replacement character each.
    EXPECT_EQ(decoded.back(), (TFields{"WordNotUtf8", "Gr\uFFFD\uFFFDe"}));
    // Only the word that needs it is encoded, in Q where Q is the shorter (RFC 2047 section 4).
    EXPECT_EQ(UnstructuredHeader("Subject", "Jürgen Schmidt"),
              (std::vector<std::string>{"Subject: =?UTF-8?Q?J=C3=BCrgen?= Schmidt"}));
}

TEST(HeaderEncoding, AddressListsEncodeOnlyTheDisplayNames) {
    std::vector<std::string> mapped;
    const auto map = [&mapped](std::string_view addrSpec) {
        mapped.emplace_back(addrSpec);
        return addrSpec == "jm@münchen.example" ? "jm@xn--mnchen-3ya.example"
                                                : std::string(addrSpec);
    };
    const std::vector<std::pair<std::string, TFields>> cases = {
        {"Jürgen Müller <jm@münchen.example>, \"Doe, Jane\" <jane@example.org>",
         {"", "Jürgen Müller", "jm@xn--mnchen-3ya.example", "Doe, Jane", "jane@example.org"}},
        {"\"Ωμέγα, Άλφα\" <a@example.gr>,plain@example.org, ,",
         {"", "Ωμέγα, Άλφα", "a@example.gr", "", "plain@example.org"}},
        {"\"Quote \\\"Q\\\" Müller\" <q@example.org>", {"", "Quote \"Q\" Müller", "q@example.org"}},
        {"张伟 <zw@example.cn>, 山田太郎 <yamada@example.jp>, عمر <omar@example.org>",
         {"", "张伟", "zw@example.cn", "山田太郎", "yamada@example.jp", "عمر", "omar@example.org"}},
        {"J. Ünal <u@example.org>, \"=?UTF-8?Q?x?= Ö\" <x@example.org>",
         {"", "J. Ünal", "u@example.org", "=?UTF-8?Q?x?= Ö", "x@example.org"}},
        {"\"Müller, Jürgen (Büro)\" <jm@example.org>",
         {"", "Müller, Jürgen (Büro)", "jm@example.org"}},
        // Python shows every run of blanks in a name as one, even inside an encoded-word.
        {"😀 Smiley 👍 <s@example.org>, \" Cafe\u0301 Bar \" <c@example.org>",
         {"", "😀 Smiley 👍", "s@example.org", " Cafe\u0301 Bar ", "c@example.org"}},
    };
    std::vector<TRecord> records;
    for (const auto& [value, expected] : cases) {
        const auto lines = AddressListHeader("To", value, map);
        ExpectWireForm(lines, 78, true);
        records.push_back(HeaderRecord("addresses", lines));
    }
    // A name too long for one encoded-word, read as plain text: Python's address parser
    // keeps the blank between encoded-words that RFC 2047 section 6.2 drops.
    const std::string longName = "Ελληνικό Υπουργείο Παιδείας και Θρησκευμάτων";
    const auto longLines = AddressListHeader("X-List", longName + " <a@example.gr>", map);
    ExpectWireForm(longLines, 78, true);
    records.push_back(HeaderRecord("text", longLines));

    const auto decoded = DecodeWithPython(records);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(decoded[i], cases[i].second) << records[i].Message;
    }
    EXPECT_EQ(decoded.back(), (TFields{"", longName + " <a@example.gr>"}));
    EXPECT_NE(records[0].Message.find(" <jm@xn--mnchen-3ya.example>, "), std::string::npos);
    EXPECT_EQ(std::count(mapped.begin(), mapped.end(), "plain@example.org"), 1);
}

TEST(MimeParams, LongAndNonAsciiFileNamesComeBackFromPython) {
    const std::string longType =
        "application/vnd.openxmlformats-officedocument.wordprocessingml.document";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"text/plain", "Bericht März.txt"},
        {"application/pdf", Repeated("äöüßΩж中", 25) + ".pdf"},  // 204 characters
        {"text/plain", "报告 2024年.docx"},
        {"image/png", "🎉 party.png"},
        {"text/plain", Repeated("a-long-ascii-name-", 5) + ".txt"},
        {"text/plain", "Quote \"x\" and back\\slash ü.txt"},
        {longType, "Report.docx"},
    };
    std::vector<TRecord> records;
    for (const auto& [type, name] : files) {
        const auto lines = AttachmentPartHeaders(type, name);
        ExpectWireForm(lines, std::max<std::size_t>(78, type.size() + 15), true);
        records.push_back({"file", Joined(lines, "\r\n") + "\r\n\r\nx\r\n"});
    }
    const auto decoded = DecodeWithPython(records);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(decoded[i], (TFields{"", files[i].second, files[i].second}))
            << records[i].Message;
    }
    EXPECT_NE(records.back().Message.find("fileName=\"Report.docx\""), std::string::npos);
}

TEST(BodyEncoding, ChoiceFollowsTheBytesAndTheServer) {
    using E = ETextEncoding;
    const struct {
        std::vector<std::string> Lines;
        E Plain;
        E With8BitMime;
    } cases[] = {
        {{}, E::AsIs, E::AsIs},
        {{"Hello", std::string(998, 'a')}, E::AsIs, E::AsIs},
        {{std::string(999, 'a')}, E::QuotedPrintable, E::QuotedPrintable},
        {{"Grüße", "from here"}, E::QuotedPrintable, E::EightBit},
        {{"üab"}, E::QuotedPrintable, E::EightBit},  // exactly half: not more than half
        {{"üa"}, E::Base64, E::EightBit},
        {{"Καλημέρα"}, E::Base64, E::EightBit},
        {{"Grüße", std::string(999, 'a')}, E::QuotedPrintable, E::QuotedPrintable},
        {{std::string("Gr\xc3\xbc\0e", 6)}, E::QuotedPrintable, E::QuotedPrintable},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseTextEncoding(c.Lines, false), c.Plain) << Joined(c.Lines, "|");
        EXPECT_EQ(ChooseTextEncoding(c.Lines, true), c.With8BitMime) << Joined(c.Lines, "|");
    }
    EXPECT_STREQ(TransferEncodingName(E::AsIs), "8bit");
    EXPECT_STREQ(TransferEncodingName(E::EightBit), "8bit");
    EXPECT_STREQ(TransferEncodingName(E::QuotedPrintable), "quoted-printable");
    EXPECT_STREQ(TransferEncodingName(E::Base64), "base64");
}

TEST(BodyEncoding, QuotedPrintableEscapesTrailingBlanksAndBreaksSoftly) {
    using E = ETextEncoding;
    EXPECT_EQ(EncodeText({"Grüße = 1 ", "tab\t", "."}, E::QuotedPrintable),
              (std::vector<std::string>{"Gr=C3=BC=C3=9Fe =3D 1=20", "tab=09", "."}));
    EXPECT_EQ(EncodeText({std::string(76, 'a'), std::string(77, 'b')}, E::QuotedPrintable),
              (std::vector<std::string>{std::string(76, 'a'), std::string(75, 'b') + "=", "bb"}));
    EXPECT_EQ(EncodeText({"Grüße"}, E::EightBit), (std::vector<std::string>{"Grüße"}));
}

// The text and the signature are encoded as one text without being joined first: wherever
// the text ends, the encoding is that of the joined lines.
TEST(BodyEncoding, TwoListsEncodeAsTheirLinesJoined) {
    const std::vector<std::string> lines{"Grüße", "", std::string(200, 'x'), "Καλη 🎉", "-- ", "e"};
    for (const auto encoding : {ETextEncoding::QuotedPrintable, ETextEncoding::Base64}) {
        for (std::size_t cut = 0; cut <= lines.size(); ++cut) {
            const TLineList first(std::vector<std::string>(lines.begin(), lines.begin() + cut));
            const TLineList second(std::vector<std::string>(lines.begin() + cut, lines.end()));
            EXPECT_EQ(EncodeText(first, second, encoding), EncodeText(lines, encoding))
                << TransferEncodingName(encoding) << " cut after line " << cut;
            EXPECT_EQ(ChooseTextEncoding(first, second, false), ChooseTextEncoding(lines, false));
        }
    }
}

TEST(BodyEncoding, EncodedTextsComeBackFromPythonAsTyped) {
    std::vector<std::vector<std::string>> texts;
    for (const auto& line : Scripts) {
        texts.push_back({line, "", "-- ", line});
    }
    texts.push_back({Repeated("Grüße Καλη 你好 🎉 ", 357)});  // a 5,000-character line
    texts.push_back({std::string(5000, 'x'), "ends in blanks   ", ".", "a=b?c_d ==", "\ttab\t"});
    std::vector<TRecord> records;
    std::vector<std::string> expected;
    for (const auto encoding : {ETextEncoding::QuotedPrintable, ETextEncoding::Base64}) {
        for (const auto& text : texts) {
            const auto lines = EncodeText(text, encoding).ToVector();
            ExpectWireForm(lines, 76, false);
            records.push_back({"body",
                               "Content-Type: text/plain; charset=UTF-8\r\n"
                               "Content-Transfer-Encoding: " +
                                   std::string(TransferEncodingName(encoding)) + "\r\n\r\n" +
                                   Joined(lines, "\r\n") + "\r\n"});
            // Both forms keep the line end the message puts after its last line.
            expected.push_back(Joined(text, "\r\n") + "\r\n");
        }
    }
    const auto decoded = DecodeWithPython(records);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(decoded[i], TFields{expected[i]}) << records[i].Message.substr(0, 300);
    }
}

}  // namespace
}  // namespace corvane::mail
