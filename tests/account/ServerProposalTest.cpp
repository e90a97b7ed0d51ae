#include "account/ServerProposal.h"

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
