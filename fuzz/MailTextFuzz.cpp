// The text functions that take what a user types: the envelope of From, To, Cc and Bcc,
// extra header lines, the server field, header hygiene. Input: To, Cc, Bcc and one more text
// (From, a header line, a server), separated by 0xFF.
//
// Properties, each the promise a caller relies on:
// - every address MakeEnvelope accepts is a mailbox typed in its field, and makes exactly
//   one well-formed command: "RCPT TO:<" path ">" CR LF with no other line break, no NUL,
//   and no blank or angle bracket outside a quoted local part, so no parameter or second
//   command can ride on it;
// - an extra header line that ExtraHeaderProblem accepts becomes one header field of its
//   own: its first line starts with its name and a colon, never with a blank (it continues
//   nothing), and no line holds CR or LF or passes 998 bytes.
// - SanitizeHeaderValue and QuotedStringContent leave no CR or LF; the quoted-string content
//   read back (backslash escapes resolved) is the value with CR and LF as blanks.
// - SplitAtLineBreaks gives lines without CR or LF, one more than the line breaks.
// - IsIPAddress holds only for what the socket's numeric lookup reads as that same IPv4
//   address; PortNumber is 1..65535; ParseServerAddress gives back what it was given,
//   formatted again, when the port is a number.

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <string>

#include "FuzzSupport.h"
#include "mail/AddressList.h"
#include "mail/ExtraHeaders.h"
#include "mail/MailText.h"

namespace {

using corvane::fuzz::Shown;
namespace mail = corvane::mail;

bool HoldsAny(std::string_view text, std::string_view bytes) {
    return text.find_first_of(bytes) != std::string_view::npos;
}

constexpr std::string_view LineBreakOrNul("\r\n\0", 3);

// The path of a command ends at its last '>' only when nothing outside a quoted local part
// could end it earlier or add to it.
bool IsOnePath(std::string_view address) {
    bool quoted = false;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        if (quoted && c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '<' || c == '>')) {
            return false;
        }
    }
    return !quoted;
}

void CheckEnvelope(std::string_view from, std::string_view to, std::string_view cc, std::string_view bcc) {
    const mail::TEnvelope envelope = mail::MakeEnvelope(from, to, cc, bcc);
    if (!envelope.Problem.empty()) {
        FUZZ_CHECK(!HoldsAny(envelope.Problem, LineBreakOrNul), Shown(envelope.Problem));
        return;
    }
    std::vector<std::string> addresses = envelope.Recipients;
    addresses.push_back(envelope.Sender);
    FUZZ_CHECK(from.find(envelope.Sender) != std::string_view::npos, Shown(envelope.Sender));
    for (const auto& address : addresses) {
        const std::string command = "RCPT TO:<" + address + ">\r\n";
        FUZZ_CHECK(command.find_first_of(LineBreakOrNul) == command.size() - 2, Shown(command));
        FUZZ_CHECK(mail::IsMailbox(address) && IsOnePath(address), Shown(command));
    }
    for (std::size_t i = 0; i + 1 < addresses.size(); ++i) {
        const std::string& address = addresses[i];
        FUZZ_CHECK(to.find(address) != std::string_view::npos || cc.find(address) != std::string_view::npos ||
                       bcc.find(address) != std::string_view::npos,
                   "not typed: " + Shown(address));
    }
}

void CheckExtraHeader(std::string_view line) {
    if (line.empty() || !mail::ExtraHeaderProblem(line).empty()) {
        return;
    }
    const auto lines = mail::ExtraHeaderField(line);
    const std::string name(line.substr(0, line.find(':') + 1));
    FUZZ_CHECK(!lines.empty() && lines[0].starts_with(name) && name[0] != ' ' && name[0] != '\t',
               Shown(line));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(!HoldsAny(lines[i], LineBreakOrNul) && lines[i].size() <= 998, Shown(lines[i]));
        FUZZ_CHECK(i == 0 || lines[i].starts_with(' ') || lines[i].starts_with('\t'), Shown(lines[i]));
    }
}

