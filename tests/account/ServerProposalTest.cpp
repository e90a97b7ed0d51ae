#include "account/ServerProposal.h"
#include "account/ServerOAuth2.h"
#include "account/SettingsAdvice.h"

#include <tuple>

#include <gtest/gtest.h>

namespace corvane::account {
namespace {

TEST(ServerProposal, PlaceholdersTakeThePartsOfTheAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"%EMAILADDRESS%", "jo.doe@mail.example.org"},
        {"%EMAILLOCALPART%", "jo.doe"},
        {"%EMAILDOMAIN%", "mail.example.org"},
        {"%EMAILLOCALPART%@%EMAILDOMAIN%-x", "jo.doe@mail.example.org-x"},
        {"%emailaddress% 100% %EMAIL", "%emailaddress% 100% %EMAIL"},
        {"", ""},
    };
    for (const auto& [templ, expanded] : cases) {
        EXPECT_EQ(ExpandPlaceholders(templ, "jo.doe@mail.example.org"), expanded) << templ;
    }
    // The domain follows the last '@': a quoted local part may hold one.
    EXPECT_EQ(ExpandPlaceholders("%EMAILDOMAIN%", "\"a@b\"@example.org"), "example.org");
}

TEST(ServerProposal, DescribesWhatAndWhereFrom) {
    EXPECT_EQ(Describe({"smtp.example.org", 465, mail::ESecurity::Tls, "me@example.org", {}, ESource::ProviderTable,
                        "Example Mail"}),
              "smtp.example.org:465, SSL/TLS, user me@example.org (from the provider table: Example Mail)");
    EXPECT_EQ(Describe({"mx.example.org", 587, mail::ESecurity::StartTls, "", {}, ESource::Srv, ""}),
              "mx.example.org:587, STARTTLS (from the domain's SRV record)");
}

}  // namespace
}  // namespace corvane::account

