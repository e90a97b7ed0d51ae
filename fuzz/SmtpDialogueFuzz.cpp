// The whole dialogue, Connect, SendMail and Quit, against a server whose every byte comes
// from the fuzzer, through the in-memory socket: no network, time limits of a few
// milliseconds, and a blocked call only where the input asks for one.
//
// Input: four option bytes, then fields separated by 0xFF: From, To, Cc, Bcc, Subject, the
// text, an attachment's file name, and then the server's bytes, one field per segment that
// one Receive hands out.
//   byte 0: bits 0-1 what the socket does once the script is spent (close, fail, block,
//           close); bit 2 priority headers; bit 3 one attachment; bit 4 no host name (the
//           greeting uses the address literal); bits 5-6 security (none, STARTTLS, TLS,
//           STARTTLS); bit 7 sign in.
//   byte 1: Abort is called from inside the n-th event the engine raises (0: never).
//   byte 2: the socket takes only 16 * n bytes before Send blocks (0: no limit).
//   byte 3: bits 0-1 the TLS handshake: succeeds, fails, certificate untrusted, never ends;
//           bit 2 a delivery report and a read receipt asked for.
//
// With CORVANE_FUZZ_SHOW set in the environment, each run prints what was written and how
// it ended, to see what an input does.
//
// Properties:
// - every byte written is part of a CR LF line: no bare CR or LF, anywhere (a cut may only
//   leave the last line unfinished when the socket stopped taking bytes);
// - every line outside the message is a command the engine sends, and the message ends with
//   its "." line; no message line is a lone ".";
// - nothing is written after the dialogue failed (OnError) or was aborted, and after Quit the
//   connection is closed;
// - error and reply texts hold no CR or LF and never the password; an error's code is a
//   server's reply code (200 to 559) or one of the engine's own (101 to 113);
// - a message whose end was written is either accepted (and then no error is ever
//   reported, whatever QUIT meets) or failed with the server's refusal or 111, never lost;
// - with security asked for, no mail command, message byte or credential is written before
//   the handshake succeeded, credentials are never written without one, and the first
//   command inside TLS is a new EHLO; without, there is no handshake at all;
// - MAIL FROM and every RCPT TO ask for a delivery report exactly when one was wanted and
//   the server offered DSN, MAIL FROM with an envelope id of at most 100 xtext characters;
//   when it was wanted and not offered, DeliveryReportIgnored says so.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "MemorySocket.h"
#include "mail/WrenEmail.h"