// The content of a quoted-string with its quoted-pairs resolved; false when it holds a bare
// '"' or ends in a lone '\', either of which would end or break the string.
bool Unquote(std::string_view content, std::string& value) {
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '"') {
            return false;
        }
        if (content[i] == '\\') {
            if (++i == content.size()) {
                return false;
            }
        }
        value += content[i];
    }
    return true;
}

void CheckHeaderHygiene(std::string_view value) {
    const std::string clean = mail::SanitizeHeaderValue(value);
    FUZZ_CHECK(clean.size() == value.size() && !HoldsAny(clean, "\r\n"), Shown(clean));

    std::string expected(value);
    std::replace_if(
        expected.begin(), expected.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    const std::string quoted = mail::QuotedStringContent(value);
    std::string unquoted;
    FUZZ_CHECK(!HoldsAny(quoted, "\r\n"), Shown(quoted));
    FUZZ_CHECK(Unquote(quoted, unquoted) && unquoted == expected, Shown(quoted));

    std::size_t breaks = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\n' ||
            (value[i] == '\r' && (i + 1 == value.size() || value[i + 1] != '\n'))) {
            ++breaks;
        }
    }
    const auto lines = mail::SplitAtLineBreaks({std::string(value)});
    FUZZ_CHECK(lines.size() == breaks + 1, Shown(value));
    for (const auto& line : lines) {
        FUZZ_CHECK(!HoldsAny(line, "\r\n"), Shown(line));
    }
}

// The engine tells the socket to look Host up as a number when IsIPAddress holds; that
// lookup, of the host's LookupForm, must then find exactly the address the four decimal
// parts name, leading zeros or not.
void CheckIPAddress(std::string_view text) {
    if (!mail::IsIPAddress(text)) {
        return;
    }
    std::array<unsigned, 4> parts{};
    std::size_t part = 0;
    for (const char c : text) {
        FUZZ_CHECK((c >= '0' && c <= '9') || (c == '.' && part < 3), Shown(text));
        c == '.' ? void(++part) : void(parts[part] = parts[part] * 10 + unsigned(c - '0'));
    }
    FUZZ_CHECK(part == 3, Shown(text));
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(mail::LookupForm(text).c_str(), nullptr, &hints, &found);
    FUZZ_CHECK(rc == 0 && found != nullptr, "no numeric lookup of " + Shown(text));
    std::array<char, INET_ADDRSTRLEN> looked{};
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr,
                looked.data(), looked.size());
    ::freeaddrinfo(found);
    const std::string decimal = std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
                                std::to_string(parts[2]) + "." + std::to_string(parts[3]);
    FUZZ_CHECK(decimal == looked.data(), Shown(text) + " is looked up as " + looked.data());
}

bool IsDecimal(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void CheckServerAddress(std::string_view text) {
    const int port = mail::PortNumber(text);
    FUZZ_CHECK(port >= 1 && port <= 65535, Shown(text));

    const mail::TServerAddress address = mail::ParseServerAddress(text);
    FUZZ_CHECK(address.HasPort ? !address.Port.empty() : address.Port == "25", Shown(text));
    if ((address.HasPort && !IsDecimal(address.Port)) ||
        address.Host.find(']') != std::string::npos) {
        return;  // no server the program could reach; how the rest was cut does not matter
    }
    // Formatted the way a user would type it, the host and port read back unchanged.
    const bool bracketed = address.Host.find(':') != std::string::npos ||
                           address.Host.starts_with('[') ||
                           mail::TrimBlanks(address.Host) != address.Host;
    const std::string typed = (bracketed ? "[" + address.Host + "]" : address.Host) +
                              (address.HasPort ? ":" + address.Port : "");
    const mail::TServerAddress again = mail::ParseServerAddress(typed);
    FUZZ_CHECK(again.Host == address.Host && again.Port == address.Port &&
                   again.HasPort == address.HasPort,
               Shown(text) + " -> " + Shown(typed) + " -> host " + Shown(again.Host));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = corvane::fuzz::SplitFields(corvane::fuzz::AsText(data, size), 4);
    CheckEnvelope(fields[3], fields[0], fields[1], fields[2]);
    CheckExtraHeader(fields[3]);
    for (const auto field : fields) {
        CheckHeaderHygiene(field);
    }
    CheckIPAddress(fields[3]);
    CheckServerAddress(fields[3]);
    return 0;
}
