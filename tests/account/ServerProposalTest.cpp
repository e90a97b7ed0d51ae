#include "account/ServerProposal.h"
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
