#include "account/AutoconfigDocument.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>
#include <utility>

#include "mail/AddressList.h"
#include "mail/Idna.h"
#include "mail/ScreenText.h"

namespace corvane::account {

namespace {

constexpr std::size_t MaxReasonBytes = 300;

// One server element as written, before any of it is checked.
struct TWrittenServer {
    bool Outgoing = false;
    std::string Type;
    std::optional<std::string> Host;
    std::optional<std::string> Port;
    std::optional<std::string> SocketType;
    std::optional<std::string> UserName;
    std::vector<std::string> Authentication;
};

// A server that passed every check; an outgoing one has the same fields as an IMAP server.
struct TCheckedServer {
    bool Outgoing = false;
    TImapServer Server;
};

// A refusal carries the reason; a server that is merely of no use here carries nothing.
struct TServerCheck {
    std::optional<TCheckedServer> Checked;
    std::string Refused;
};

bool SameNoCase(std::string_view a, std::string_view b) {
    return QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()))
               .compare(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())), Qt::CaseInsensitive) == 0;
}

std::string Quoted(std::string_view value) {
    return "\"" + std::string(value) + "\"";
}

// A host to connect to: a domain name by the rules of the address grammar (LDH labels, or an
// international name that has an A-label form). Not an address literal: those belong in
// addresses, not in a host field.
bool IsHostName(const std::string& host) {
    return !host.empty() && host.front() != '[' && mail::IsMailbox("x@" + host);
}

std::optional<int> PortNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

std::optional<mail::ESecurity> SecurityOf(const std::string& socketType) {
    if (SameNoCase(socketType, "SSL")) {
        return mail::ESecurity::Tls;
    }
    if (SameNoCase(socketType, "STARTTLS")) {
        return mail::ESecurity::StartTls;
    }
    if (SameNoCase(socketType, "plain")) {
        return mail::ESecurity::None;
    }
    return std::nullopt;
}

// The sign-in kinds this program can use, in the document's order. "none" and the kinds it
// cannot use add nothing. "plain" and "secure" are older names of the password kinds.
std::vector<ESignIn> DocumentSignIn(const std::vector<std::string>& written, bool& usable) {
    std::vector<ESignIn> kinds;
    usable = written.empty();
    for (const auto& kind : written) {
        std::optional<ESignIn> known;
        if (SameNoCase(kind, "password-cleartext") || SameNoCase(kind, "password-encrypted") ||
            SameNoCase(kind, "plain") || SameNoCase(kind, "secure")) {
            known = ESignIn::Password;
        } else if (SameNoCase(kind, "OAuth2")) {
            known = ESignIn::OAuth2;
        }
        usable = usable || known || SameNoCase(kind, "none");
        if (known && std::find(kinds.begin(), kinds.end(), *known) == kinds.end()) {
            kinds.push_back(*known);
        }
    }
    return kinds;
}

TServerCheck Check(const TWrittenServer& written, std::string_view address) {
    const bool wanted = written.Outgoing ? SameNoCase(written.Type, "smtp") : SameNoCase(written.Type, "imap");
    bool usable = false;
    std::vector<ESignIn> signIn = DocumentSignIn(written.Authentication, usable);
    if (!wanted || !usable) {
        return {};
    }
    const std::string which = written.Outgoing ? "an outgoing server" : "an incoming server";
    if (!written.Host || !written.Port || !written.SocketType) {
        return {std::nullopt, which + " lacks its hostname, port or socketType"};
    }
    const std::string host = ExpandPlaceholders(*written.Host, address);
    if (!IsHostName(host)) {
        return {std::nullopt, "the hostname " + Quoted(host) + " is not a host name"};
    }
    // What a connection looks up: an international name in its A-label form.
    const std::string asciiHost = mail::DomainToAscii(host).value_or(host);
    const std::optional<int> port = PortNumber(*written.Port);
    if (!port) {
        return {std::nullopt, "the port " + Quoted(*written.Port) + " is not a number from 1 to 65535"};
    }
    const std::optional<mail::ESecurity> security = SecurityOf(*written.SocketType);
    if (!security) {
        return {std::nullopt, "the socketType " + Quoted(*written.SocketType) + " is not SSL, STARTTLS or plain"};
    }
    const std::string userName = written.UserName ? ExpandPlaceholders(*written.UserName, address) : std::string();
    return {TCheckedServer{written.Outgoing, {asciiHost, *port, *security, userName, std::move(signIn)}}, {}};
}

