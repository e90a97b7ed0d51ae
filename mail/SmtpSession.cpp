// The SMTP dialogue (RFC 5321): one command, one complete reply, judged by its code.
// EHLO learns the server's extensions; SIZE, 8BITMIME, SMTPUTF8 and DSN shape MAIL FROM, DSN
// also each RCPT TO, and PIPELINING lets the envelope and DATA go as one group, and the end
// of the data with QUIT. The send's outcome is the reply to the end of the data: a 2xx there
// is delivered mail, whatever happens after it.

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <tuple>
#include <utility>

#include "mail/DeliveryReport.h"
#include "mail/Idna.h"
#include "mail/MailText.h"
#include "mail/ScreenText.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

constexpr std::size_t ReceiveBufferSize = 1024;
const std::string ConnectFailedText = "Failed to connect the mail server.";
const std::string ConnectionLostText = "Connection to the mail server was lost.";
const std::string TimeoutText = "The mail server did not answer in time.";
const std::string InvalidReplyText = "The mail server sent an invalid reply.";
const std::string UnconfirmedText =
    "The server did not confirm the message; it may have been delivered. Check before sending again.";

bool IsAsciiText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// RFC 5321 section 4.2: 2 to 5, 0 to 5, then any digit. Anything else is no reply: passed
// on, "101" or "110" would be read as the engine's own failures.
bool IsReplyCode(std::string_view code) {
    return code.size() == 3 && code[0] >= '2' && code[0] <= '5' && code[1] >= '0' &&
           code[1] <= '5' && code[2] >= '0' && code[2] <= '9';
}

// The bytes Line takes in the DATA phase: a dot of transparency before a leading '.', and
// the CR LF.
std::uint64_t WireSize(std::string_view line) {
    return line.size() + 2 + (line.starts_with('.') ? 1 : 0);
}

std::string_view DataTerminator() {
    // The message's last line already ended in CR LF, so this leaves one empty line before
    // the terminating "." line (RFC 5321 section 4.1.1.4).
    return "\r\n.\r\n";
}

std::string_view DataTerminatorAndQuit() {
    return "\r\n.\r\nQUIT\r\n";
}

}  // namespace

TWrenSMTP::TWrenSMTP(std::unique_ptr<net::TSocket> socket)
    : m_socket(std::move(socket)), m_writer(*m_socket) {
    std::random_device entropy;
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy()};
    m_generator.seed(seed);
    Random = [this] { return m_generator(); };
    Clock = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return TLocalTime{now, static_cast<int>(local.tm_gmtoff)};
    };
    LocalHostName = [this] { return m_socket->LocalHostName(); };
}

TWrenSMTP::~TWrenSMTP() {
    // No events here: whoever handles them may be gone already.
    m_socket->Close();
}

void TWrenSMTP::Abort() noexcept {
    // Only lock-free stores and the socket's interrupt: safe from any thread and from a
    // signal handler. The worker closes the connection when its blocked call returns.
    Connected = false;
    Aborted = true;
    m_socket->Interrupt();
}

void TWrenSMTP::CloseConnection() {
    m_writer.Discard();
    m_quitWritten = false;
    m_replies.Reset();
    if (m_socket->IsOpen()) {
        m_socket->Close();
        Connected = false;
        if (OnQuit) {
            OnQuit(*this);
        }
    }
    Connected = false;
}

bool TWrenSMTP::Stopped() {
    if (Aborted) {
        CloseConnection();
        return true;
    }
    return Failed;
}

void TWrenSMTP::ReportError() {
    Failed = true;
    Connected = false;
    CloseConnection();
    if (OnError) {
        int code = 0;
        std::from_chars(ReplyCode.data(), ReplyCode.data() + ReplyCode.size(), code);
        OnError(*this, code, ReplyText);
    }
}

