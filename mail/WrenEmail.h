#pragma once
// The mail engine: one outgoing message (TWrenMsg with its TAttachedFiles), and TWrenSMTP,
// which composes it (plain text, or MIME multipart/mixed with Base64 attachments) and
// delivers it over one plain SMTP dialogue (RFC 5321: greeting, HELO, MAIL, RCPT..., DATA,
// the lines, the end marker, QUIT).
//
// TWrenSMTP runs Connect, SendMail and Quit on one thread and raises every event there.
// Abort may be called from any other thread (and from a signal handler): it only stores
// flags and interrupts the socket, and the running operation returns promptly. Failures
// never throw: they set Failed, close the connection and fire OnError(code, text), with the
// server's reply code, or one of the engine's own codes:
//   101 the connection could not be made      102 the connection was lost, or the server
//   103 the server did not answer in time         sent something that is not a reply
//   104 an attachment could not be read        105 an address holds a line break or NUL
//   106 the message is larger than the server takes (its SIZE)
//   107 the server cannot take an address (a non-ASCII local part without SMTPUTF8)
//   108 the server's certificate cannot be trusted
//   109 encryption could not be started (STARTTLS not offered or refused, bytes injected
//       before the handshake, the handshake failed)
//   110 signing in is impossible (no usable mechanism, no access token, or the connection is
//       not encrypted)
//   111 the message was sent whole but the server never answered its end: it may have been
//       delivered, so the user must check before sending it again
//   112 the message holds what cannot be sent (an extra header line that is not a header, a
//       NUL in the text)
//   113 there is not enough memory to compose the message
//   114 the temporary folder cannot hold the encoded attachments (full, or not writable)
//
// The outcome of a send is the server's answer to the end of the message: once that was a
// 2xx, Accepted is set and nothing after it (a refused, unanswered or cancelled QUIT) makes
// the send a failure.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "mail/AddressList.h"
#include "mail/Capabilities.h"
#include "mail/ComposedMessage.h"
#include "mail/LineList.h"
#include "mail/ReplyParser.h"
#include "mail/WireWriter.h"
#include "platform/mimetypes/MimeTypes.h"
#include "platform/net/ClientSocket.h"

namespace corvane::mail {

class TWrenMsg;

// One attached file. The composer encodes it anew for each message, into a spool file that
// lives as long as the composed message.
struct TAttachedFile {
    std::string FileName;     // name without folder, used in the MIME headers
    std::string PathName;     // the path exactly as added; the composer opens it
    std::string ContentType;  // MIME type looked up when the item was added
};

class TAttachedFiles {
public:
    explicit TAttachedFiles(TWrenMsg& owner) : m_owner(owner) {}
    TAttachedFiles(const TAttachedFiles&) = delete;
    TAttachedFiles& operator=(const TAttachedFiles&) = delete;

    std::size_t Count() const { return m_items.size(); }
    TAttachedFile& operator[](std::size_t index) { return *m_items[index]; }
    const TAttachedFile& operator[](std::size_t index) const { return *m_items[index]; }
    void Clear() { m_items.clear(); }

    // Appends an item for PathName (not checked for existence; the same path may be added
    // twice) and returns it.
    TAttachedFile& AddFile(const std::string& pathName);
    std::string LookupContentType(const std::string& fileName) const;

    TWrenMsg& Owner() const { return m_owner; }
    // The extension table; the system's mime.types unless a test sets another.
    const mimetypes::TMimeTypes* MimeTypes = &mimetypes::TMimeTypes::System();

private:
    TWrenMsg& m_owner;
    std::vector<std::unique_ptr<TAttachedFile>> m_items;  // items keep their address
};

// Priority 1..5 and the names written in "X-MSMail-Priority: ".
std::string_view PriorityName(int priority);

class TWrenMsg {
public:
    TWrenMsg() = default;
    TWrenMsg(const TWrenMsg&) = delete;
    TWrenMsg& operator=(const TWrenMsg&) = delete;

    TAttachedFiles AttachedFiles{*this};
    std::string From;
    std::string ReplyTo;
    std::string InReplyTo;
    std::string SendTo;  // recipients separated by ','
    std::string CC;
    std::string BCC;  // envelope only, never written as a header
    std::string Organization;
    std::string Xmailer;
    bool IncludePriority = false;
    // Asks the reader's program for a read receipt (RFC 8098): a Disposition-Notification-To
    // header naming the sender as From does. When From is not exactly one mailbox there is
    // nobody to name, and no header is written. It replaces an extra header line of that
    // name, so the message never asks twice.
    bool RequestReadReceipt = false;
    std::string Subject;
    TLineList Text;
    std::vector<std::string> ExtraHeaders;
    std::vector<std::string> Signature;
    int Priority = 3;