namespace {

using namespace std::chrono_literals;
using corvane::fuzz::Shown;
using corvane::test::TMemorySocket;
namespace mail = corvane::mail;
namespace net = corvane::net;

constexpr std::string_view Password = "fuzz-Pa55word";
constexpr std::size_t OptionBytes = 4;
constexpr std::size_t MessageFields = 7;

// A small file to attach, made once for the process.
const std::string& AttachmentPath() {
    static const std::string path = [] {
        const std::string folder = corvane::fuzz::ScratchFolder().string();
        const std::string file = folder + "/attachment.bin";
        std::ofstream(file, std::ios::binary)
            << std::string("\x00\xff\r\n.line\r\n", 10) << std::string(120, 'x');
        return file;
    }();
    return path;
}

struct TOptions {
    TMemorySocket::EWhenDrained WhenDrained = TMemorySocket::EWhenDrained::Close;
    bool Priority = false;
    bool Attachment = false;
    bool NoHostName = false;
    mail::ESecurity Security = mail::ESecurity::None;
    bool SignIn = false;
    unsigned AbortAtEvent = 0;
    std::size_t SendCapacity = 0;
    unsigned Handshake = 0;
    bool Reports = false;
    // The fuzzer learns the password from the comparisons and types it into a field or a
    // reply; then it may show up anywhere.
    bool PasswordInInput = false;
};

TOptions ReadOptions(std::string_view bytes) {
    std::array<unsigned char, OptionBytes> b{};
    // A plain loop: GCC 12 at -O3 takes std::copy_n here for a write past the array.
    for (std::size_t i = 0; i < b.size() && i < bytes.size(); ++i) {
        b[i] = static_cast<unsigned char>(bytes[i]);
    }
    TOptions options;
    static constexpr TMemorySocket::EWhenDrained Drained[] = {
        TMemorySocket::EWhenDrained::Close, TMemorySocket::EWhenDrained::Fail,
        TMemorySocket::EWhenDrained::Block, TMemorySocket::EWhenDrained::Close};
    static constexpr mail::ESecurity Security[] = {mail::ESecurity::None, mail::ESecurity::StartTls,
                                                   mail::ESecurity::Tls, mail::ESecurity::StartTls};
    options.WhenDrained = Drained[b[0] & 3];
    options.Priority = (b[0] & 4) != 0;
    options.Attachment = (b[0] & 8) != 0;
    options.NoHostName = (b[0] & 16) != 0;
    options.Security = Security[(b[0] >> 5) & 3];
    options.SignIn = (b[0] & 128) != 0;
    options.AbortAtEvent = b[1];
    options.SendCapacity = std::size_t{b[2]} * 16;
    options.Handshake = b[3] & 3;
    options.Reports = (b[3] & 4) != 0;
    // The server's reply may be cut into reads anywhere, so a password the script spells
    // across a field separator still reaches the engine whole.
    std::string joined(bytes);
    std::erase(joined, '\xff');
    options.PasswordInInput = joined.find(Password) != std::string::npos;
    return options;
}

void ScriptHandshake(TMemorySocket& socket, unsigned handshake) {
    switch (handshake) {
        case 1:
            socket.StartTlsResult = {net::ESocketStatus::Failed,
                                     net::ETlsFailure::Handshake,
                                     "wrong version number",
                                     {}};
            break;
        case 2:
            socket.StartTlsResult = {net::ESocketStatus::Failed, net::ETlsFailure::Untrusted,
                                     "self-signed certificate", TMemorySocket::MadeUpCertificate()};
            break;
        case 3:
            socket.StartTlsBlocks = true;
            break;
        default:
            break;
    }
}

// What the engine did, recorded by its events.
struct TRecord {
    unsigned Events = 0;
    std::optional<std::size_t> WrittenAtError;
    std::optional<std::size_t> WrittenAtAbort;
    int ErrorCode = 0;
    std::string ErrorText;
    bool Aborted = false;
};

void AttachEvents(mail::TWrenSMTP& smtp, const TMemorySocket& socket, const TOptions& options,
                  TRecord& record) {
    const auto event = [&smtp, &socket, &record, at = options.AbortAtEvent] {
        if (++record.Events == at) {
            smtp.Abort();
            record.Aborted = true;
            record.WrittenAtAbort = socket.Written.size();
        }
    };
    const auto notify = [event](mail::TWrenSMTP&) { event(); };
    smtp.OnConnect = notify;
    smtp.OnQuit = notify;
    smtp.OnBeforeSend = notify;
    smtp.OnAfterSend = notify;
    smtp.OnEncodeEnd = notify;
    smtp.OnStartEncryption = notify;
    smtp.OnSignIn = notify;
    smtp.OnEncodeStart = [event](mail::TWrenSMTP&, const std::string&, std::int64_t) { event(); };
    smtp.OnEncodeProgress = [event](mail::TWrenSMTP&, std::uint16_t percent) {
        FUZZ_CHECK(percent <= 100, std::to_string(percent));
        event();
    };
    smtp.OnSendProgress = [event](mail::TWrenSMTP&, std::uint16_t percent, std::int64_t sent,
                                  std::int64_t total) {
        FUZZ_CHECK(percent <= 100 && sent <= total, std::to_string(percent));
        event();
    };
    smtp.OnError = [&socket, &record](mail::TWrenSMTP&, int code, const std::string& text) {
        FUZZ_CHECK(!record.WrittenAtError, "a second OnError " + std::to_string(code));
        record.WrittenAtError = socket.Written.size();
        record.ErrorCode = code;
        record.ErrorText = text;
    };
}

void FillMessage(mail::TWrenMsg& msg, const std::vector<std::string_view>& fields,
                 const TOptions& options) {
    msg.From = fields[0];
    msg.SendTo = fields[1];
    msg.CC = fields[2];
    msg.BCC = fields[3];
    msg.Subject = fields[4];
    msg.Text = {std::string(fields[5])};
    msg.IncludePriority = options.Priority;
    msg.RequestReadReceipt = options.Reports;
    if (options.Priority) {
        msg.Organization = fields[4];
        msg.Priority = static_cast<int>(fields[4].size() % 7);
    }
    if (options.Attachment) {
        mail::TAttachedFile& item = msg.AttachedFiles.AddFile(AttachmentPath());
        item.FileName = fields[6];
        item.ContentType = msg.AttachedFiles.LookupContentType(item.FileName);
    }
}

// ---- Reading what was written ------------------------------------------------------------

struct TLine {
    std::string_view Text;
    std::size_t Begin = 0;  // offset in Written
};

bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), line.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

