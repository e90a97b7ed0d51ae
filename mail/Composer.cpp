// Composition of the message text: the header block, the body, and for a message with
// attachments the MIME multipart/mixed layout (RFC 2046 section 5.1.3) with Base64 parts
// (RFC 2045 section 6.8).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "mail/AttachmentFile.h"
#include "mail/Base64.h"
#include "mail/BodyEncoding.h"
#include "mail/ExtraHeaders.h"
#include "mail/HeaderEncoding.h"
#include "mail/Idna.h"
#include "mail/MailText.h"
#include "mail/MimeParams.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

constexpr std::string_view BoundaryPrefix = "Message-Postal-ID-";
constexpr std::size_t BoundaryDigits = 12;
constexpr std::string_view ReadReceiptField = "Disposition-Notification-To";

// Full blocks of 40 lines are what progress is computed over; the tail after the last full
// block reports no progress of its own.
constexpr std::size_t ProgressBlockBytes = 40 * Base64LineInputBytes;  // 2280
constexpr std::size_t ReadChunkBytes = 456 * ProgressBlockBytes;      // about 1 MiB
// A chunk's lines as they are spooled: 76 characters and CR LF for every 57 bytes read.
constexpr std::size_t EncodedChunkBytes = ReadChunkBytes / Base64LineInputBytes * (Base64LineLength + 2);

// Encodes Count bytes as Base64 lines, each with its CR LF, into Out (room for
// EncodedChunkBytes when Count is at most ReadChunkBytes); returns the bytes written. Full
// lines are encoded a group at a time, in one call, and then spread out into lines: 57 bytes
// are 19 whole triplets, so a group's lines are its encoding cut into 76-character pieces,
// and one long call runs the vector encoder where a call per line would spend about a
// quarter of its time in the scalar tail.
std::size_t EncodeLinesWithBreaks(const std::uint8_t* in, std::size_t count, char* out) {
    constexpr std::size_t GroupLines = 64;
    char group[GroupLines * Base64LineLength];
    char* const start = out;
    const auto endLine = [&out] {
        *out++ = '\r';
        *out++ = '\n';
    };
    const std::size_t fullLines = count / Base64LineInputBytes;
    for (std::size_t first = 0; first < fullLines; first += GroupLines) {
        const std::size_t take = std::min(GroupLines, fullLines - first);
        EncodeBase64(in + first * Base64LineInputBytes, take * Base64LineInputBytes, group);
        for (std::size_t line = 0; line < take; ++line) {
            std::memcpy(out, group + line * Base64LineLength, Base64LineLength);
            out += Base64LineLength;
            endLine();
        }
    }
    if (const std::size_t rest = count - fullLines * Base64LineInputBytes; rest > 0) {
        EncodeBase64(in + fullLines * Base64LineInputBytes, rest, out);
        out += Base64EncodedLength(rest);
        endLine();
    }
    return static_cast<std::size_t>(out - start);
}

bool HoldsLineBreak(std::string_view text) {
    // An empty text may have no bytes behind it at all, and memchr must not see a null.
    return !text.empty() && (std::memchr(text.data(), '\r', text.size()) != nullptr ||
                             std::memchr(text.data(), '\n', text.size()) != nullptr);
}

// The typed text as the message will carry it (SplitAtLineBreaks), when that differs from
// the text as it stands. Text typed in the window or read by corvane-send is split already:
// then it goes out where it stands, since for a long text a copy would cost as much as the
// rest of the composing.
std::optional<TLineList> SplitWhereNeeded(const TLineList& entries) {
    if (!HoldsLineBreak(entries.Text())) {
        return std::nullopt;
    }
    TLineList out;
    out.Reserve(entries.TextSize(), entries.Count());
    for (const std::string_view entry : entries) {
        if (!HoldsLineBreak(entry)) {
            out.Add(entry);
            continue;
        }
        for (const auto& line : SplitAtLineBreaks({std::string(entry)})) {
            out.Add(line);
        }
    }
    return out;
}

// The signature below one empty line, as the reader will see it after the text.
TLineList SignatureBlock(const TWrenMsg& msg) {
    TLineList block;
    const std::vector<std::string> signature = SplitAtLineBreaks(msg.Signature);
    if (!signature.empty()) {
        block.Add({});
        for (const auto& line : signature) {
            block.Add(line);
        }
    }
    return block;
}

struct TTextPart {
    ETextEncoding Encoding = ETextEncoding::AsIs;
    TComposedMessage Lines;
};