void TWrenSMTP::Fail(int code, const std::string& text) {
    // RFC 5321 section 4.5.3.2.6: the whole message went, so without the server's verdict
    // the mail may well have been delivered. Saying "lost" would invite a second copy.
    const bool unconfirmed = std::exchange(m_awaitingAcceptance, false);
    // The engine's own code replaces the last reply, so a failure is never reported with the
    // code of a reply that was fine.
    ReplyCode = std::to_string(unconfirmed ? ErrorUnconfirmed : code);
    ReplyText = unconfirmed ? UnconfirmedText : text;
    ReportError();
}

namespace {

// 101 with the reason: "Failed to connect the mail server. mail.example.org:587: connection
// refused." The host as the user typed it, an IPv6 address in brackets so that its port
// stands apart.
std::string ConnectFailure(const std::string& host, int port, net::EConnectProblem problem) {
    const bool bareIpv6 = host.find(':') != std::string::npos && !host.starts_with('[');
    return ConnectFailedText + " " + (bareIpv6 ? "[" + host + "]" : host) + ":" +
           std::to_string(port) + ": " + std::string(net::ConnectProblemText(problem)) + ".";
}

}  // namespace

void TWrenSMTP::Connect() {
    const int port = PortNumber(Port);
    const bool numericHost = IsIPAddress(Host);
    CloseConnection();
    m_capabilities = {};
    PeerCertificate = {};
    TlsAgreement.clear();
    // Forget an earlier cancel before clearing the flag, so that an Abort from now on
    // interrupts even the connect.
    m_socket->ResetInterrupt();
    Failed = false;
    Aborted = false;
    Accepted = false;
    m_awaitingAcceptance = false;
    SignInMechanism.clear();
    TokenRefused = false;

    const auto opened =
        m_socket->Open(LookupForm(Host), numericHost, port, net::TClock::now() + ConnectTimeout);
    if (opened != net::ESocketStatus::Ok) {
        if (!Aborted) {
            // No server was reached, so a deadline passed here is no server's silence (103).
            Fail(ErrorConnect, ConnectFailure(Host, port, opened == net::ESocketStatus::TimedOut
                                                              ? net::EConnectProblem::TimedOut
                                                              : m_socket->OpenProblem()));
        }
        return;
    }
    Connected = true;
    if (OnConnect) {
        OnConnect(*this);
    }
    // Implicit TLS (RFC 8314 section 3.3): the handshake comes before the greeting.
    if (Stopped() || (Security == ESecurity::Tls && !StartEncryption()) ||
        ReadReply(CommandTimeout) != EReadOutcome::Reply) {
        return;
    }
    if (ReplyCode != "220") {
        Refused();
        return;
    }
    if (!Greet() || (Security == ESecurity::StartTls && !UpgradeToTls())) {
        return;
    }
    if (!UserName.empty()) {
        SignIn();
    }
}

bool TWrenSMTP::Greet() {
    m_capabilities = {};
    const std::string name = HeloName();
    if (!Exchange("EHLO " + name + "\r\n", CommandTimeout)) {
        return false;
    }
    if (ReplyCode == "250") {
        m_capabilities = TCapabilities::FromEhloReply(m_replies.Lines());
        return true;
    }
    // RFC 5321 section 3.2: a server that does not know EHLO answers 5xx; greet it the old
    // way and use no extensions.
    if (IsReplyCode(ReplyCode) && ReplyCode.front() == '5') {
        return Command("HELO " + name + "\r\n", "250", CommandTimeout);
    }
    Refused();
    return false;
}

std::string TWrenSMTP::HeloName() {
    std::string name = LocalHostName();
    // RFC 5321 section 4.1.3: without a name, the address literal of our end.
    if (name.empty()) {
        name = m_socket->LocalAddressLiteral();
    }
    return name;
}

