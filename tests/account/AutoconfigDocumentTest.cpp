#include "account/AutoconfigDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::account {
namespace {

using mail::ESecurity;

constexpr const char* Address = "jo@example.org";
constexpr const char* Url = "https://autoconfig.example.org/mail/config-v1.1.xml";

std::string Config(const std::string& inside) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<clientConfig version=\"1.1\">\n"
           "<emailProvider id=\"example.org\">\n" +
           inside + "</emailProvider>\n</clientConfig>\n";
}

std::string Server(const char* element, const char* type, const std::string& host, const std::string& port,
                   const std::string& socketType, const std::string& more = "") {
    return std::string("<") + element + " type=\"" + type + "\"><hostname>" + host + "</hostname><port>" + port +
           "</port><socketType>" + socketType + "</socketType>" + more + "</" + element + ">\n";
}

std::string Smtp(const std::string& host, const std::string& port, const std::string& socketType,
                 const std::string& more = "") {
    return Server("outgoingServer", "smtp", host, port, socketType, more);
}

TServerProposal Proposal(std::string host, int port, ESecurity security, std::string user, std::vector<ESignIn> signIn) {
    return {std::move(host), port, security, std::move(user), std::move(signIn), ESource::Autoconfig, Url};
}

TEST(AutoconfigDocument, ReadsServersBestFirstWithTheAddressPutIn) {
    const std::string document = Config(
        "<domain>example.org</domain><domain>example.net</domain>\n"
        "<displayName>Example Mail</displayName>\n"
        "<incomingServer type=\"pop3\"><hostname>pop.example.org</hostname></incomingServer>\n" +
        Server("incomingServer", "imap", "imap.b\xC3\xBC" "cher.example", "993", "SSL",
               "<username>%EMAILADDRESS%</username><authentication>password-cleartext</authentication>") +
        Smtp("smtp.%EMAILDOMAIN%", "587", "STARTTLS",
             "<username>%EMAILLOCALPART%</username><authentication>password-encrypted</authentication>") +
        Smtp("\n   smtp.example.org  ", " 465 ", "SSL",
             "<username>%EMAILADDRESS%</username><authentication>OAuth2</authentication>"
             "<authentication>password-cleartext</authentication><password>never taken</password>") +
        // Sign-in this program cannot do: skipped, not refused.
        Smtp("ntlm.example.org", "465", "SSL", "<authentication>NTLM</authentication>") +
        "<documentation url=\"https://example.org/help\"><descr lang=\"en\">Help</descr></documentation>\n");

    const TAutoconfigDocument read = ReadAutoconfigDocument(document, Address, Url);

    EXPECT_EQ(read.Refused, "");
    EXPECT_EQ(read.Smtp, (std::vector<TServerProposal>{
                             Proposal("smtp.example.org", 465, ESecurity::Tls, "jo@example.org",
                                      {ESignIn::OAuth2, ESignIn::Password}),
                             Proposal("smtp.example.org", 587, ESecurity::StartTls, "jo", {ESignIn::Password}),
                         }));
    EXPECT_EQ(read.Imap, (std::vector<TImapServer>{
                             {"imap.xn--bcher-kva.example", 993, ESecurity::Tls, "jo@example.org", {ESignIn::Password}}}));
    EXPECT_EQ(read.Domains, (std::vector<std::string>{"example.org", "example.net"}));
}

TEST(AutoconfigDocument, PlainTextIsOnlyTheLastChoice) {
    const TAutoconfigDocument plainOnly = ReadAutoconfigDocument(Config(Smtp("mail.example.org", "25", "plain")), Address, Url);
    EXPECT_EQ(plainOnly.Smtp, (std::vector<TServerProposal>{Proposal("mail.example.org", 25, ESecurity::None, "", {})}));

    const TAutoconfigDocument mixed = ReadAutoconfigDocument(
        Config(Smtp("a.example.org", "25", "plain") + Smtp("b.example.org", "587", "STARTTLS") +
               Smtp("c.example.org", "465", "SSL") + Smtp("d.example.org", "2525", "STARTTLS")),
        Address, Url);
    std::vector<std::string> order;
    for (const auto& proposal : mixed.Smtp) {
        order.push_back(proposal.Host);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"c.example.org", "b.example.org", "d.example.org", "a.example.org"}));
}

