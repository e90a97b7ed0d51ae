#include "SendJob.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <array>
#include <ostream>

#include "account/Passwords.h"
#include "app/send/Charset.h"
#include "app/send/Credentials.h"
#include "app/send/InputFile.h"
#include "app/send/KeptCopy.h"
#include "app/send/OAuth2Token.h"
#include "app/send/TokenCommand.h"
#include "mail/MailText.h"
#include "mail/ScreenText.h"

namespace corvane::send {

namespace {

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

void FillMessage(const TSendOptions& options, mail::TLineList text,
                 const mail::TLineList& signature, mail::TWrenMsg& msg) {
    msg.Clear();
    msg.From = options.From;
    msg.SendTo = options.To;
    msg.CC = options.Cc;
    msg.BCC = options.Bcc;
    msg.Subject = options.Subject;
    msg.Text = std::move(text);
    msg.Organization = options.Organization;
    msg.Xmailer = options.XMailer;
    msg.ExtraHeaders = options.Headers;
    msg.ReplyTo = options.ReplyTo;
    msg.InReplyTo = options.InReplyTo;
    if (options.Priority) {
        msg.Priority = *options.Priority;
        msg.IncludePriority = true;
    }
    msg.Signature = signature.ToVector();
    for (const auto& path : options.Attachments) {
        msg.AttachedFiles.AddFile(path);
    }
}

void ReportCertificate(std::ostream& errors, const net::TCertificateInfo& certificate) {
    Say(errors, "Certificate: " + certificate.Subject);
    Say(errors, "Issued by: " + certificate.Issuer);
    Say(errors, "Valid from " + certificate.NotBefore + " to " + certificate.NotAfter);
    Say(errors, "SHA-256: " + certificate.Sha256Fingerprint);
    Say(errors, "To trust exactly this certificate: --trust-fingerprint " + certificate.Sha256Fingerprint);
}

// The window's status texts, written as lines: the progress to Status (nowhere with
// --quiet), an error and the certificate behind it to Errors.
void ReportProgress(mail::TWrenSMTP& smtp, std::ostream& status, std::ostream& errors) {
    smtp.OnConnect = [&status](mail::TWrenSMTP& sender) { Say(status, "Connected: " + sender.Host); };
    smtp.OnError = [&errors](mail::TWrenSMTP& sender, int error, const std::string& msg) {
        Say(errors, "Error: " + std::to_string(error) + " " + msg);
        // What the window's certificate dialog shows, so the user can judge it and trust it.
        if (error == mail::TWrenSMTP::ErrorCertificate && !sender.PeerCertificate.Empty()) {
            ReportCertificate(errors, sender.PeerCertificate);
        }
    };
    smtp.OnStartEncryption = [&status](mail::TWrenSMTP& sender) {
        Say(status, "Starting encryption with " + sender.Host + " . . .");
    };
    smtp.OnSignIn = [&status](mail::TWrenSMTP& sender) { Say(status, "Signing in as " + sender.UserName + " . . ."); };
    smtp.OnEncodeStart = [&status](mail::TWrenSMTP&, const std::string& fileName, std::int64_t bytes) {
        Say(status, "Start encoding " + fileName + " of " + std::to_string(bytes) + " bytes.");
    };
    smtp.OnEncodeEnd = [&status](mail::TWrenSMTP&) { Say(status, "Finished encoding."); };
    smtp.OnBeforeSend = [&status](mail::TWrenSMTP&) { Say(status, "Connected: Sending message . . ."); };
    smtp.OnSendProgress = [&status](mail::TWrenSMTP&, std::uint16_t, std::int64_t sent, std::int64_t total) {
        Say(status, "Connected: Sending message . . . " + std::to_string(sent) + " of " + std::to_string(total) +
                        " bytes.");
    };
    smtp.OnAfterSend = [&status](mail::TWrenSMTP& sender) { Say(status, sender.ReplyText); };
}

// The exit status of a send that ran: the server's answer to the message decides, so Ctrl+C
// while QUIT waits changes nothing, and one that came after the whole message went is 111.
int Outcome(const mail::TWrenSMTP& smtp, bool interrupted, std::ostream& errors) {
    if (smtp.Accepted) {
        return ExitAccepted;
    }
    if (smtp.Failed && smtp.ReplyCode == std::to_string(mail::TWrenSMTP::ErrorUnconfirmed)) {
        return ExitUnconfirmed;
    }
    if (smtp.Aborted || interrupted) {
        Say(errors, "Canceled: Ready for your mail.");
        return ExitCancelled;
    }
    return ExitFailed;
}

// The whole of Input, as it stands.
memory::TLargeBuffer ReadText(std::istream& input) {
    // In blocks read straight into the buffer: a character at a time, or a copy through a
    // block of its own, costs more than everything else a send does.
    constexpr std::size_t Block = 256 * 1024;
    memory::TLargeBuffer bytes;
    // Mapped from the start (see TLargeBuffer): growing out of the heap would first fault in
    // its 4 KiB pages one by one, then copy them. Pages are only taken as the text fills them.
    bytes.Reserve(8 * Block);
    for (;;) {
        const std::size_t at = bytes.Size();
        bytes.Resize(at + Block);
        input.read(bytes.Data() + at, static_cast<std::streamsize>(Block));
        bytes.Resize(at + static_cast<std::size_t>(input.gcount()));
        if (!input) {
            break;
        }
    }
    return bytes;
}

// Bytes in Options.Charset as Lines of UTF-8; false (with the usage error written) when they
// are not text in it.
bool ToLines(memory::TLargeBuffer bytes, const TSendOptions& options, const std::string& what,
             std::ostream& errors, mail::TLineList& lines) {
    auto text = ToUtf8(std::move(bytes), options.Charset);
    if (const auto* error = std::get_if<TCharsetError>(&text)) {
        Say(errors, "corvane-send: " + (error->UnknownCharset ? "" : what + " ") + error->Message);
        return false;
    }
    lines = SplitLines(std::move(std::get<memory::TLargeBuffer>(text)));
    return true;
}

// Reads the signature file into Lines; otherwise says why not and returns the exit status:
// "File X not found!" (the window's words) for a file that is not there, the system's reason
// for one that cannot be read.
int ReadSignature(const TSendOptions& options, std::ostream& errors, mail::TLineList& lines) {
    const std::string& path = *options.SignatureFile;
    TInputFile file(path);
    memory::TLargeBuffer bytes;
    if (!file.ReadAll(bytes)) {
        if (file.Error() == ENOENT) {
            Say(errors, "File " + path + " not found!");
        } else {
            Say(errors, "corvane-send: cannot read the signature file " + path + ": " + file.Reason());
        }
        return ExitFailed;
    }
    return ToLines(std::move(bytes), options, "the signature file", errors, lines) ? ExitAccepted
                                                                                    : ExitUsage;
}

// The one place where the access token goes to the engine, which then holds the only copy
// (wiped by the program once the send is over).
void HandTokenToEngine(std::string& token, mail::TWrenSMTP& smtp) {
    smtp.SignInKind = mail::ESignInKind::OAuth2;
    account::Wipe(smtp.AccessToken);
    smtp.AccessToken = token;
    account::Wipe(token);
}

}  // namespace

void Say(std::ostream& stream, const std::string& text) {
    stream << mail::ScreenSafe(text) << std::endl;
}

mail::TLineList SplitLines(memory::TLargeBuffer text) {
    // Each line moves left over the line ends before it, in the buffer it was read into:
    // the text is never copied, and needs no second buffer of its size.
    char* const data = text.Data();
    const std::size_t size = text.Size();
    mail::TLineList::TEnds ends;
    // A guess at the line count, one line per 64 bytes: counting first would take three
    // times as long as the split, and growing past the guess is cheap.
    ends.reserve(size / 64 + 1);
    std::size_t kept = 0;
    for (std::size_t begin = 0; begin < size;) {
        const void* found = std::memchr(data + begin, '\n', size - begin);
        const std::size_t lineEnd =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
        std::size_t length = lineEnd - begin;
        if (length > 0 && data[begin + length - 1] == '\r') {
            --length;
        }
        if (kept != begin && length > 0) {
            std::memmove(data + kept, data + begin, length);
        }
        kept += length;
        ends.push_back(kept);
        begin = lineEnd + 1;
    }
    text.Resize(kept);
    return mail::TLineList::Adopt(std::move(text), std::move(ends));
}

int RunSend(const TSendOptions& options, const account::TServerSettings& settings, std::istream& text,
            std::ostream& status, mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted) {
    // --quiet silences the progress only: whatever ends the send unsuccessfully is said.
    std::ostream quiet(nullptr);
    std::ostream& out = options.Quiet ? quiet : status;

    auto plan = KeepPlanFor(options, settings);
    if (const auto* problem = std::get_if<std::string>(&plan)) {
        Say(status, "corvane-send: " + *problem);
        return ExitUsage;
    }

    // Only whether each is there: the engine opens them itself, without blocking, and says
    // why one cannot be read.
    for (const auto& path : options.Attachments) {
        if (!FileExists(path)) {
            Say(status, "File " + path + " not found!");
            return ExitFailed;
        }
    }
    mail::TLineList signature;
    if (options.SignatureFile) {
        if (const int failed = ReadSignature(options, status, signature); failed != ExitAccepted) {
            return failed;
        }
    }
    mail::TLineList lines;
    if (!ToLines(ReadText(text), options, "the text", status, lines)) {
        return ExitUsage;
    }

    mail::TWrenMsg msg;
    FillMessage(options, std::move(lines), signature, msg);

    const mail::TServerAddress server = ServerOf(options);
    smtp.Host = server.Host;
    smtp.Port = server.Port;
    // The password was set by the caller (see FindPassword).
    smtp.Security = options.Security;
    smtp.UserName = options.User;
    smtp.TrustedFingerprint = options.TrustFingerprint;
    smtp.EncodeProgressStep = 5;
    smtp.SendProgressStep = 1;
    ReportProgress(smtp, out, status);

    // What was typed is judged before anything is connected: an address or header line that
    // is none is the caller's mistake (2); a file that cannot be attached is a failure (1).
    if (!smtp.CheckMessage(msg)) {
        return smtp.ReplyCode == std::to_string(mail::TWrenSMTP::ErrorFileRead) ? ExitFailed : ExitUsage;
    }
    TKeptCopy kept(std::get<TKeepPlan>(std::move(plan)), account::SentArchiveFolder(), smtp);
    Say(out, "Connecting " + options.Server + " . . .");
    smtp.Connect();
    // Connect starts a fresh dialogue and forgets earlier cancels: repeat one that came in
    // while the text was read or the connection opened.
    if (interrupted && !smtp.Aborted) {
        smtp.Abort();
    }
    if (!smtp.Failed) {
        smtp.SendMail(msg);
        smtp.Quit();
    }
    const int outcome = Outcome(smtp, interrupted, status);
    if (outcome == ExitAccepted) {
        kept.Keep(out, status, interrupted);
    }
    return outcome;
}

int RunSignedInSend(const TSendOptions& options, const account::TServerSettings& settings,
                    const TPasswordReader& readPassword, std::istream& text, std::ostream& status,
                    mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted) {
    if (options.Auth == EAuth::OAuth2) {
        if (const int prepared = PrepareOAuth2SignIn(options, status, smtp, interrupted); prepared != ExitAccepted) {
            return prepared;
        }
    } else if (!options.User.empty()) {
        TPasswordLookup password = readPassword(options);
        if (!password.Password) {
            Say(status, "corvane-send: " + password.Problem);
            return ExitUsage;
        }
        smtp.Password = std::move(*password.Password);
    }
    // Ctrl+C while a lookup ended or the keyring waited to be unlocked: nothing is connected.
    if (interrupted) {
        Say(status, "Canceled: Ready for your mail.");
        return ExitCancelled;
    }
    return RunSend(options, settings, text, status, smtp, interrupted);
}

int PrepareOAuth2SignIn(const TSendOptions& options, std::ostream& status, mail::TWrenSMTP& smtp,
                        const std::atomic<bool>& interrupted) {
    TOAuth2Token fetched;
    if (options.TokenCommand) {
        TTokenCommandResult run = RunTokenCommand(*options.TokenCommand, status, interrupted);
        fetched = {std::move(run.Token), run.Cancelled ? ExitCancelled : ExitUsage, std::move(run.Problem)};
    } else {
        fetched = FetchOAuth2Token(options, status, interrupted);
    }
    if (fetched.Token) {
        HandTokenToEngine(*fetched.Token, smtp);
        return ExitAccepted;
    }
    if (fetched.Exit == ExitCancelled) {
        Say(status, "Canceled: Ready for your mail.");
    } else {
        Say(status, "corvane-send: " + fetched.Problem);
    }
    return fetched.Exit;
}

}  // namespace corvane::send