    // Priority 3, IncludePriority and RequestReadReceipt off, every text, list and attachment
    // emptied.
    void Clear();
};

// The moment a message is composed, with the local zone's offset for its Date header.
struct TLocalTime {
    std::time_t Utc = 0;
    int OffsetSeconds = 0;  // east of UTC
};

// How the connection to the server is protected (RFC 8314): not at all, upgraded with
// STARTTLS (RFC 3207) after the greeting, or TLS from the first byte.
enum class ESecurity { None, StartTls, Tls };

// What the engine signs in with: UserName and Password (AUTH PLAIN, else LOGIN), or UserName
// and an OAuth 2.0 access token (AUTH XOAUTH2, else OAUTHBEARER).
enum class ESignInKind { Password, OAuth2 };

// The port used when the server field names none: 25, 587 or 465.
std::string DefaultPort(ESecurity security);

class TWrenSMTP {
public:
    using TNotifyEvent = std::function<void(TWrenSMTP& sender)>;
    using TOnError = std::function<void(TWrenSMTP& sender, int error, const std::string& msg)>;
    using TOnCodeStartEvent =
        std::function<void(TWrenSMTP& sender, const std::string& fileName, std::int64_t bytesCount)>;
    using TOnCodeProgressEvent = std::function<void(TWrenSMTP& sender, std::uint16_t percent)>;
    using TOnSendProgressEvent = std::function<void(TWrenSMTP& sender, std::uint16_t percent,
                                                    std::int64_t byteSend,
                                                    std::int64_t totalByteSend)>;
    using TMilliseconds = std::chrono::milliseconds;

    // The engine's own error codes (the server's are 2xx to 5xx).
    static constexpr int ErrorConnect = 101;
    static constexpr int ErrorConnectionLost = 102;
    static constexpr int ErrorTimeout = 103;
    static constexpr int ErrorFileRead = 104;
    static constexpr int ErrorInvalidAddress = 105;
    static constexpr int ErrorMessageTooLarge = 106;
    static constexpr int ErrorAddressNotAccepted = 107;
    static constexpr int ErrorCertificate = 108;
    static constexpr int ErrorEncryption = 109;
    static constexpr int ErrorSignIn = 110;
    static constexpr int ErrorUnconfirmed = 111;
    static constexpr int ErrorInvalidContent = 112;
    static constexpr int ErrorOutOfMemory = 113;
    static constexpr int ErrorTemporaryFile = 114;

    explicit TWrenSMTP(std::unique_ptr<net::TSocket> socket = std::make_unique<net::TClientSocket>());
    TWrenSMTP(const TWrenSMTP&) = delete;
    TWrenSMTP& operator=(const TWrenSMTP&) = delete;
    ~TWrenSMTP();

    // Properties.
    std::string Port = "25";
    std::string Host;
    std::uint16_t EncodeProgressStep = 1;
    std::uint16_t SendProgressStep = 1;
    // Where the encoded attachments are kept while the message goes out; empty: TMPDIR,
    // else /tmp.
    std::string SpoolFolder;

    // Encryption and sign-in. With a UserName the engine signs in as SignInKind says after
    // the (encrypted) EHLO; credentials never cross an unencrypted connection. Password and
    // AccessToken are never written to any event text or error message; the engine wipes
    // every copy it makes of them, and the caller wipes these members once it is done
    // (account::Wipe), as the engine keeps them for the next Connect.
    ESecurity Security = ESecurity::None;
    ESignInKind SignInKind = ESignInKind::Password;
    std::string UserName;
    std::string Password;
    // The provider's OAuth 2.0 access token, for ESignInKind::OAuth2.
    std::string AccessToken;
    // SHA-256 of a certificate the user trusts on purpose for this server (see TTlsOptions).
    std::string TrustedFingerprint;

    // Asks the servers on the way for a delivery status notification (RFC 3461) when the
    // message is delivered and when it fails: with a server that offers DSN, MAIL FROM
    // carries "RET=HDRS ENVID=<id>" (the report quotes the headers only, and the Message-ID
    // made into xtext as the envelope id) and every RCPT TO "NOTIFY=SUCCESS,FAILURE". A
    // server that does not offer DSN gets the usual commands and the send goes on; see
    // DeliveryReportIgnored.
    bool RequestDeliveryReport = false;

    // Time limits (RFC 5321 section 4.5.3.2). Greeting, HELO, MAIL, RCPT and QUIT replies
    // share CommandTimeout; SendTimeout bounds each blocked write of the message. Once the
    // server has taken the message, QUIT is only a courtesy and waits QuitTimeout at most.
    TMilliseconds ConnectTimeout{std::chrono::seconds(30)};
    TMilliseconds CommandTimeout{std::chrono::minutes(5)};
    TMilliseconds DataTimeout{std::chrono::minutes(2)};
    TMilliseconds DataEndTimeout{std::chrono::minutes(10)};
    TMilliseconds SendTimeout{std::chrono::minutes(3)};
    TMilliseconds QuitTimeout{std::chrono::seconds(5)};