bool IsBase64Text(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=';
    });
}

// Cuts Written into its CR LF lines; checks that no CR or LF stands alone. A last line
// without its end is allowed only when the socket stopped taking bytes there.
std::vector<TLine> WrittenLines(std::string_view written, bool cutShort) {
    std::vector<TLine> lines;
    std::size_t begin = 0;
    while (begin < written.size()) {
        const auto end = written.find("\r\n", begin);
        const std::string_view line =
            written.substr(begin, end == std::string_view::npos ? end : end - begin);
        if (end == std::string_view::npos) {
            FUZZ_CHECK(cutShort, "an unfinished last line: " + Shown(line));
            const std::string_view complete =
                line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
            FUZZ_CHECK(complete.find_first_of("\r\n") == std::string_view::npos, Shown(line));
            break;
        }
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos,
                   "a bare CR or LF inside a written line: " + Shown(line));
        lines.push_back({line, begin});
        begin = end + 2;
    }
    return lines;
}

bool IsCommand(std::string_view line) {
    static constexpr std::string_view Commands[] = {"HELO ", "EHLO ",    "MAIL FROM:<", "RCPT TO:<",
                                                    "AUTH ", "STARTTLS", "DATA",        "QUIT",
                                                    "RSET",  "NOOP"};
    return std::any_of(std::begin(Commands), std::end(Commands), [line](std::string_view command) {
        return StartsWithNoCase(line, command);
    });
}

struct TTranscript {
    std::size_t FirstMailCommand = std::string::npos;  // offset of MAIL FROM, RCPT, DATA
    std::size_t FirstCredential = std::string::npos;   // offset of AUTH
    std::vector<std::string_view> Envelope;            // the MAIL FROM and RCPT TO lines
};

// Walks the lines: commands, AUTH continuation lines, and the message after DATA.
TTranscript CheckTranscript(const std::vector<TLine>& lines) {
    TTranscript transcript;
    bool inMessage = false;
    bool afterAuth = false;
    for (const auto& [line, begin] : lines) {
        if (inMessage) {
            FUZZ_CHECK(line.size() <= 998,
                       "a message line of " + std::to_string(line.size()) + " bytes");
            inMessage = line != ".";
            continue;
        }
        if (afterAuth && !IsCommand(line)) {
            FUZZ_CHECK(IsBase64Text(line) || line == "*", "not an AUTH response: " + Shown(line));
            transcript.FirstCredential = std::min(transcript.FirstCredential, begin);
            continue;
        }
        FUZZ_CHECK(IsCommand(line), "not a command: " + Shown(line));
        afterAuth = StartsWithNoCase(line, "AUTH ");
        if (afterAuth) {
            transcript.FirstCredential = std::min(transcript.FirstCredential, begin);
        }
        const bool envelope =
            StartsWithNoCase(line, "MAIL FROM:") || StartsWithNoCase(line, "RCPT TO:");
        if (envelope || line == "DATA") {
            transcript.FirstMailCommand = std::min(transcript.FirstMailCommand, begin);
        }
        if (envelope) {
            transcript.Envelope.push_back(line);
        }
        inMessage = line == "DATA";
    }
    return transcript;
}