TWrenSMTP::EReadOutcome TWrenSMTP::ReadReply(TMilliseconds timeout) {
    // The command may still sit in the write buffer.
    if (!HandleSocketStatus(m_writer.Flush(SendTimeout))) {
        return Aborted ? EReadOutcome::Aborted : EReadOutcome::Failed;
    }
    const auto deadline = net::TClock::now() + timeout;
    std::array<char, ReceiveBufferSize> chunk;
    std::string line;
    for (;;) {
        if (Aborted) {
            CloseConnection();
            return EReadOutcome::Aborted;
        }
        switch (m_replies.Next(line)) {
            case TReplyParser::EResult::Complete:
                ReplyCode = TrimBlanks(std::string_view(line).substr(0, 3));
                // Shown as it is by the window and the terminal: nothing in it may act on them.
                ReplyText = ScreenSafe(
                    TrimBlanks(std::string_view(line).substr(std::min<std::size_t>(3, line.size()), 64)));
                return EReadOutcome::Reply;
            case TReplyParser::EResult::Invalid:
                Fail(ErrorConnectionLost, InvalidReplyText);
                return EReadOutcome::Failed;
            case TReplyParser::EResult::NeedMore:
                break;
        }
        const auto received = m_socket->Receive(chunk.data(), chunk.size(), deadline);
        if (received.Status != net::ESocketStatus::Ok) {
            HandleSocketStatus(received.Status);
            return Aborted ? EReadOutcome::Aborted : EReadOutcome::Failed;
        }
        m_replies.Feed(std::string_view(chunk.data(), received.Count));
    }
}

bool TWrenSMTP::HandleSocketStatus(net::ESocketStatus status) {
    switch (status) {
        case net::ESocketStatus::Ok:
            return true;
        case net::ESocketStatus::Interrupted:
            Aborted = true;  // only Abort interrupts; make sure the caller sees it
            CloseConnection();
            return false;
        case net::ESocketStatus::TimedOut:
            Fail(ErrorTimeout, TimeoutText);
            return false;
        case net::ESocketStatus::Closed:
        case net::ESocketStatus::Failed:
            break;
    }
    if (Aborted) {
        CloseConnection();
    } else {
        Fail(ErrorConnectionLost, ConnectionLostText);
    }
    return false;
}

bool TWrenSMTP::SendText(std::string_view text, TMilliseconds timeout) {
    if (Aborted) {
        return false;
    }
    return HandleSocketStatus(m_writer.Write(text, timeout));
}

bool TWrenSMTP::Exchange(const std::string& line, TMilliseconds timeout) {
    return !Stopped() && SendText(line, SendTimeout) && ReadReply(timeout) == EReadOutcome::Reply &&
           !Stopped();
}

bool TWrenSMTP::Command(const std::string& line, std::string_view expectedCode,
                        TMilliseconds timeout) {
    if (!Exchange(line, timeout)) {
        return false;
    }
    if (ReplyCode == expectedCode) {
        return true;
    }
    Refused();
    return false;
}

void TWrenSMTP::Refused() {
    IsReplyCode(ReplyCode) ? ReportError() : Fail(ErrorConnectionLost, InvalidReplyText);
}

bool TWrenSMTP::ToWireAddresses(TEnvelope& envelope) {
    m_utf8Envelope = false;
    const auto convert = [this](std::string& address) {
        auto ascii = AddressToAscii(address);
        if (!ascii) {
            Fail(ErrorInvalidAddress, "Invalid address: " + ScreenSafe(address));
            return false;
        }
        address = std::move(*ascii);
        if (IsAsciiText(address)) {
            return true;
        }
        // RFC 6531: a local part beyond ASCII needs a server that takes UTF-8 addresses.
        if (!m_capabilities.Has("SMTPUTF8")) {
            Fail(ErrorAddressNotAccepted, "The mail server cannot take the address <" + ScreenSafe(address) + ">.");
            return false;
        }
        m_utf8Envelope = true;
        return true;
    };
    return convert(envelope.Sender) &&
           std::all_of(envelope.Recipients.begin(), envelope.Recipients.end(), convert);
}

std::string TWrenSMTP::MailFromParameters(const TComposedMessage& lines) const {
    std::string parameters;
    if (m_capabilities.Has("SIZE")) {
        parameters += " SIZE=" + std::to_string(lines.MessageSize());  // RFC 1870
    }
    if (lines.EightBitBody && m_capabilities.Has("8BITMIME")) {
        parameters += " BODY=8BITMIME";  // RFC 6152
    }
    if (m_utf8Envelope) {
        parameters += " SMTPUTF8";  // RFC 6531 section 3.4
    }
    if (m_deliveryReport) {
        // RFC 3461 sections 4.3 and 4.4: the headers are enough to tell which message a
        // report is about, and the whole message would come back with every report.
        parameters += " RET=HDRS ENVID=" + EnvelopeId(lines.MessageId);
    }
    return parameters;
}