// The text and the signature, encoded for the wire. Text sent as it stands is referenced,
// so Msg must outlive the result unchanged.
TTextPart TextPart(const TWrenMsg& msg, bool server8BitMime) {
    std::optional<TLineList> split = SplitWhereNeeded(msg.Text);
    TLineList signature = SignatureBlock(msg);
    TTextPart part;
    part.Encoding = ChooseTextEncoding(split ? *split : msg.Text, signature, server8BitMime);
    if (part.Encoding == ETextEncoding::AsIs || part.Encoding == ETextEncoding::EightBit) {
        split ? part.Lines.AddOwned(std::move(*split)) : part.Lines.AddReferenced(msg.Text);
        part.Lines.AddOwned(std::move(signature));
        return part;
    }
    part.Lines.AddOwned(EncodeText(split ? *split : msg.Text, signature, part.Encoding));
    return part;
}

bool AnyLineStartsWith(const TComposedMessage& lines, std::string_view prefix) {
    return !lines.ForEachLine([prefix](std::string_view line) { return !line.starts_with(prefix); });
}

// A host name fit for the right side of a Message-ID (RFC 5322 dot-atom-text).
bool IsPlainHostName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.back() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.';
           });
}

// The addr-spec as the header carries it: its domain as an A-label (an invalid domain is
// left as typed; the envelope check refuses it before anything is sent).
std::string HeaderAddress(std::string_view address) {
    auto ascii = AddressToAscii(address);
    return ascii ? std::move(*ascii) : std::string(address);
}

// RFC 8098 section 2.1: the receipt goes to the sender. Without exactly one mailbox in From
// there is nobody to send it to, and a header naming nobody would be malformed.
bool AsksForReadReceipt(const TWrenMsg& msg) {
    if (!msg.RequestReadReceipt) {
        return false;
    }
    const TAddressList sender = ParseAddressList(SanitizeHeaderValue(msg.From));
    return sender.Invalid.empty() && sender.Mailboxes.size() == 1;
}

void AddLines(std::vector<std::string>& headers, std::vector<std::string> lines) {
    std::move(lines.begin(), lines.end(), std::back_inserter(headers));
}

}  // namespace

std::string TWrenSMTP::MakeBoundary() {
    std::string boundary(BoundaryPrefix);
    for (std::size_t i = 0; i < BoundaryDigits; ++i) {
        // A uniform draw below 9: the upper bits of the product of 32 random bits and 9.
        const auto digit = static_cast<unsigned>(((Random() >> 32) * 9) >> 32);
        boundary += static_cast<char>('0' + digit);
    }
    return boundary;
}

std::string TWrenSMTP::MessageId(const std::string& sender) {
    const TLocalTime now = Clock();
    std::tm utc{};
    gmtime_r(&now.Utc, &utc);
    char unique[64];
    std::snprintf(unique, sizeof unique, "%04d%02d%02d%02d%02d%02d.%016llx", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned long long>(Random()));
    // The sender's domain makes the identifier unique the world over; a bare machine name
    // such as "vm" does not, and spam filters score it.
    const TAddressList from = ParseAddressList(sender);
    const std::string address = from.Mailboxes.empty() ? std::string() : from.Mailboxes.front().Address;
    std::string host = DomainToAscii(AddressDomain(address)).value_or("");
    if (!IsPlainHostName(host) || host.find('.') == std::string::npos) {
        host = LocalHostName();
    }
    if (!IsPlainHostName(host)) {
        host = m_socket->LocalAddressLiteral();
    }
    if (host.empty()) {
        host = "localhost";
    }
    return "<" + std::string(unique) + "@" + host + ">";
}

