// The provider table the program carries, the checks that keep a broken one from being used,
// and the lookups by address domain and by MX host.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "account/ProviderTable.h"
#include "account/ProviderTableReader.h"
#include "TempFolder.h"

namespace corvane::account {
namespace {

std::string IdOf(const TProvider* provider) {
    return provider == nullptr ? "none" : provider->Id;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

TEST(ProviderTable, TheShippedTablePassesEveryCheckAndEachProviderHasItsSources) {
    const TProviderTableRead read = ReadProviderTable(ShippedProviderDocument());
    EXPECT_TRUE(read.Problems.empty()) << Joined(read.Problems);
    EXPECT_GE(read.Providers.size(), 30u);
    EXPECT_EQ(ShippedProviders().size(), read.Providers.size());

    std::ifstream file(CORVANE_SOURCE_DIR "/docs/PROVIDERS.md");
    const std::string sources{std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>()};
    for (const TProvider& provider : read.Providers) {
        EXPECT_NE(sources.find("| `" + provider.Id + "` |"), std::string::npos)
            << provider.Id << " has no row in docs/PROVIDERS.md";
    }
}

// The user's own table comes first, so its entry for a domain wins; one with any problem is
// not used at all, and says why.
TEST(ProviderTable, AnOwnTableComesBeforeTheShippedOneOrIsNotUsedAtAll) {
    const test::TTempFolder folder;
    const std::string own =
        R"({"version": 1, "providers": [{"id": "site", "name": "Our Site", "domains": ["gmail.com", "site.example"],
            "smtp": {"host": "mail.site.example", "port": 587, "security": "starttls"},
            "userName": "%EMAILLOCALPART%", "signIn": ["password"]}]})";
    const std::vector<TProvider> shipped = ShippedProviders();
    const struct {
        std::filesystem::path File;
        std::string GmailProvider;  // whose entry gmail.com gets
        std::string Problem;        // a part of the first problem, or none
    } cases[] = {
        {folder.Path() / "absent.json", "google", ""},
        {folder.WriteFile("own.json", own), "site", ""},
        {folder.WriteFile("broken.json", own.substr(0, 40)), "google", "broken.json: not JSON at offset"},
        {folder.WriteFile("checks.json", std::string(own).replace(own.find("587"), 3, "0")), "google", "port"},
        {folder.WriteFile("huge.json", std::string(MaxOwnProviderBytes + 1, ' ')), "google", "larger than"},
        {folder.Path(), "google", "cannot be read"},
    };
    for (const auto& expected : cases) {
        const TProviderTableRead read = WithOwnProviders(expected.File, shipped);
        const std::string label = expected.File.filename().string();
        EXPECT_EQ(IdOf(FindProvider("gmail.com", read.Providers)), expected.GmailProvider) << label;
        EXPECT_EQ(read.Providers.size(), shipped.size() + (expected.GmailProvider == "site" ? 1 : 0)) << label;
        if (expected.Problem.empty()) {
            EXPECT_TRUE(read.Problems.empty()) << label << ": " << Joined(read.Problems);
        } else {
            ASSERT_FALSE(read.Problems.empty()) << label;
            EXPECT_NE(read.Problems.front().find(expected.Problem), std::string::npos) << read.Problems.front();
        }
    }
}