std::string TWrenSMTP::RcptToParameters() const {
    // RFC 3461 section 4.1: the sender hears of delivery and of failure, not of delays.
    return m_deliveryReport ? " NOTIFY=SUCCESS,FAILURE" : "";
}

bool TWrenSMTP::FitsServerSize(const TComposedMessage& lines) {
    const auto limit = m_capabilities.SizeLimit();
    if (!limit || lines.MessageSize() <= *limit) {
        return true;
    }
    Fail(ErrorMessageTooLarge, "The message is " + std::to_string(lines.MessageSize()) +
                                   " bytes; the server takes at most " + std::to_string(*limit) + ".");
    return false;
}

template <typename TLineSent>
bool TWrenSMTP::SendSpooled(const TSpooledLines& lines, TLineSent&& lineSent) {
    // What is buffered goes first; then the spool goes to the socket a block of whole lines
    // at a time, handed over by the file where the socket can, read here only while the
    // sender's copy takes the lines.
    if (Aborted || !HandleSocketStatus(m_writer.Flush(SendTimeout))) {
        return false;
    }
    TSpoolReader reader(lines);
    const std::uint64_t lineBytes = lines.LineLength + 2;
    for (std::uint64_t done = 0; done < lines.Bytes;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(reader.BlockSize(), lines.Bytes - done));
        const auto deadline = net::TClock::now() + SendTimeout;
        net::ESocketStatus status = net::ESocketStatus::Failed;
        if (m_copying) {
            std::string_view block;
            if (!reader.Next(block)) {
                Fail(ErrorTemporaryFile, lines.Spool->Problem());
                return false;
            }
            TSpoolReader::ForEachLineOf(block, [this](std::string_view line) {
                return m_copying = m_copying && OnCopyLine(line);
            });
            status = m_socket->Send(block, deadline);
        } else {
            reader.Skip(count);
            status = m_socket->SendFile(lines.Spool->Descriptor(), lines.Offset + done, count, deadline);
        }
        if (Aborted || !HandleSocketStatus(status)) {
            return false;
        }
        // Only the spool's last line may be shorter than the others.
        for (std::uint64_t at = 0; at < count; at += lineBytes) {
            if (!lineSent(std::min<std::uint64_t>(lineBytes, count - at))) {
                return false;
            }
        }
        done += count;
    }
    return true;
}

bool TWrenSMTP::SendLines(const TComposedMessage& lines) {
    std::uint64_t total = 0;
    lines.ForEachPart(
        [&total](std::string_view line) {
            total += WireSize(line);
            return true;
        },
        [&total](const TSpooledLines& spooled) {
            total += spooled.Bytes;
            return true;
        });
    std::uint64_t sent = 0;
    std::uint32_t threshold = SendProgressStep;
    SendPercent = 0;
    // SendPercent is RoundedPercent(sent, total) after every line; it only changes once Sent
    // reaches this bound, so the division runs once per percent, not once per line.
    std::uint64_t nextPercentAt = FirstPartReaching(1, total);
    const auto lineSent = [&](std::uint64_t wireBytes) {
        sent += wireBytes;
        if (sent >= nextPercentAt) {
            SendPercent = RoundedPercent(sent, total);
            nextPercentAt = FirstPartReaching(SendPercent + 1u, total);
        }
        if (SendPercent >= threshold) {
            if (OnSendProgress) {
                OnSendProgress(*this, SendPercent, static_cast<std::int64_t>(sent),
                               static_cast<std::int64_t>(total));
            }
            threshold += SendProgressStep;
        }
        return !Aborted;
    };
    const bool allSent = lines.ForEachPart(
        [&](std::string_view line) {
            m_copying = m_copying && OnCopyLine(line);
            // The line and its CR LF, through the write buffer (SendText's work, inlined); RFC
            // 5321 section 4.5.2: a line that begins with '.' goes with a second one, which the
            // server takes away again.
            if (Aborted ||
                (line.starts_with('.') && !HandleSocketStatus(m_writer.Write(".", SendTimeout))) ||
                !HandleSocketStatus(m_writer.WriteLine(line, SendTimeout))) {
                return false;
            }
            return lineSent(WireSize(line));
        },
        [&](const TSpooledLines& spooled) { return SendSpooled(spooled, lineSent); });
    m_sendTotal = total;
    // Stopped() first: after an abort it is what closes the connection.
    return !Stopped() && allSent;
}