TEST(AutoconfigDocument, RefusesWhatItCannotTrust) {
    const std::string valid = Config(Smtp("smtp.example.org", "465", "SSL"));
    std::string deep = "<clientConfig><emailProvider>";
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    std::string manyServers;
    for (std::size_t i = 0; i <= MaxAutoconfigServers; ++i) {
        manyServers += Smtp("smtp.example.org", "465", "SSL");
    }
    const std::string laughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE clientConfig [\n"
        " <!ENTITY a \"aaaaaaaaaa\">\n <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
        " <!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n <!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n"
        " <!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n <!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">\n]>\n"
        "<clientConfig version=\"1.1\"><emailProvider>" + Smtp("&f;", "465", "SSL") +
        "</emailProvider></clientConfig>";
    const struct {
        const char* What;
        std::string Document;
        const char* Reason;  // a part of the reason given
    } cases[] = {
        {"empty", "", "not well-formed"},
        {"truncated", valid.substr(0, valid.size() / 2), "not well-formed"},
        {"text after the root", valid + "<more/>", "not well-formed"},
        {"an element inside a value", Config(Smtp("smtp<b>x</b>.example.org", "465", "SSL")), "not well-formed"},
        {"an undeclared entity", Config(Smtp("&host;", "465", "SSL")), "not well-formed"},
        {"entities declared in a DOCTYPE", laughs, "DOCTYPE"},
        {"an external entity",
         "<!DOCTYPE clientConfig [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n<clientConfig>&x;</clientConfig>",
         "DOCTYPE"},
        {"wrong root", "<html><body>Not found</body></html>", "root element is html"},
        {"wrong namespace",
         "<clientConfig xmlns=\"urn:example:other\" version=\"1.1\"><emailProvider>" +
             Smtp("smtp.example.org", "465", "SSL") + "</emailProvider></clientConfig>",
         "in namespace urn:example:other"},
        {"another version", "<clientConfig version=\"2.0\"/>", "version 2.0"},
        {"deep nesting", deep, "nest deeper than 8"},
        {"too many servers", Config(manyServers), "more than 16 servers"},
        {"oversized value", Config(Smtp(std::string(250, 'a') + ".example.org", "465", "SSL")), "longer than 255"},
        {"oversized document", valid + std::string(MaxAutoconfigBytes, ' '), "larger than 1024 KiB"},
        {"control character", Config(Smtp("smtp.example.org", "465", "SSL", "<username>jo&#x9b;31m</username>")),
         "control characters"},
        {"port 0", Config(Smtp("smtp.example.org", "0", "SSL")), "port \"0\""},
        {"port 65536", Config(Smtp("smtp.example.org", "65536", "SSL")), "port \"65536\""},
        {"port with a sign", Config(Smtp("smtp.example.org", "+465", "SSL")), "port \"+465\""},
        {"port twice", Config(Smtp("smtp.example.org", "465", "SSL", "<port>25</port>")), "port twice"},
        {"no port", Config("<outgoingServer type=\"smtp\"><hostname>smtp.example.org</hostname>"
                           "<socketType>SSL</socketType></outgoingServer>"),
         "lacks"},
        {"unknown socketType", Config(Smtp("smtp.example.org", "465", "TLS")), "socketType \"TLS\""},
        {"host with a blank", Config(Smtp("smtp example.org", "465", "SSL")), "not a host name"},
        {"address literal", Config(Smtp("[192.0.2.1]", "465", "SSL")), "not a host name"},
        {"label starting with a hyphen", Config(Smtp("-smtp.example.org", "465", "SSL")), "not a host name"},
        {"a bad IMAP server", Config(Smtp("smtp.example.org", "465", "SSL") + Server("incomingServer", "imap", "imap.example.org", "99999", "SSL")),
         "port \"99999\""},
        {"no outgoing server", Config(Server("incomingServer", "imap", "imap.example.org", "993", "SSL")),
         "no outgoing SMTP server"},
        {"no server outside emailProvider",
         "<clientConfig><outgoingServer type=\"smtp\"><hostname>smtp.example.org</hostname><port>465</port>"
         "<socketType>SSL</socketType></outgoingServer></clientConfig>",
         "no outgoing SMTP server"},
        {"only sign-in kinds it cannot use", Config(Smtp("smtp.example.org", "465", "SSL", "<authentication>GSSAPI</authentication>")),
         "no outgoing SMTP server"},
    };
    for (const auto& [what, document, reason] : cases) {
        const TAutoconfigDocument read = ReadAutoconfigDocument(document, Address, Url);
        EXPECT_NE(read.Refused.find(reason), std::string::npos) << what << ": " << read.Refused;
        EXPECT_TRUE(read.Smtp.empty() && read.Imap.empty() && read.Domains.empty()) << what;
    }
}

}  // namespace
}  // namespace corvane::account