    // Events, raised on the thread that runs the operation.
    TNotifyEvent OnConnect;
    TNotifyEvent OnQuit;
    TOnError OnError;
    TNotifyEvent OnBeforeSend;
    TNotifyEvent OnAfterSend;
    TOnCodeStartEvent OnEncodeStart;
    TOnCodeProgressEvent OnEncodeProgress;
    TNotifyEvent OnEncodeEnd;
    TOnSendProgressEvent OnSendProgress;
    TNotifyEvent OnStartEncryption;  // the TLS handshake begins
    TNotifyEvent OnSignIn;           // AUTH begins, as UserName, with SignInKind and SignInMechanism
    // A copy of the message for the sender's own records, line by line as it goes to the
    // server (without CR LF and without the dots of the DATA transparency rule), ending with
    // the empty line the end marker leaves, on the sending thread. When the message has Bcc recipients, a "Bcc:" header composed as To and
    // Cc are comes first: the owner sees who got it, the server never does. Returning false
    // stops the copy, never the send. Whether the copy is complete is for the caller to judge
    // from Accepted.
    std::function<bool(std::string_view line)> OnCopyLine;

    // Sources that tests replace to make a composed message byte-for-byte reproducible.
    std::function<std::uint64_t()> Random;       // uniform 64-bit values
    std::function<TLocalTime()> Clock;           // now, with the local zone's offset
    std::function<std::string()> LocalHostName;  // for HELO and Message-ID

    // Dialogue state.
    std::atomic<bool> Connected{false};
    std::atomic<bool> Failed{false};
    std::atomic<bool> Aborted{false};
    // The server took the message: its answer to the end of data was a 2xx.
    std::atomic<bool> Accepted{false};
    std::string ReplyCode;
    std::string ReplyText;
    std::uint16_t SendPercent = 0;
    std::uint16_t EncodePercent = 0;
    // The server's certificate from the last handshake, also when it was refused (108), so
    // the window can offer to trust it.
    net::TCertificateInfo PeerCertificate;
    // What the last handshake agreed on ("TLSv1.3 TLS_AES_256_GCM_SHA384"); empty without one.
    std::string TlsAgreement;
    // The AUTH mechanism of this connection's sign-in ("PLAIN", "XOAUTH2"), set before
    // OnSignIn; empty until then.
    std::string SignInMechanism;
    // This connection's sign-in failed because the server refused AccessToken itself (an
    // error challenge, or 535): it may have expired, so a caller may get a fresh one once
    // and connect again.
    bool TokenRefused = false;
    // This send asked for a delivery report, but the server did not offer DSN (nor any
    // extension, after HELO), so the message went without the request: the window says so
    // once the send is done. Set when MAIL FROM is written; every SendMail clears it first.
    bool DeliveryReportIgnored = false;

    // What the server offered in its EHLO reply on this connection (nothing after HELO).
    const TCapabilities& Capabilities() const { return m_capabilities; }

    // What can be judged before connecting: the addresses (105), the extra header lines and
    // the text's bytes (112), and that every attachment is a readable regular file (104).
    // False, with the dialogue failed and OnError raised, when the message cannot be sent.
    bool CheckMessage(const TWrenMsg& msg);
    void Connect();
    bool SendMail(TWrenMsg& msg);
    void Quit();
    void Abort() noexcept;

    // Composition; public so that it can be used and tested on its own.
    std::optional<TComposedMessage> BuildMessageLines(TWrenMsg& msg);
    std::string MakeBoundary();
    // Encodes Item into the engine's spool file and adds its lines to Into; the engine lets
    // go of that file at the next BuildMessageLines, Into keeps it. False when the
    // file could not be read (the dialogue has then failed with 104), the spool could not
    // hold it (114), or the send was aborted.
    bool EncodeAttachment(const TAttachedFile& item, TComposedMessage& into);

private:
    enum class EReadOutcome { Reply, Aborted, Failed };

