// The provider table the program carries, the checks that keep a broken one from being used,
// and the lookups by address domain and by MX host.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "account/OAuth2Client.h"
#include "account/OAuth2Tokens.h"
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
            "userName": "%EMAILADDRESS%", "signIn": ["oauth2", "app-password"],
            "oauth2": {"client": "one", "issuer": "https://id.one.example", "authorization": "https://id.one.example/auth",
                       "token": "https://id.one.example/token", "scopes": ["mail"]}})";
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
        {R"(["oauth2", "app-password"])", R"(["app-password"])", "\"oauth2\" is not among the ways of signing in"},
        {R"("client": "one")", R"("client": "")", "OAuth2 without a client"},
        {R"("client": "one")", R"("client": "one", "secret": "s")", "oauth2: unknown key \"secret\""},
        {R"("client": "one")", R"("client": "one", "tenant": "org")", "OAuth2 tenant \"org\" without {tenant}"},
        {"https://id.one.example/token", "http://id.one.example/token",
         "OAuth2 token \"http://id.one.example/token\" is not an https URL"},
        {"https://id.one.example/auth", "https://id.one.example/{region}/auth", "a placeholder other than {tenant}"},
        {R"(["mail"])", R"([])", "OAuth2 without scopes"},
        {R"(["mail"])", R"(["mail send"])", "one with a space"},
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

// Google and Microsoft sign in with OAuth2 through the build's client; Microsoft's URLs name
// the tenant, "common" unless one is given.
TEST(ProviderTable, TheOAuth2EntriesGiveTheGrantWithTheTenantFilledIn) {
    const struct {
        const char* Domain;
        const char* Tenant;
        const char* TokenUrl;
        bool Device;
        const char* Client;
    } cases[] = {
        {"gmail.com", "", "https://oauth2.googleapis.com/token", false, "google"},
        {"outlook.com", "", "https://login.microsoftonline.com/common/oauth2/v2.0/token", true, "microsoft"},
        {"hotmail.co.uk", "consumers", "https://login.microsoftonline.com/consumers/oauth2/v2.0/token", true,
         "microsoft"},
    };
    for (const auto& row : cases) {
        const TProvider* provider = FindProvider(row.Domain);
        ASSERT_TRUE(provider != nullptr && provider->OAuth2) << row.Domain;
        const TOAuth2Grant grant = GrantFor(*provider, "jo@example.test", row.Tenant);
        EXPECT_EQ(grant.TokenUrl, row.TokenUrl);
        EXPECT_EQ(grant.DeviceAuthorizationUrl.empty(), !row.Device) << row.Domain;
        EXPECT_EQ(grant.AuthorizationUrl.find("{"), std::string::npos) << grant.AuthorizationUrl;
        EXPECT_EQ(grant.LoginHint, "jo@example.test");
        EXPECT_EQ(grant.ClientId, BuiltInOAuth2Client(row.Client).Id);
        const std::string missing = MissingOAuth2Client(*provider);
        // Google's token endpoint also wants the client secret it gives a desktop program.
        const bool needsSecret = std::string_view(row.Client) == "google";
        EXPECT_EQ(missing.empty(), !grant.ClientId.empty() && (!needsSecret || !grant.ClientSecret.empty())) << missing;
        if (grant.ClientId.empty()) {
            EXPECT_NE(missing.find("CORVANE_OAUTH2_CLIENT_ID_"), std::string::npos) << missing;
            EXPECT_NE(missing.find("docs/OAUTH2.md"), std::string::npos) << missing;
        }
    }
    EXPECT_EQ(FindProvider("gmail.com")->OAuth2->Scopes, std::vector<std::string>{"https://mail.google.com/"});
    EXPECT_EQ(FindProvider("outlook.com")->OAuth2->Scopes,
              (std::vector<std::string>{"https://outlook.office.com/SMTP.Send", "offline_access"}));
    EXPECT_EQ(ProviderForMxHost("x.mail.protection.outlook.com")->OAuth2, FindProvider("live.com")->OAuth2);
    const TProvider* yahoo = FindProvider("yahoo.com");
    ASSERT_TRUE(yahoo != nullptr);
    EXPECT_FALSE(yahoo->OAuth2);
    EXPECT_NE(MissingOAuth2Client(*yahoo).find("password"), std::string::npos);
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