bool TWrenSMTP::SendMail(TWrenMsg& msg) {
    DeliveryReportIgnored = false;
    if (Stopped()) {
        return false;
    }
    Accepted = false;
    std::optional<TEnvelope> envelope = CheckedEnvelope(msg);
    if (!envelope || !ToWireAddresses(*envelope) || !AttachmentsFitServerSize(msg)) {
        return false;
    }
    try {
        return Transmit(msg, *envelope);
    } catch (const std::bad_alloc&) {
        // A large attachment on a small machine: the send ends with a reason, the connection
        // closed and the caller ready for the next one, never with the process aborted.
        m_awaitingAcceptance = false;
        m_spool.reset();
        Fail(ErrorOutOfMemory, "There is not enough memory to compose the message.");
        return false;
    }
}

bool TWrenSMTP::Transmit(TWrenMsg& msg, TEnvelope& envelope) {
    if (OnBeforeSend) {
        OnBeforeSend(*this);
    }
    const std::optional<TComposedMessage> lines = BuildMessageLines(msg);
    // Nothing to send: the composer failed (and said why) or the send was cancelled.
    if (Stopped() || !lines) {
        return false;
    }
    if (OnBeforeSend) {
        OnBeforeSend(*this);
    }

    if (!FitsServerSize(*lines)) {
        return false;
    }
    m_deliveryReport = RequestDeliveryReport && m_capabilities.Has("DSN");
    DeliveryReportIgnored = RequestDeliveryReport && !m_deliveryReport;
    if (!OpenTransaction(envelope, *lines)) {
        return false;
    }
    StartCopy(msg);
    if (!SendLines(*lines)) {
        return false;
    }
    // The empty line the end marker leaves is part of what the server stores.
    if (m_copying) {
        OnCopyLine("");
    }
    if (!AwaitAcceptance()) {
        return false;
    }
    if (SendPercent < 100 && OnSendProgress) {
        const auto total = static_cast<std::int64_t>(m_sendTotal);
        OnSendProgress(*this, 100, total, total);
    }
    if (OnAfterSend) {
        OnAfterSend(*this);
    }
    return true;
}

bool TWrenSMTP::OpenTransaction(const TEnvelope& envelope, const TComposedMessage& lines) {
    if (m_capabilities.Has("PIPELINING")) {
        return OpenTransactionPipelined(envelope, lines);
    }
    if (!Command("MAIL FROM:<" + envelope.Sender + ">" + MailFromParameters(lines) + "\r\n", "250", CommandTimeout)) {
        return false;
    }
    for (const auto& recipient : envelope.Recipients) {
        // "251 User not local; will forward" is refused too: the user asked for this address.
        const std::string line = "RCPT TO:<" + recipient + ">" + RcptToParameters() + "\r\n";
        if (!Command(line, "250", CommandTimeout)) {
            return false;
        }
    }
    return Command("DATA\r\n", "354", DataTimeout);
}

