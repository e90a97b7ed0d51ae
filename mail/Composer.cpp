// Composition of the message text: the header block, the body, and for a message with
// attachments the MIME multipart/mixed layout (RFC 2046 section 5.1.3) with Base64 parts
// (RFC 2045 section 6.8).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "mail/Base64.h"
#include "mail/MailText.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

constexpr std::string_view BoundaryPrefix = "Message-Postal-ID-";
constexpr std::size_t BoundaryDigits = 12;

// Full blocks of 40 lines are what progress is computed over; the tail after the last full
// block reports no progress of its own.
constexpr std::size_t ProgressBlockBytes = 40 * Base64LineInputBytes;  // 2280
constexpr std::size_t ReadChunkBytes = 456 * ProgressBlockBytes;      // about 1 MiB

bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), line.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(a) == lower(b);
           });
}

bool AnyLineStartsWith(const std::vector<std::string>& lines, std::string_view prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [prefix](const std::string& line) { return line.starts_with(prefix); });
}

// A host name fit for the right side of a Message-ID (RFC 5322 dot-atom-text).
bool IsPlainHostName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.back() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.';
           });
}

// Reads exactly Count bytes unless the file ends first.
bool ReadFully(int fd, std::uint8_t* into, std::size_t count) {
    while (count > 0) {
        const ssize_t got = ::read(fd, into, count);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        into += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

class TFileHandle {
public:
    explicit TFileHandle(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TFileHandle() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

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

std::string TWrenSMTP::MessageIdLine() {
    const TLocalTime now = Clock();
    std::tm utc{};
    gmtime_r(&now.Utc, &utc);
    char unique[64];
    std::snprintf(unique, sizeof unique, "%04d%02d%02d%02d%02d%02d.%016llx", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned long long>(Random()));
    std::string host = LocalHostName();
    if (!IsPlainHostName(host)) {
        host = m_socket->LocalAddressLiteral();
    }
    if (host.empty()) {
        host = "localhost";
    }
    return "Message-ID: <" + std::string(unique) + "@" + host + ">";
}

bool TWrenSMTP::ComposeHeaders(const TWrenMsg& msg, std::vector<std::string>& headers) {
    const auto add = [&headers](std::string_view name, const std::string& value) {
        headers.push_back(std::string(name) + SanitizeHeaderValue(value));
    };
    const auto addIfSet = [&add](std::string_view name, const std::string& value) {
        if (!value.empty()) {
            add(name, value);
        }
    };
    addIfSet("Reply-To: ", msg.ReplyTo);
    addIfSet("In-Reply-To: ", msg.InReplyTo);
    addIfSet("Organization: ", msg.Organization);
    if (msg.IncludePriority) {
        const int priority = std::clamp(msg.Priority, 1, 5);
        headers.push_back("X-Priority: " + std::to_string(priority));
        headers.push_back("X-MSMail-Priority: " + std::string(PriorityName(priority)));
    }
    addIfSet("X-Mailer: ", msg.Xmailer);

    // RFC 5322 section 3.6 requires a Date; providers refuse mail without a Message-ID.
    const auto extra = SplitAtLineBreaks(msg.ExtraHeaders);
    const auto extraHolds = [&extra](std::string_view name) {
        return std::any_of(extra.begin(), extra.end(),
                           [name](const std::string& line) { return StartsWithNoCase(line, name); });
    };
    if (!extraHolds("Date:")) {
        const TLocalTime now = Clock();
        headers.push_back("Date: " + FormatMailDate(now.Utc, now.OffsetSeconds));
    }
    if (!extraHolds("Message-ID:")) {
        headers.push_back(MessageIdLine());
    }

    add("From: ", msg.From);
    addIfSet("To: ", msg.SendTo);
    addIfSet("CC: ", msg.CC);
    addIfSet("Subject: ", msg.Subject);
    return !Stopped();
}

bool TWrenSMTP::AppendAttachmentParts(TWrenMsg& msg, const std::string& boundary,
                                      TComposedMessage& body) {
    const std::string delimiter = "--" + boundary;
    for (std::size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        if (Stopped()) {
            return false;
        }
        TAttachedFile& item = msg.AttachedFiles[i];
        const std::string name = QuotedStringContent(item.FileName);
        body.Add("");
        body.Add(delimiter);
        body.Add("Content-Type: " + item.ContentType + "; name=\"" + name + "\"");
        body.Add("Content-Transfer-Encoding: base64");
        body.Add("Content-Disposition: attachment; fileName=\"" + name + "\"");
        body.Add("");
        if (!EncodeAttachment(item) || Stopped()) {
            return false;
        }
        body.AddReferenced(item.EncodedLines);
    }
    body.Add("");
    body.Add(delimiter + "--");
    return true;
}

std::optional<TComposedMessage> TWrenSMTP::BuildMessageLines(TWrenMsg& msg) {
    const std::vector<std::string> text = SplitAtLineBreaks(msg.Text);
    const std::vector<std::string> signature = SplitAtLineBreaks(msg.Signature);

    std::vector<std::string> headers;
    if (!ComposeHeaders(msg, headers)) {
        return std::nullopt;
    }

    TComposedMessage body;
    const auto addTextAndSignature = [&] {
        for (const auto& line : text) {
            body.Add(line);
        }
        if (!signature.empty()) {
            body.Add("");
            for (const auto& line : signature) {
                body.Add(line);
            }
        }
    };

    if (msg.AttachedFiles.Count() > 0) {
        // A text line that looked like the delimiter would cut the text part short.
        std::string boundary = MakeBoundary();
        while (AnyLineStartsWith(text, "--" + boundary) ||
               AnyLineStartsWith(signature, "--" + boundary)) {
            boundary = MakeBoundary();
        }
        headers.push_back("MIME-Version: 1.0");
        headers.push_back("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
        body.Add("--" + boundary);
        body.Add("Content-Type: text/plain");
        body.Add("Content-Transfer-Encoding: 8bit");
        body.Add("");
        addTextAndSignature();
        if (!AppendAttachmentParts(msg, boundary, body)) {
            return std::nullopt;
        }
    } else {
        addTextAndSignature();
    }

    // An empty line would end the header block early.
    for (auto& line : SplitAtLineBreaks(msg.ExtraHeaders)) {
        if (!line.empty()) {
            headers.push_back(std::move(line));
        }
    }
    if (Stopped()) {
        return std::nullopt;
    }

    TComposedMessage result;
    for (auto& line : headers) {
        result.Add(std::move(line));
    }
    result.Add("");
    result.Append(std::move(body));
    result.DotStuff();
    return result;
}

bool TWrenSMTP::EncodeAttachment(TAttachedFile& item) {
    const auto cannotRead = [this, &item] {
        Fail(ErrorFileRead, "Cannot read file " + item.FileName + ".");
        return false;
    };
    const TFileHandle file(item.PathName);
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return cannotRead();
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
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

    TLineList lines;
    lines.Reserve(Base64EncodedLength(size), size / Base64LineInputBytes + 1);
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(ReadChunkBytes);
    for (std::uint64_t left = size; left > 0;) {
        if (Stopped()) {
            return false;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, ReadChunkBytes));
        if (!ReadFully(file.Get(), chunk.get(), want)) {
            return cannotRead();  // shorter now than when it was opened
        }
        left -= want;
        // The chunk holds whole lines (57 divides its size), and 57 bytes are 19 triplets, so
        // the chunk's full lines are its encoding cut into 76-character pieces: one call
        // encodes them all. Only the file's last line may be shorter.
        const std::size_t fullLines = want / Base64LineInputBytes;
        const std::size_t fullBytes = fullLines * Base64LineInputBytes;
        EncodeBase64(chunk.get(), fullBytes, lines.AddUninitialisedLines(fullLines, Base64LineLength));
        if (want > fullBytes) {
            const std::size_t rest = want - fullBytes;
            EncodeBase64(chunk.get() + fullBytes, rest, lines.AddUninitialised(Base64EncodedLength(rest)));
        }
        // Progress and cancelling go line by line, as if each line had been encoded alone.
        const std::size_t chunkLines = fullLines + (want > fullBytes ? 1 : 0);
        for (std::size_t line = 0; line < chunkLines; ++line, ++lineIndex) {
            if (lineIndex < progressLines) {
                const std::uint64_t encoded = (lineIndex + 1) * Base64LineInputBytes;
                if (encoded >= nextPercentAt) {
                    EncodePercent = RoundedPercent(encoded, size);
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
    if (EncodePercent < 100 && OnEncodeProgress) {
        OnEncodeProgress(*this, 100);
    }
    if (Stopped()) {
        return false;
    }
    item.EncodedLines.Swap(lines);
    if (OnEncodeEnd) {
        OnEncodeEnd(*this);
    }
    return true;
}

}  // namespace corvane::mail