namespace corvane::account {
namespace {

TEST(SettingsAdvice, AnAcceptedProposalBecomesTheServerFieldAndItsSettings) {
    const TServerSettings kept{mail::ESecurity::None, "typed", false, "AB:CD"};
    const TServerProposal tls{"smtp.example.org", 465, mail::ESecurity::Tls, "jo@example.org", {}, ESource::Srv, ""};
    EXPECT_EQ(ServerFieldText(tls), "smtp.example.org:465");
    EXPECT_EQ(SettingsFor(tls, kept), (TServerSettings{mail::ESecurity::Tls, "jo@example.org", false, "AB:CD"}));
    const TServerProposal plain{"::1", 25, mail::ESecurity::None, "jo", {}, ESource::Autoconfig, ""};
    EXPECT_EQ(ServerFieldText(plain), "[::1]:25");
    EXPECT_EQ(SettingsFor(plain, kept).UserName, "") << "no password in plain text";
}

// A provider taking OAuth2 at smtp.oauth.example, and one taking both at smtp.both.example.
std::vector<TProvider> OAuth2Table() {
    const TOAuth2Provider oauth2{"nobody", "https://id.example", "https://id.example/authorize",
                                 "https://id.example/token", "", {"send"}, ""};
    TProvider only{"only", "Only OAuth2", {"oauth.example"}, {}, {"smtp.oauth.example", 465, mail::ESecurity::Tls},
                   "%EMAILADDRESS%", {ESignIn::OAuth2}, false, std::nullopt, oauth2};
    TProvider both = only;
    both.Id = "both";
    both.Name = "Both Mail";
    both.Domains = {"both.example"};
    both.Smtp.Host = "smtp.both.example";
    both.SignIn = {ESignIn::OAuth2, ESignIn::Password};
    return {only, both};
}

TEST(SettingsAdvice, OAuth2IsChosenWhereTheProviderTakesNothingElseOrThisBuildCanSignInThere) {
    const auto table = OAuth2Table();
    TServerSettings ownClient;
    ownClient.OAuth2ClientId = "own-client";
    TServerSettings oauth2Kept;
    oauth2Kept.SignIn = mail::ESignInKind::OAuth2;
    const auto proposal = [](const char* host, mail::ESecurity security, std::vector<ESignIn> ways) {
        return TServerProposal{host, 465, security, "jo@x.example", std::move(ways), ESource::ProviderTable, ""};
    };
    using enum mail::ESignInKind;
    const std::tuple<TServerProposal, TServerSettings, mail::ESignInKind, const char*> cases[] = {
        {proposal("smtp.oauth.example", mail::ESecurity::Tls, {ESignIn::OAuth2}), {}, OAuth2, "nothing else taken"},
        {proposal("smtp.both.example", mail::ESecurity::Tls, {ESignIn::OAuth2, ESignIn::Password}), {}, Password,
         "this build has no client there"},
        {proposal("smtp.both.example", mail::ESecurity::Tls, {ESignIn::OAuth2, ESignIn::Password}), ownClient, OAuth2,
         "the user's own client"},
        {proposal("smtp.both.example", mail::ESecurity::Tls, {ESignIn::Password, ESignIn::OAuth2}), ownClient,
         Password, "the password preferred"},
        {proposal("smtp.other.example", mail::ESecurity::Tls, {}), oauth2Kept, OAuth2, "a source silent on sign-in"},
        {proposal("smtp.oauth.example", mail::ESecurity::None, {ESignIn::OAuth2}), oauth2Kept, Password,
         "never over a plain connection"},
    };
    for (const auto& [found, kept, expected, why] : cases) {
        EXPECT_EQ(SettingsFor(found, kept, table).SignIn, expected) << why;
    }
}

TEST(SettingsAdvice, TheProvidersImapServerGetsTheCopyOfSentMailUnlessItFilesItItself) {
    auto table = OAuth2Table();
    table[0].Imap = TServerEndpoint{"imap.oauth.example", 993, mail::ESecurity::Tls};
    table[1].Imap = TServerEndpoint{"imap.both.example", 143, mail::ESecurity::StartTls};
    table[1].SavesSent = true;
    const auto found = [&](const char* host) {
        return SettingsFor({host, 465, mail::ESecurity::Tls, "jo", {}, ESource::ProviderTable, ""}, {}, table);
    };
    const TServerSettings copied = found("smtp.oauth.example");
    EXPECT_EQ(copied.ImapServer, "imap.oauth.example:993");
    EXPECT_EQ(copied.ImapSecurity, mail::ESecurity::Tls);
    EXPECT_TRUE(copied.CopyToSent);
    const TServerSettings filed = found("smtp.both.example");
    EXPECT_EQ(filed.ImapServer, "imap.both.example:143");
    EXPECT_FALSE(filed.CopyToSent) << "the provider keeps its own copy";
    TServerSettings own;
    own.ImapServer = "imap.mine.example";
    EXPECT_EQ(SettingsFor({"smtp.oauth.example", 465, mail::ESecurity::Tls, "jo", {}, ESource::Srv, ""}, own, table)
                  .ImapServer,
              "imap.mine.example");
    // A setup document's IMAP server, for a provider the table does not know.
    TServerProposal documented{"mail.auto.example", 587, mail::ESecurity::StartTls, "jo", {}, ESource::Autoconfig, ""};
    documented.ImapServer = "imap.auto.example:993";
    const TServerSettings fromDocument = SettingsFor(documented, {}, table);
    EXPECT_EQ(fromDocument.ImapServer, "imap.auto.example:993");
    EXPECT_EQ(fromDocument.ImapSecurity, mail::ESecurity::Tls);
    EXPECT_TRUE(fromDocument.CopyToSent);
}

TEST(SettingsAdvice, TheServersOAuth2SignInTakesTheUsersClientAndTenantOrSaysWhatIsMissing) {
    const auto table = OAuth2Table();
    TServerSettings settings;
    settings.UserName = "jo@both.example";
    EXPECT_NE(ServerOAuth2("smtp.both.example", settings, table).Problem.find("no OAuth2 registration"), std::string::npos);
    EXPECT_NE(ServerOAuth2("smtp.elsewhere.example", settings, table).Problem.find("knows no OAuth2 sign-in"),
              std::string::npos);
    settings.OAuth2ClientId = "own-client";
    const TServerOAuth2 ready = ServerOAuth2("SMTP.Both.Example.", settings, table);
    EXPECT_EQ(ready.Problem, "");
    EXPECT_EQ(ready.ProviderName, "Both Mail");
    EXPECT_EQ(ready.Grant.ClientId, "own-client");
    EXPECT_EQ(ready.Grant.LoginHint, "jo@both.example");
    EXPECT_EQ(ready.Grant.TokenUrl, "https://id.example/token");
    settings.UserName.clear();
    EXPECT_NE(ServerOAuth2("smtp.both.example", settings, table).Problem.find("user name"), std::string::npos);
}

TEST(SettingsAdvice, OnlyFailuresThatSettingsExplainAskForThem) {
    const std::tuple<int, const char*, bool> cases[] = {
        {101, "Failed to connect the mail server. mail.example.org:25: connection refused.", true},
        {101, "Failed to connect the mail server. mail.example.org:25: timed out.", true},
        {101, "Failed to connect the mail server. nowhere.example: no such host.", false},
        {103, "The mail server did not answer in time.", true},
        {530, "5.7.0 Must issue a STARTTLS command first", true},
        {554, "5.7.1 Relay access denied", true},
        {550, "5.7.57 Client not authenticated to send mail", true},
        {550, "5.1.1 No such user here", false},
        {552, "5.3.4 Message too big", false},
        {421, "4.7.0 Try again later", false},
        {105, "Invalid address: Doe", false},
    };
    for (const auto& [code, text, explains] : cases) {
        EXPECT_EQ(SettingsMayExplain(code, text), explains) << code << " " << text;
    }
}

}  // namespace
}  // namespace corvane::account
