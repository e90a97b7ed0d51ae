// What the engine judges before it connects, and before it encodes: the message's addresses,
// its extra header lines, the bytes of its text, its attachments, and what they will take
// against the server's SIZE. A message that cannot be sent costs no connection and no
// encoding, and nothing the user did not write reaches the wire.

#include <sys/stat.h>

#include <cstring>

#include "mail/AttachmentFile.h"
#include "mail/Base64.h"
#include "mail/ExtraHeaders.h"
#include "mail/MailText.h"
#include "mail/ScreenText.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

constexpr std::size_t ShownLineLength = 60;

// A line of the user's, short enough for the status bar and safe on any screen.
std::string Shown(std::string_view line) {
    const bool cut = line.size() > ShownLineLength;
    return ScreenSafe(line.substr(0, ShownLineLength)) + (cut ? "..." : "");
}

// The number (from 1) of the line of Lines that holds the byte at Offset of Lines.Text().
std::size_t LineHolding(const TLineList& lines, std::size_t offset) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < lines.Count(); ++i) {
        end += lines[i].size();
        if (offset < end) {
            return i + 1;
        }
    }
    return lines.Count();
}

// Bytes that the Base64 lines of a file of Size bytes take in the message, CR LF included.
std::uint64_t EncodedPartSize(std::uint64_t size) {
    const std::uint64_t lines = (size + Base64LineInputBytes - 1) / Base64LineInputBytes;
    return (size + 2) / 3 * 4 + 2 * lines;
}

}  // namespace

bool TWrenSMTP::CheckMessage(const TWrenMsg& msg) {
    Failed = false;
    Accepted = false;
    return CheckedEnvelope(msg).has_value();
}

std::optional<TEnvelope> TWrenSMTP::CheckedEnvelope(const TWrenMsg& msg) {
    TEnvelope envelope = MakeEnvelope(msg.From, msg.SendTo, msg.CC, msg.BCC);
    if (envelope.Problem.empty()) {
        // Only the headers carry Reply-To, but a broken one would go out as typed.
        envelope.Problem = AddressListProblem(msg.ReplyTo);
    }
    if (!envelope.Problem.empty()) {
        Fail(ErrorInvalidAddress, envelope.Problem);
        return std::nullopt;
    }
    if (!CheckExtraHeaders(msg) || !CheckTextBytes(msg) || !CheckAttachments(msg)) {
        return std::nullopt;
    }
    return envelope;
}

bool TWrenSMTP::CheckExtraHeaders(const TWrenMsg& msg) {
    for (const std::string& line : SplitAtLineBreaks(msg.ExtraHeaders)) {
        if (const std::string problem = ExtraHeaderProblem(line); !problem.empty()) {
            Fail(ErrorInvalidContent, "The extra header line \"" + Shown(line) + "\" cannot be sent: " + problem + ".");
            return false;
        }
    }
    return true;
}

bool TWrenSMTP::CheckTextBytes(const TWrenMsg& msg) {
    // SMTP carries no NUL (RFC 5321 section 4.5.2); a reader would cut the text there.
    const std::string_view text = msg.Text.Text();
    if (const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size())) {
        const auto offset = static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
        Fail(ErrorInvalidContent, "Line " + std::to_string(LineHolding(msg.Text, offset)) +
                                      " of the text holds a NUL character; remove it and send again.");
        return false;
    }
    for (std::size_t i = 0; i < msg.Signature.size(); ++i) {
        if (msg.Signature[i].find('\0') != std::string::npos) {
            Fail(ErrorInvalidContent, "Line " + std::to_string(i + 1) +
                                          " of the signature holds a NUL character; remove it and send again.");
            return false;
        }
    }
    return true;
}

bool TWrenSMTP::CheckAttachments(const TWrenMsg& msg) {
    for (std::size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        const TAttachedFile& item = msg.AttachedFiles[i];
        if (const std::string problem = TAttachmentFile(item.PathName).Problem(item.FileName); !problem.empty()) {
            Fail(ErrorFileRead, problem);
            return false;
        }
    }
    return true;
}

bool TWrenSMTP::AttachmentsFitServerSize(const TWrenMsg& msg) {
    const auto limit = m_capabilities.SizeLimit();
    if (!limit) {
        return true;
    }
    // Less than the message will be, never more: a message that fits is never refused here,
    // and one too large is refused before a byte of it is encoded. The exact size is
    // checked again once the message is composed.
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        struct stat status {};
        if (::stat(msg.AttachedFiles[i].PathName.c_str(), &status) == 0) {
            size += EncodedPartSize(static_cast<std::uint64_t>(status.st_size));
        }
    }
    if (size <= *limit) {
        return true;
    }
    Fail(ErrorMessageTooLarge, "The attachments alone make the message " + std::to_string(size) +
                                   " bytes; the server takes at most " + std::to_string(*limit) + ".");
    return false;
}

}  // namespace corvane::mail