bool TWrenSMTP::ComposeHeaders(const TWrenMsg& msg, std::vector<std::string>& headers,
                               std::string& messageId) {
    const auto text = [&headers](std::string_view name, const std::string& value) {
        AddLines(headers, UnstructuredHeader(name, SanitizeHeaderValue(value)));
    };
    const auto addresses = [&headers](std::string_view name, const std::string& value) {
        AddLines(headers, AddressListHeader(name, SanitizeHeaderValue(value), HeaderAddress));
    };
    const auto ifSet = [](const auto& add, std::string_view name, const std::string& value) {
        if (!value.empty()) {
            add(name, value);
        }
    };
    ifSet(addresses, "Reply-To", msg.ReplyTo);
    ifSet(text, "In-Reply-To", msg.InReplyTo);
    ifSet(text, "Organization", msg.Organization);
    if (msg.IncludePriority) {
        const int priority = std::clamp(msg.Priority, 1, 5);
        headers.push_back("X-Priority: " + std::to_string(priority));
        headers.push_back("X-MSMail-Priority: " + std::string(PriorityName(priority)));
    }
    ifSet(text, "X-Mailer", msg.Xmailer);
    if (AsksForReadReceipt(msg)) {
        // Written as From is, so the reader's program sees the very sender it shows.
        addresses(ReadReceiptField, msg.From);
    }

    // RFC 5322 section 3.6 requires a Date; providers refuse mail without a Message-ID.
    const TLocalTime now = Clock();
    headers.push_back("Date: " + FormatMailDate(now.Utc, now.OffsetSeconds));
    messageId = MessageId(msg.From);
    headers.push_back("Message-ID: " + messageId);

    addresses("From", msg.From);
    ifSet(addresses, "To", msg.SendTo);
    ifSet(addresses, "CC", msg.CC);
    ifSet(text, "Subject", msg.Subject);
    return !Stopped();
}

void TWrenSMTP::StartCopy(const TWrenMsg& msg) {
    m_copying = static_cast<bool>(OnCopyLine);
    if (!m_copying || msg.BCC.empty()) {
        return;
    }
    for (const std::string& line : AddressListHeader("Bcc", SanitizeHeaderValue(msg.BCC), HeaderAddress)) {
        m_copying = m_copying && OnCopyLine(line);
    }
}

bool TWrenSMTP::AppendAttachmentParts(const TWrenMsg& msg, const std::string& boundary,
                                      TComposedMessage& body) {
    const std::string delimiter = "--" + boundary;
    for (std::size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        if (Stopped()) {
            return false;
        }
        const TAttachedFile& item = msg.AttachedFiles[i];
        body.Add("");
        body.Add(delimiter);
        for (auto& line : AttachmentPartHeaders(item.ContentType, item.FileName)) {
            body.Add(std::move(line));
        }
        body.Add("");
        if (!EncodeAttachment(item, body) || Stopped()) {
            return false;
        }
    }
    body.Add("");
    body.Add(delimiter + "--");
    return true;
}

std::optional<TComposedMessage> TWrenSMTP::BuildMessageLines(TWrenMsg& msg) {
    // The message keeps its own spool; the engine keeps none between messages, so the file
    // is gone as soon as the message it holds is.
    m_spool.reset();
    std::optional<TComposedMessage> message = ComposeMessage(msg);
    m_spool.reset();
    return message;
}