int Rank(mail::ESecurity security) {
    switch (security) {
        case mail::ESecurity::Tls:
            return 0;
        case mail::ESecurity::StartTls:
            return 1;
        case mail::ESecurity::None:
            break;
    }
    return 2;
}

template <typename TServer>
void BestFirst(std::vector<TServer>& servers) {
    std::stable_sort(servers.begin(), servers.end(),
                     [](const TServer& a, const TServer& b) { return Rank(a.Security) < Rank(b.Security); });
}

bool HoldsControls(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// Walks the document once, element by element. Every method returns the reason for a refusal,
// or nothing to go on.
class TDocumentReader {
public:
    TDocumentReader(std::string_view bytes, std::string_view address)
        : m_xml(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))), m_address(address) {}

    std::string Read();

    std::vector<TCheckedServer> Servers;
    std::vector<std::string> Domains;

private:
    std::string StartElement();
    std::string EndElement();
    std::string ReadValue(std::string& value);
    std::string ReadServerValue(std::optional<std::string>& field);

    QXmlStreamReader m_xml;
    std::string_view m_address;
    int m_depth = 0;
    bool m_inProvider = false;
    std::size_t m_serverCount = 0;
    std::optional<TWrittenServer> m_server;  // the server element being read
};

std::string TDocumentReader::Read() {
    while (!m_xml.atEnd()) {
        std::string problem;
        switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                // Entities, internal or external, come only with a DTD; no configuration needs one.
                return "it declares a document type (DOCTYPE), which a configuration document never has";
            case QXmlStreamReader::StartElement:
                problem = StartElement();
                break;
            case QXmlStreamReader::EndElement:
                problem = EndElement();
                break;
            default:
                break;
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    if (m_xml.hasError()) {
        return "it is not well-formed XML: " + m_xml.errorString().toStdString() + " (line " +
               std::to_string(m_xml.lineNumber()) + ")";
    }
    return {};
}

std::string TDocumentReader::StartElement() {
    if (++m_depth > MaxAutoconfigDepth) {
        return "its elements nest deeper than " + std::to_string(MaxAutoconfigDepth);
    }
    const QStringView name = m_xml.name();
    if (m_depth == 1) {
        if (name != u"clientConfig" || !m_xml.namespaceUri().isEmpty()) {
            return "it is not a mail client configuration (its root element is " + m_xml.qualifiedName().toString().toStdString() +
                   (m_xml.namespaceUri().isEmpty() ? "" : " in namespace " + m_xml.namespaceUri().toString().toStdString()) + ")";
        }
        const QStringView version = m_xml.attributes().value(QLatin1StringView("version"));
        if (!version.isEmpty() && !version.startsWith(u"1.")) {
            return "it is version " + version.toString().toStdString() + " of the format, not 1.1";
        }
        return {};
    }
    if (!m_xml.namespaceUri().isEmpty()) {
        return {};  // another vocabulary's element: not one of ours, whatever its name
    }
    if (m_depth == 2) {
        m_inProvider = name == u"emailProvider";
    } else if (m_depth == 3 && m_inProvider) {
        if (name == u"domain") {
            std::string domain;
            std::string problem = ReadValue(domain);
            if (problem.empty()) {
                Domains.push_back(std::move(domain));
            }
            return problem;
        }
        if (name == u"outgoingServer" || name == u"incomingServer") {
            if (++m_serverCount > MaxAutoconfigServers) {
                return "it names more than " + std::to_string(MaxAutoconfigServers) + " servers";
            }
            m_server = TWrittenServer{name == u"outgoingServer", m_xml.attributes().value(QLatin1StringView("type")).toString().toStdString(), {}, {}, {}, {}, {}};
        }
    } else if (m_depth == 4 && m_server) {
        if (name == u"hostname") {
            return ReadServerValue(m_server->Host);
        }
        if (name == u"port") {
            return ReadServerValue(m_server->Port);
        }
        if (name == u"socketType") {
            return ReadServerValue(m_server->SocketType);
        }
        if (name == u"username") {
            return ReadServerValue(m_server->UserName);
        }
        if (name == u"authentication") {
            std::string kind;
            std::string problem = ReadValue(kind);
            m_server->Authentication.push_back(std::move(kind));
            return problem;
        }
    }
    return {};
}

std::string TDocumentReader::EndElement() {
    const int depth = m_depth--;
    if (depth == 2) {
        m_inProvider = false;
    } else if (depth == 3 && m_server) {
        TServerCheck check = Check(*m_server, m_address);
        m_server.reset();
        if (check.Checked) {
            Servers.push_back(std::move(*check.Checked));
        }
        return check.Refused;
    }
    return {};
}

// The text of the current element, which holds nothing else, trimmed. Reading it also reads
// its end, so the depth goes back here.
std::string TDocumentReader::ReadValue(std::string& value) {
    const QString element = m_xml.name().toString();
    const QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).trimmed();
    --m_depth;
    if (m_xml.hasError()) {
        return {};  // Read reports it
    }
    if (static_cast<std::size_t>(text.size()) > MaxAutoconfigValue) {
        return "a " + element.toStdString() + " is longer than " + std::to_string(MaxAutoconfigValue) + " characters";
    }
    if (HoldsControls(text)) {
        return "a " + element.toStdString() + " holds control characters";
    }
    value = text.toStdString();
    return {};
}