TEST(ProviderTable, ABrokenTableIsReportedWithTheEntryAndWhatIsWrong) {
    const std::string good =
        R"({"id": "one", "name": "One", "domains": ["one.example"], "mx": [".mx.one.example"],
            "smtp": {"host": "smtp.one.example", "port": 465, "security": "tls"},
            "userName": "%EMAILADDRESS%", "signIn": ["oauth2", "app-password"]})";
    auto table = [&](const std::string& second) {
        return R"({"version": 1, "providers": [)" + good + "," + second + "]}";
    };
    auto entry = [](const std::string& fields) {
        return R"({"id": "two", "name": "Two", "smtp": {"host": "smtp.two.example", "port": 587, "security": "starttls"},
                   "userName": "%EMAILLOCALPART%", "signIn": ["password"], )" +
               fields + "}";
    };
    const std::pair<std::string, std::string> cases[] = {
        {"{\"version\": 1, \"providers\": [" + good, "not JSON at offset"},
        {R"({"version": 2, "providers": []})", "the table: not version 1"},
        {table(entry(R"("domain": ["two.example"])")),
         "provider 2 (\"two\"): unknown key \"domain\""},
        {table(entry(
             R"("mx": [".mx.two.example"], "imap": {"host": "imap.two.example", "port": 993, "security": "none"})")),
         "provider 2 (\"two\"), imap: security \"none\" is neither"},
        {table(entry(R"("domains": [])")),
         "provider 2 (\"two\"): neither a domain nor an MX suffix"},
        {table(entry(R"("domains": ["One.Example"])")),
         "domain \"One.Example\" is also in provider 1 (\"one\")"},
        {table(entry(R"("domains": ["two"])")), "domain \"two\" is not a lower-case domain name"},
        {table(entry(R"("mx": [".mx.one.example"])")),
         "MX suffix \".mx.one.example\" is also in provider 1"},
        {table(entry(R"("mx": [".one.example"])")),
         "MX suffix \".mx.one.example\" ends with \".one.example\""},
        {table(entry(R"("mx": ["two.example"])")), "MX suffix \"two.example\" is not a dot and"},
        {table(
             R"({"id": "one", "name": "Other", "domains": ["other.example"], "smtp": {"host": "a.example", "port": 25,
                   "security": "tls"}, "userName": "%EMAILADDRESS%", "signIn": ["password"]})"),
         "id \"one\" is also in provider 1"},
    };
    for (const auto& [document, expected] : cases) {
        const TProviderTableRead read = ReadProviderTable(document);
        EXPECT_NE(Joined(read.Problems).find(expected), std::string::npos)
            << "expected: " << expected << "\ngot:\n"
            << Joined(read.Problems);
    }

    // Each field of one entry, broken in turn.
    const std::tuple<std::string, std::string, std::string> fields[] = {
        {R"("port": 465)", R"("port": 0)", "SMTP port 0 is outside 1..65535"},
        {R"("port": 465)", R"("port": 65536)", "SMTP port 65536 is outside"},
        {R"("port": 465)", R"("port": "465")", "smtp: \"port\" is not a whole number"},
        {R"("security": "tls")", R"("security": "none")", "smtp: security \"none\" is neither"},
        {R"("host": "smtp.one.example")", R"("host": "")", "SMTP host \"\" is not"},
        {R"("host": "smtp.one.example")", R"("host": "smtp.one.example:465")",
         "SMTP host \"smtp.one.example:465\" is not"},
        {R"("name": "One")", R"("name": "")", "no name"},
        {R"("%EMAILADDRESS%")", R"("%EMAILADRESS%")", "has an unknown placeholder"},
        {R"(["oauth2", "app-password"])", R"([])", "no way of signing in"},
        {R"(["oauth2", "app-password"])", R"(["oauth2", "oauth2"])", "or one named twice"},
        {R"(["oauth2", "app-password"])", R"(["app-password", "password"])",
         "names a password twice"},
        {R"(["oauth2", "app-password"])", R"(["kerberos"])", "sign-in \"kerberos\" is none of"},
    };
    for (const auto& [field, broken, expected] : fields) {
        std::string entryText = good;
        entryText.replace(entryText.find(field), field.size(), broken);
        const std::string problems = Joined(
            ReadProviderTable(R"({"version": 1, "providers": [)" + entryText + "]}").Problems);
        EXPECT_NE(problems.find("provider 1 (\"one\")"), std::string::npos) << broken << "\n"
                                                                            << problems;
        EXPECT_NE(problems.find(expected), std::string::npos) << broken << "\n" << problems;
    }
    EXPECT_EQ(Joined(ReadProviderTable(R"({"version": 1, "providers": [)" + good + "]}").Problems),
              "");
}

TEST(ProviderTable, FindsProvidersByExactDomainAndByMxHostOnALabelBoundary) {
    const std::pair<const char*, const char*> domains[] = {
        {"gmail.com", "google"},    {"GoogleMail.com", "google"}, {"gmail.com.", "google"},
        {"outlook.com", "outlook"}, {"hotmail.co.uk", "outlook"}, {"me.com", "icloud"},
        {"verizon.net", "verizon"}, {"proton.me", "proton"},      {"mail.gmail.com", "none"},
        {"gmail.co", "none"},       {"example.org", "none"},      {"", "none"},
    };
    for (const auto& [domain, id] : domains) {
        EXPECT_EQ(IdOf(FindProvider(domain)), id) << domain;
    }
    const std::pair<const char*, const char*> hosts[] = {
        {"aspmx.l.google.com", "google"},
        {"ALT1.ASPMX.L.GOOGLE.COM.", "google"},
        {"aspmx2.googlemail.com", "google"},
        {"x.mail.protection.outlook.com", "microsoft365"},
        {"hotmail-com.olc.protection.outlook.com", "outlook"},
        {"mta5.am0.yahoodns.net", "yahoo"},
        {"mx-aol.mail.gm0.yahoodns.net", "aol"},
        {"evilgoogle.com", "none"},
        {"google.com", "none"},
        {"mail.protection.outlook.com", "none"},
        {"aspmx.l.google.com.evil.example", "none"},
        {"", "none"},
    };
    for (const auto& [host, id] : hosts) {
        EXPECT_EQ(IdOf(ProviderForMxHost(host)), id) << host;
    }
}

TEST(ProviderTable, TheProposalTakesTheProvidersServerAndUserNameForm) {
    const TProvider* google = FindProvider("gmail.com");
    const TProvider* free = FindProvider("free.fr");
    const TProvider* proton = FindProvider("pm.me");
    ASSERT_TRUE(google != nullptr && free != nullptr && proton != nullptr);
    EXPECT_EQ(ProposalFor(*google, "Jo.Doe@GMail.com"),
              (TServerProposal{"smtp.gmail.com",
                               465,
                               mail::ESecurity::Tls,
                               "Jo.Doe@GMail.com",
                               {ESignIn::OAuth2, ESignIn::Password},
                               ESource::ProviderTable,
                               "Google Mail"}));
    EXPECT_TRUE(google->AppPassword);
    EXPECT_EQ(ProposalFor(*free, "jo.doe@free.fr").UserName, "jo.doe");
    const TServerProposal bridge = ProposalFor(*proton, "jo@pm.me");
    EXPECT_EQ(std::tie(bridge.Host, bridge.Port, bridge.Security, bridge.UserName),
              std::make_tuple(std::string("127.0.0.1"), 1025, mail::ESecurity::StartTls,
                              std::string("jo@pm.me")));
}

}  // namespace
}  // namespace corvane::account