void CheckSecurity(const TMemorySocket& socket, const TOptions& options,
                   const TTranscript& transcript) {
    // Where the handshake succeeded, or npos when it never did.
    std::size_t encryptedFrom = std::string::npos;
    if (!socket.StartTlsCalls.empty() && options.Handshake == 0) {
        encryptedFrom = socket.StartTlsCalls.front().WrittenBefore;
    }
    if (options.Security != mail::ESecurity::None) {
        FUZZ_CHECK(transcript.FirstMailCommand == std::string::npos ||
                       transcript.FirstMailCommand >= encryptedFrom,
                   "a mail command before the connection was encrypted");
    }
    if (options.Security == mail::ESecurity::Tls) {
        FUZZ_CHECK(socket.StartTlsCalls.empty() || socket.StartTlsCalls.front().WrittenBefore == 0,
                   "implicit TLS began after bytes were written");
    }
    FUZZ_CHECK(options.Security != mail::ESecurity::None || socket.StartTlsCalls.empty(),
               "a handshake nobody asked for");
    FUZZ_CHECK(socket.StartTlsCalls.size() <= 1, "a second handshake on one connection");
    // What the server offered in plain text may have been forged: it is asked again.
    if (encryptedFrom != std::string::npos) {
        const std::string_view after = std::string_view(socket.Written).substr(encryptedFrom);
        FUZZ_CHECK(after.empty() || after.starts_with("EHLO "),
                   "after the handshake, first: " + Shown(after.substr(0, 40)));
    }
    FUZZ_CHECK(transcript.FirstCredential == std::string::npos ||
                   transcript.FirstCredential >= encryptedFrom,
               "credentials written without encryption");
    FUZZ_CHECK(options.PasswordInInput || socket.Written.find(Password) == std::string::npos,
               "the password in plain text");
}

bool IsXtext(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            const auto hex = [&](std::size_t at) {
                return at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at])) &&
                       !std::islower(static_cast<unsigned char>(text[at]));
            };
            if (!hex(i + 1) || !hex(i + 2)) {
                return false;
            }
            i += 2;
        } else if (text[i] < '!' || text[i] > '~' || text[i] == '=') {
            return false;
        }
    }
    return true;
}

// The parameters stand after the address's closing bracket; no address the engine sends
// ends a line with one of ours, and no parameter holds a '>'.
void CheckDeliveryReport(const mail::TWrenSMTP& smtp, const TOptions& options,
                         const TTranscript& transcript) {
    const bool offered = smtp.Capabilities().Has("DSN");
    const bool asked = options.Reports && offered;
    for (const std::string_view line : transcript.Envelope) {
        const std::string_view parameters = line.substr(std::min(line.rfind('>'), line.size()) + 1);
        if (StartsWithNoCase(line, "RCPT TO:")) {
            FUZZ_CHECK(parameters == (asked ? " NOTIFY=SUCCESS,FAILURE" : ""), Shown(line));
            continue;
        }
        constexpr std::string_view Ret = " RET=HDRS ENVID=";
        const auto at = parameters.find(Ret);
        FUZZ_CHECK((at != std::string_view::npos) == asked, Shown(line));
        if (at != std::string_view::npos) {
            const std::string_view id = parameters.substr(at + Ret.size());
            FUZZ_CHECK(!id.empty() && id.size() <= 100 && IsXtext(id), "ENVID " + Shown(id));
        }
    }
    FUZZ_CHECK(transcript.Envelope.empty() ||
                   smtp.DeliveryReportIgnored == (options.Reports && !offered),
               "DeliveryReportIgnored is " + std::to_string(smtp.DeliveryReportIgnored));
}

void CheckTexts(const mail::TWrenSMTP& smtp, const TOptions& options, const TRecord& record) {
    const int code = record.ErrorCode;
    FUZZ_CHECK(!record.WrittenAtError || (code >= 101 && code <= 113) ||
                   (code >= 200 && code <= 559 && code % 100 <= 59),
               "error code " + std::to_string(code));
    for (const std::string* text : {&smtp.ReplyCode, &smtp.ReplyText, &record.ErrorText}) {
        FUZZ_CHECK(text->find_first_of("\r\n") == std::string::npos, Shown(*text));
        FUZZ_CHECK(options.PasswordInInput || text->find(Password) == std::string::npos,
                   "the password in a text");
    }
}