    std::string HeloName();
    // "<unique@host>", fresh for each message.
    std::string MessageId(const std::string& sender);
    bool ComposeHeaders(const TWrenMsg& msg, std::vector<std::string>& headers,
                        std::string& messageId);
    std::optional<TComposedMessage> ComposeMessage(const TWrenMsg& msg);
    bool AppendAttachmentParts(const TWrenMsg& msg, const std::string& boundary, TComposedMessage& body);
    // The spool file of the message being composed, made on first use; null when it cannot
    // be made (the dialogue has then failed with 114).
    TSpoolFile* Spool();
    // The envelope of a message that passes every check of CheckMessage.
    std::optional<TEnvelope> CheckedEnvelope(const TWrenMsg& msg);
    bool CheckExtraHeaders(const TWrenMsg& msg);
    bool CheckTextBytes(const TWrenMsg& msg);
    bool CheckAttachments(const TWrenMsg& msg);
    // Domains to A-labels; a non-ASCII local part only for a server that offers SMTPUTF8.
    bool ToWireAddresses(TEnvelope& envelope);
    std::string MailFromParameters(const TComposedMessage& lines) const;
    std::string RcptToParameters() const;
    // The server's SIZE against what the attachments alone will take, before any is encoded.
    bool AttachmentsFitServerSize(const TWrenMsg& msg);
    bool FitsServerSize(const TComposedMessage& lines);
    bool Transmit(TWrenMsg& msg, TEnvelope& envelope);
    // MAIL FROM, each RCPT TO and DATA: one command and reply at a time, or, where the server
    // offers PIPELINING (RFC 2920), all in one write and their replies read in order. True
    // once the server waits for the message.
    bool OpenTransaction(const TEnvelope& envelope, const TComposedMessage& lines);
    bool OpenTransactionPipelined(const TEnvelope& envelope, const TComposedMessage& lines);
    // The end of the data (and QUIT, where the server pipelines) and the server's verdict
    // on the message.
    bool AwaitAcceptance();
    // QUIT after the server took the message: bounded, and nothing it meets is an error.
    void QuitQuietly();
    // EHLO, or HELO for a server that does not know it; fills the capabilities.
    bool Greet();
    // The TLS handshake on the open connection; 108 or 109 when it fails.
    bool StartEncryption();
    // STARTTLS, the handshake, and the EHLO that replaces what was learnt in plain text.
    bool UpgradeToTls();
    bool SignIn();
    // The first mechanism of SignInKind the server offers, or empty.
    std::string ChooseSignInMechanism() const;
    bool SignInWithPassword();
    bool SignInWithToken();
    // The mechanism's first response, which holds the token.
    std::string TokenResponse() const;
    // After the server's error challenge: the answer the mechanism asks for, then the
    // server's final refusal, reported with the error's status.
    bool AnswerErrorChallenge();
    // Sends a line that carries credentials, wipes every copy of it we hold, and reads the
    // reply; false when the dialogue ended meanwhile.
    bool SendSecret(std::string line);
    // SendSecret, and any other reply than ExpectedCode is a refused sign-in.
    bool SecretCommand(std::string line, std::string_view expectedCode);
    // A step of signing in without credentials; another reply than ExpectedCode is a refusal.
    bool SignInCommand(const std::string& line, std::string_view expectedCode);
    // Reports the last reply as a refused sign-in: the server's words, then Reason, then
    // what the user can do about a provider's refusal that SignInAdvice knows.
    void SignInRefused(std::string_view reason = {});

    EReadOutcome ReadReply(TMilliseconds timeout);
    bool SendText(std::string_view text, TMilliseconds timeout);
    // Sends Line and reads its whole reply; false when the dialogue ended meanwhile.
    bool Exchange(const std::string& line, TMilliseconds timeout);
    bool Command(const std::string& line, std::string_view expectedCode, TMilliseconds timeout);
    // Reports the last reply as the refusal it is (or as invalid when it has no code).
    void Refused();
    bool SendLines(const TComposedMessage& lines);
    // Sends spooled lines a block at a time; LineSent(wire bytes) follows each line's
    // progress and returns false once the send is to stop.
    template <typename TLineSent>
    bool SendSpooled(const TSpooledLines& lines, TLineSent&& lineSent);
    // OnCopyLine's lines for the message before its own: the Bcc header.
    void StartCopy(const TWrenMsg& msg);
    bool HandleSocketStatus(net::ESocketStatus status);

    void ReportError();
    void Fail(int code, const std::string& text);
    void CloseConnection();
    bool Stopped();

    std::unique_ptr<net::TSocket> m_socket;
    TWireWriter m_writer;
    TReplyParser m_replies;
    TCapabilities m_capabilities;
    bool m_utf8Envelope = false;    // this transaction needs SMTPUTF8
    bool m_deliveryReport = false;  // this transaction asks for a delivery report (DSN)
    // The whole message went; a reply lost now may mean the mail was delivered (111).
    bool m_awaitingAcceptance = false;
    bool m_copying = false;  // OnCopyLine takes this message's lines
    bool m_quitWritten = false;  // QUIT went with the end marker; only its reply is left
    std::uint64_t m_sendTotal = 0;  // bytes of the message being sent
    std::shared_ptr<TSpoolFile> m_spool;  // while a message is composed
    std::mt19937_64 m_generator;
};

}  // namespace corvane::mail