bool TWrenSMTP::OpenTransactionPipelined(const TEnvelope& envelope, const TComposedMessage& lines) {
    // One write: ReadReply flushes the whole group before it waits for the first reply.
    std::string group = "MAIL FROM:<" + envelope.Sender + ">" + MailFromParameters(lines) + "\r\n";
    for (const auto& recipient : envelope.Recipients) {
        group += "RCPT TO:<" + recipient + ">" + RcptToParameters() + "\r\n";
    }
    group += "DATA\r\n";
    if (Stopped() || !SendText(group, SendTimeout)) {
        return false;
    }
    // Every reply is read, in order, and judged as the one-at-a-time dialogue judges it: the
    // first that is not what the command wants fails the send with its code and words.
    std::optional<std::pair<std::string, std::string>> refusal;
    const auto judge = [&](std::string_view expected, TMilliseconds timeout) {
        if (ReadReply(timeout) != EReadOutcome::Reply || Stopped()) {
            return false;
        }
        if (!refusal && ReplyCode != expected) {
            refusal.emplace(ReplyCode, ReplyText);
        }
        return true;
    };
    if (!judge("250", CommandTimeout)) {
        return false;
    }
    for (std::size_t i = 0; i < envelope.Recipients.size(); ++i) {
        if (!judge("250", CommandTimeout)) {
            return false;
        }
    }
    if (!judge("354", DataTimeout)) {
        return false;
    }
    if (!refusal) {
        return true;
    }
    // A server that took DATA after a refused command now waits for the message: the
    // connection ends without its final ".", which a server treats as a transaction given up,
    // so a send that reports a refusal never delivers to the others.
    const bool awaitingData = ReplyCode == "354";
    std::tie(ReplyCode, ReplyText) = *refusal;
    if (awaitingData) {
        CloseConnection();
    }
    Refused();
    return false;
}

bool TWrenSMTP::AwaitAcceptance() {
    // A terminator that could not be written leaves the message incomplete, which the server
    // discards: that is a lost connection like any other.
    // RFC 2920 section 3.1: QUIT may end a group, so where the server pipelines it follows
    // the end marker in the same write and its reply is read by Quit, after the verdict.
    m_quitWritten = m_capabilities.Has("PIPELINING");
    const std::string_view end = m_quitWritten ? DataTerminatorAndQuit() : DataTerminator();
    if (!SendText(end, SendTimeout) || !HandleSocketStatus(m_writer.Flush(SendTimeout))) {
        return false;
    }
    m_awaitingAcceptance = true;
    const EReadOutcome outcome = ReadReply(DataEndTimeout);
    if (outcome == EReadOutcome::Aborted) {
        Fail(ErrorUnconfirmed, UnconfirmedText);  // cancelled, but too late to take it back
        return false;
    }
    if (outcome != EReadOutcome::Reply) {
        return false;  // Fail has said 111 already
    }
    // A reply with a code is the server's verdict; anything else is no answer at all (111).
    if (IsReplyCode(ReplyCode)) {
        m_awaitingAcceptance = false;
    }
    // RFC 5321 section 4.2.1: 2yz is a completed action, the message is the server's now.
    if (IsReplyCode(ReplyCode) && ReplyCode.front() == '2') {
        Accepted = true;
        return true;
    }
    Refused();
    return false;
}

void TWrenSMTP::Quit() {
    if (Accepted) {
        QuitQuietly();
        return;
    }
    if (Connected && !Aborted) {
        Command("QUIT\r\n", "221", CommandTimeout);
    }
    CloseConnection();
}

void TWrenSMTP::QuitQuietly() {
    // The mail is delivered: whether the server answers QUIT, closes first, keeps silent or
    // the user cancels, the outcome stays, and the window does not wait long to say so.
    const auto deadline = net::TClock::now() + QuitTimeout;
    const auto writeQuit = [this] {
        return m_writer.Write("QUIT\r\n", QuitTimeout) == net::ESocketStatus::Ok &&
               m_writer.Flush(QuitTimeout) == net::ESocketStatus::Ok;
    };
    if (Connected && !Aborted && (m_quitWritten || writeQuit())) {
        std::array<char, ReceiveBufferSize> chunk;
        std::string line;
        while (m_replies.Next(line) == TReplyParser::EResult::NeedMore) {
            const auto received = m_socket->Receive(chunk.data(), chunk.size(), deadline);
            if (received.Status != net::ESocketStatus::Ok) {
                break;
            }
            m_replies.Feed(std::string_view(chunk.data(), received.Count));
        }
    }
    CloseConnection();
}

}  // namespace corvane::mail