std::string TDocumentReader::ReadServerValue(std::optional<std::string>& field) {
    if (field) {
        return "a server names its " + m_xml.name().toString().toStdString() + " twice";
    }
    std::string value;
    std::string problem = ReadValue(value);
    field = std::move(value);
    return problem;
}

}  // namespace

TAutoconfigDocument ReadAutoconfigDocument(std::string_view bytes, std::string_view address, std::string_view url) {
    TAutoconfigDocument document;
    // Its parts go into host and user names: nothing but a mailbox may.
    if (!mail::IsMailbox(address)) {
        document.Refused = "the address " + mail::ScreenSafe(address) + " is not a mail address";
        return document;
    }
    if (bytes.size() > MaxAutoconfigBytes) {
        document.Refused = "it is larger than " + std::to_string(MaxAutoconfigBytes / 1024) + " KiB";
        return document;
    }
    TDocumentReader reader(bytes, address);
    std::string problem = reader.Read();
    if (!problem.empty()) {
        // Names from the document (its root element, an entity) may be of any length.
        if (problem.size() > MaxReasonBytes) {
            problem = problem.substr(0, MaxReasonBytes) + "...";
        }
        document.Refused = mail::ScreenSafe(problem);
        return document;
    }
    for (auto& checked : reader.Servers) {
        TImapServer& server = checked.Server;
        if (checked.Outgoing) {
            document.Smtp.push_back({std::move(server.Host), server.Port, server.Security, std::move(server.UserName),
                                     std::move(server.SignIn), ESource::Autoconfig, std::string(url)});
        } else {
            document.Imap.push_back(std::move(server));
        }
    }
    if (document.Smtp.empty()) {
        document.Imap.clear();
        document.Refused = "it names no outgoing SMTP server this program can use";
        return document;
    }
    BestFirst(document.Smtp);
    BestFirst(document.Imap);
    document.Domains = std::move(reader.Domains);
    return document;
}

}  // namespace corvane::account
