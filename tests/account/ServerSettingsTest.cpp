// One server's settings through a real store in a temporary XDG_CONFIG_HOME.

#include <gtest/gtest.h>

#include "RegistryTestSupport.h"
#include "account/ServerSettings.h"

namespace corvane::account {
namespace {

using mail::ESecurity;

const std::vector<std::string> ServersKey{"HKEY_CURRENT_USER", "Software", "Halden Software", "Corvane", "Servers"};

std::vector<std::string> KeyOf(const std::string& name) {
    std::vector<std::string> path = ServersKey;
    path.push_back(name);
    return path;
}

TEST(ServerSettings, RoundTripByTheServerAsTypedWithoutRegardToCase) {
    test::TScratchRegistry store;
    EXPECT_EQ(LoadServerSettings("mail.example.org:587"), TServerSettings{});
    const TServerSettings chosen{ESecurity::StartTls, "ada",      false, "AB:CD:EF", mail::ESignInKind::OAuth2,
                                 "client-1",         "contoso", true,  "imap.example.org:993", ESecurity::StartTls};
    ASSERT_TRUE(SaveServerSettings(" Mail.Example.org:587 ", chosen));
    EXPECT_EQ(LoadServerSettings("mail.example.org:587"), chosen);
    EXPECT_EQ(LoadServerSettings("mail.example.org"), TServerSettings{});  // another port, another server
    ASSERT_TRUE(SaveServerSettings("mail.example.org", {ESecurity::Tls, "", true, ""}));
    EXPECT_EQ(LoadServerSettings("mail.example.org:587"), chosen);

    test::TRawStore raw(store.StoreFile());
    const auto key = KeyOf("Mail.Example.org:587");
    EXPECT_EQ(raw.Value(key, "Security"), (test::TRawValue{4, std::string("\1\0\0\0", 4)}));
    EXPECT_EQ(raw.Value(key, "UserName"), (test::TRawValue{1, std::string("ada\0", 4)}));
    EXPECT_EQ(raw.Value(key, "RememberPassword"), (test::TRawValue{4, std::string(4, '\0')}));
    EXPECT_EQ(raw.Value(key, "SignIn"), (test::TRawValue{4, std::string("\1\0\0\0", 4)}));
    // A mode number this version does not know reads as None.
    raw.PutValue(raw.KeyId(key), "Security", 4, std::string("\7\0\0\0", 4));
    EXPECT_EQ(LoadServerSettings("mail.example.org:587").Security, ESecurity::None);
    // So does a sign-in kind: the password, as before there was another.
    raw.PutValue(raw.KeyId(key), "SignIn", 4, std::string("\7\0\0\0", 4));
    EXPECT_EQ(LoadServerSettings("mail.example.org:587").SignIn, mail::ESignInKind::Password);
}

TEST(ServerSettings, KeyNamesEscapeWhatWouldSplitOrConfuseThem) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"smtp.example.org", "smtp.example.org"}, {"  [::1]:2525\t", "[::1]:2525"},
        {"a\\b", "a%5Cb"},                         {"a%5Cb", "a%255Cb"},
        {"", ""},                                  {"   ", ""},
        {std::string(255, 'h'), std::string(255, 'h')}, {std::string(254, 'h') + "\\", ""},
    };
    for (const auto& [server, name] : cases) {
        EXPECT_EQ(ServerKeyName(server), name) << server;
    }
    test::TScratchRegistry store;
    ASSERT_TRUE(SaveServerSettings("a\\b", {ESecurity::Tls, "one", true, ""}));
    ASSERT_TRUE(SaveServerSettings("a%5Cb", {ESecurity::StartTls, "two", true, ""}));
    EXPECT_EQ(LoadServerSettings("a\\b").UserName, "one");
    EXPECT_EQ(LoadServerSettings("a%5Cb").UserName, "two");
    EXPECT_FALSE(SaveServerSettings("  ", {}));
    test::TRawStore raw(store.StoreFile());
    EXPECT_EQ(raw.Number("SELECT count(*) FROM keys WHERE parent = " + std::to_string(raw.KeyId(ServersKey))), 2);
}

}  // namespace
}  // namespace corvane::account