// Dot transparency keeps "CR LF . CR LF" out of the message itself: written, it is the end.
void CheckOutcome(const mail::TWrenSMTP& smtp, const TMemorySocket& socket, const TRecord& record) {
    const bool endWritten = socket.Written.find("\r\n.\r\n") != std::string::npos;
    FUZZ_CHECK(!smtp.Accepted || (endWritten && !record.WrittenAtError),
               "accepted, yet error " + std::to_string(record.ErrorCode));
    if (endWritten && !smtp.Accepted) {
        FUZZ_CHECK(record.WrittenAtError && (record.ErrorCode == mail::TWrenSMTP::ErrorUnconfirmed ||
                                             record.ErrorCode >= 200),
                   "the message's end went, and then error " + std::to_string(record.ErrorCode));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = corvane::fuzz::AsText(data, size);
    const TOptions options = ReadOptions(input);
    const auto fields = corvane::fuzz::SplitFields(
        input.substr(std::min(input.size(), OptionBytes)), MessageFields + 1, true);

    auto owned = std::make_unique<TMemorySocket>();
    TMemorySocket& socket = *owned;
    for (std::size_t i = MessageFields; i < fields.size(); ++i) {
        socket.Incoming(std::string(fields[i]));
    }
    socket.WhenDrained = options.WhenDrained;
    if (options.SendCapacity > 0) {
        socket.SendCapacity = options.SendCapacity;
    }
    ScriptHandshake(socket, options.Handshake);

    mail::TWrenSMTP smtp(std::move(owned));
    smtp.Host = "mail.example.org";
    smtp.Security = options.Security;
    smtp.RequestDeliveryReport = options.Reports;
    if (options.SignIn) {
        smtp.UserName = "fuzz-user";
        smtp.Password = Password;
    }
    for (auto* limit : {&smtp.ConnectTimeout, &smtp.CommandTimeout, &smtp.DataTimeout,
                        &smtp.DataEndTimeout, &smtp.SendTimeout, &smtp.QuitTimeout}) {
        *limit = 2ms;
    }
    std::uint64_t draws = 0;
    smtp.Random = [&draws] { return 0x9e3779b97f4a7c15ull * ++draws; };
    smtp.Clock = [] { return mail::TLocalTime{1765180252, 3600}; };
    smtp.LocalHostName = [&options] {
        return options.NoHostName ? std::string() : std::string("fuzz.test");
    };
    TRecord record;
    AttachEvents(smtp, socket, options, record);

    mail::TWrenMsg msg;
    FillMessage(msg, fields, options);

    smtp.Connect();
    smtp.SendMail(msg);
    smtp.Quit();

    if (std::getenv("CORVANE_FUZZ_SHOW") != nullptr) {
        std::fprintf(stderr, "written: %s\nerror: %d %s; %zu handshakes, %u events\n",
                     Shown(socket.Written).c_str(), record.ErrorCode,
                     Shown(record.ErrorText).c_str(), socket.StartTlsCalls.size(), record.Events);
    }
    FUZZ_CHECK(!socket.IsOpen() && !smtp.Connected, "the connection is still open after Quit");
    if (record.WrittenAtError) {
        FUZZ_CHECK(socket.Written.size() == *record.WrittenAtError,
                   "written after OnError " + std::to_string(record.ErrorCode) + ": " +
                       Shown(socket.Written.substr(*record.WrittenAtError)));
    }
    if (record.WrittenAtAbort) {
        FUZZ_CHECK(socket.Written.size() == *record.WrittenAtAbort,
                   "written after Abort: " + Shown(socket.Written.substr(*record.WrittenAtAbort)));
    }
    const bool cutShort = options.SendCapacity > 0 && socket.Written.size() == options.SendCapacity;
    const auto transcript = CheckTranscript(WrittenLines(socket.Written, cutShort));
    CheckSecurity(socket, options, transcript);
    CheckDeliveryReport(smtp, options, transcript);
    CheckTexts(smtp, options, record);
    CheckOutcome(smtp, socket, record);
    return 0;
}