std::optional<TComposedMessage> TWrenSMTP::ComposeMessage(const TWrenMsg& msg) {
    TTextPart text = TextPart(msg, m_capabilities.Has("8BITMIME"));
    const ETextEncoding encoding = text.Encoding;

    std::vector<std::string> headers;
    std::string messageId;
    if (!ComposeHeaders(msg, headers, messageId)) {
        return std::nullopt;
    }
    // Text beyond ASCII, or with lines too long for SMTP, says what it is (RFC 2045).
    std::vector<std::string> textLabels;
    if (encoding != ETextEncoding::AsIs) {
        textLabels = {"Content-Type: text/plain; charset=UTF-8",
                      std::string("Content-Transfer-Encoding: ") + TransferEncodingName(encoding)};
    }

    TComposedMessage body;
    body.EightBitBody = encoding == ETextEncoding::EightBit;
    const auto addText = [&] { body.Append(std::move(text.Lines)); };

    if (msg.AttachedFiles.Count() > 0) {
        // A text line that looked like the delimiter would cut the text part short.
        std::string boundary = MakeBoundary();
        while (AnyLineStartsWith(text.Lines, "--" + boundary)) {
            boundary = MakeBoundary();
        }
        headers.push_back("MIME-Version: 1.0");
        headers.push_back("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
        body.Add("--" + boundary);
        if (textLabels.empty()) {
            body.Add("Content-Type: text/plain");
            body.Add("Content-Transfer-Encoding: 8bit");
        } else {
            body.Add(textLabels[0]);
            body.Add(textLabels[1]);
        }
        body.Add("");
        addText();
        if (!AppendAttachmentParts(msg, boundary, body)) {
            return std::nullopt;
        }
    } else {
        if (!textLabels.empty()) {
            headers.push_back("MIME-Version: 1.0");
            AddLines(headers, std::move(textLabels));
        }
        addText();
    }

    // An empty line would end the header block early; any other line that is no header
    // was refused before connecting (CheckMessage). A receipt asked for by the option is
    // asked for once, to the sender, whatever an extra line says.
    const bool ownReceipt = AsksForReadReceipt(msg);
    for (const auto& line : SplitAtLineBreaks(msg.ExtraHeaders)) {
        if (!line.empty() && ExtraHeaderProblem(line).empty() &&
            !(ownReceipt && IsFieldNamed(line, ReadReceiptField))) {
            AddLines(headers, ExtraHeaderField(line));
        }
    }
    if (Stopped()) {
        return std::nullopt;
    }

    TComposedMessage result;
    result.EightBitBody = body.EightBitBody;
    result.MessageId = std::move(messageId);
    for (auto& line : headers) {
        result.Add(std::move(line));
    }
    result.Add("");
    result.Append(std::move(body));
    return result;
}

TSpoolFile* TWrenSMTP::Spool() {
    if (!m_spool) {
        m_spool = std::make_shared<TSpoolFile>(SpoolFolder);
    }
    if (const std::string& problem = m_spool->Problem(); !problem.empty()) {
        Fail(ErrorTemporaryFile, problem);
        return nullptr;
    }
    return m_spool.get();
}

bool TWrenSMTP::EncodeAttachment(const TAttachedFile& item, TComposedMessage& into) {
    TAttachmentFile file(item.PathName);
    if (const std::string problem = file.Problem(item.FileName); !problem.empty()) {
        Fail(ErrorFileRead, problem);
        return false;
    }
    TSpoolFile* const spool = Spool();
    if (spool == nullptr) {
        return false;
    }
    // Bytes read while the file is being written would go out as a damaged part.
    const auto changed = [this, &item] {
        Fail(ErrorFileRead, "File " + item.FileName + " changed while it was read; send it again once it is written.");
        return false;
    };
    const auto spoolFull = [this, spool] {
        Fail(ErrorTemporaryFile, spool->Problem());
        return false;
    };
    const std::uint64_t size = file.Size();
    if (OnEncodeStart) {
        OnEncodeStart(*this, item.FileName, static_cast<std::int64_t>(size));
    }

    EncodePercent = 0;
    std::uint32_t threshold = EncodeProgressStep;
    const std::uint64_t progressLines = size / ProgressBlockBytes * (ProgressBlockBytes / Base64LineInputBytes);
    std::uint64_t lineIndex = 0;
    // EncodePercent is RoundedPercent(encoded, size) after every progress line; it only
    // changes once Encoded reaches this bound, so the division runs once per percent.
    std::uint64_t nextPercentAt = FirstPartReaching(1, size);

    TSpooledLines lines{m_spool, spool->Size(), 0, 0, Base64LineLength};
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(ReadChunkBytes);
    const auto encoded = std::make_unique_for_overwrite<char[]>(EncodedChunkBytes);
    for (std::uint64_t left = size; left > 0;) {
        if (Stopped()) {
            return false;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, ReadChunkBytes));
        if (!file.ReadFully(chunk.get(), want)) {
            return changed();  // shorter now than when it was opened
        }
        left -= want;
        const std::size_t chunkBytes = EncodeLinesWithBreaks(chunk.get(), want, encoded.get());
        if (!spool->Append({encoded.get(), chunkBytes})) {
            return spoolFull();
        }
        // Progress and cancelling go line by line, as if each line had been encoded alone.
        const std::size_t chunkLines = (want + Base64LineInputBytes - 1) / Base64LineInputBytes;
        lines.Count += chunkLines;
        for (std::size_t line = 0; line < chunkLines; ++line, ++lineIndex) {
            if (lineIndex < progressLines) {
                const std::uint64_t encodedBytes = (lineIndex + 1) * Base64LineInputBytes;
                if (encodedBytes >= nextPercentAt) {
                    EncodePercent = RoundedPercent(encodedBytes, size);
                    nextPercentAt = FirstPartReaching(EncodePercent + 1u, size);
                }
                if (EncodePercent >= threshold) {
                    if (OnEncodeProgress) {
                        OnEncodeProgress(*this, EncodePercent);
                    }
                    threshold += EncodeProgressStep;
                }
            }
            if (Aborted) {
                return false;
            }
        }
    }
    if (!file.Unchanged()) {
        return changed();
    }
    if (EncodePercent < 100 && OnEncodeProgress) {
        OnEncodeProgress(*this, 100);
    }
    if (Stopped()) {
        return false;
    }
    lines.Bytes = spool->Size() - lines.Offset;
    into.AddSpooled(std::move(lines));
    if (OnEncodeEnd) {
        OnEncodeEnd(*this);
    }
    return true;
}

}  // namespace corvane::mail
