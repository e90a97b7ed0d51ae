// The keyring unit against a real Secret Service (gnome-keyring-daemon on a D-Bus session
// bus of the test's own, PrivateSecretService.h), corvane-send
// signing in with the entry the window keeps there, the keyring unit against no Secret
// Service at all, and the password book's rules with a keyring in memory.
//
// libsecret keeps its bus connection for the life of the process, so each test needs a
// process of its own; ctest runs every test so. Passwords are compared without printing
// them, so no secret reaches the test's output.

#include <gtest/gtest.h>

#include <cstdlib>

#include "AiosmtpdServer.h"
#include "MemoryKeyring.h"
#include "PrivateSecretService.h"
#include "ProgramProcess.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"
#include "TestCertificates.h"
#include "account/Keyring.h"
#include "account/Passwords.h"

namespace corvane::account {
namespace {

using namespace std::chrono_literals;
using test::LookedUpBySecretTool;
using test::TPrivateSecretService;
using test::TProgramProcess;

TEST(Keyring, RealSecretServiceStoresReplacesAndRemovesEntries) {
    TPrivateSecretService service;
    ASSERT_EQ(service.Problem(), "");
    TSecretServiceKeyring keyring;
    const std::string key = PasswordKey("ada", "127.0.0.1", "587");
    EXPECT_EQ(keyring.Read(key).Status, EKeyringStatus::NotFound);

    const std::string first = "first pässwörd ✓";
    ASSERT_EQ(keyring.Write(key, first).Status, EKeyringStatus::Done) << keyring.Write(key, first).Problem;
    EXPECT_TRUE(LookedUpBySecretTool(key) == first);
    const TKeyringAnswer read = keyring.Read(key);
    EXPECT_EQ(read.Status, EKeyringStatus::Done);
    EXPECT_TRUE(read.Password == first);

    ASSERT_EQ(keyring.Write(key, "second").Status, EKeyringStatus::Done);
    EXPECT_TRUE(keyring.Read(key).Password == "second");
    // Another user of the same server is another entry.
    EXPECT_EQ(keyring.Read(PasswordKey("bob", "127.0.0.1", "587")).Status, EKeyringStatus::NotFound);

    EXPECT_EQ(keyring.Remove(key).Status, EKeyringStatus::Done);
    EXPECT_EQ(keyring.Read(key).Status, EKeyringStatus::NotFound);
    EXPECT_FALSE(LookedUpBySecretTool(key).has_value());
}

TEST(Keyring, CorvaneSendSignsInWithThePasswordTheWindowKeepsInTheKeyring) {
    TPrivateSecretService service;
    ASSERT_EQ(service.Problem(), "");
    const auto& certificates = test::TTestCertificates::Shared();
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TTrustOnly trust(certificates.CaFile);
    const auto options = test::SignInRequired(test::TAiosmtpdOptions::ESecurity::StartTls, certificates.Loopback.Certificate,
                                              certificates.Loopback.Key, "ada", "kept by the window");
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    ASSERT_EQ(TSecretServiceKeyring().Write(PasswordKey("ada", "127.0.0.1", server.Port()), options.Password).Status,
              EKeyringStatus::Done);

    TProgramProcess send({CORVANE_SEND_BINARY, "--server", "127.0.0.1:" + server.Port(), "--from", "ada@example.org",
                          "--to", "bob@example.org", "--security", "starttls", "--user", "ada"},
                         "Hello\n");
    ASSERT_EQ(send.WaitForExit(60s), 0) << send.Error();
    EXPECT_EQ(send.Error().find(options.Password), std::string::npos);
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->Auth.ends_with(" ada")) << message->Auth;
}

TEST(Keyring, WithoutASecretServiceEveryRequestIsUnavailableWithAReason) {
    test::TTempFolder folder;
    const std::string nowhere = "unix:path=" + (folder.Path() / "no-bus-here").string();
    ::setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), 1);
    TSecretServiceKeyring keyring(5s);
    const auto started = std::chrono::steady_clock::now();
    const TKeyringAnswer read = keyring.Read(PasswordKey("ada", "::1", "465"));
    EXPECT_EQ(read.Status, EKeyringStatus::Unavailable);
    EXPECT_NE(read.Problem, "");
    EXPECT_EQ(keyring.Write(PasswordKey("ada", "::1", "465"), "secret").Status, EKeyringStatus::Unavailable);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);  // an error, not the time limit
}

TEST(Keyring, ABusThatNeverAnswersIsGivenUpOnAtTheLimit) {
    test::TScriptedSmtpServer silent{test::TSmtpScript()};  // takes the connection, never says a word
    ASSERT_TRUE(silent.Listening());
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("tcp:host=127.0.0.1,port=" + silent.Port()).c_str(), 1);
    TSecretServiceKeyring keyring(1500ms);
    const auto started = std::chrono::steady_clock::now();
    const TKeyringAnswer read = keyring.Read(PasswordKey("ada", "127.0.0.1", "587"));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(read.Status, EKeyringStatus::Unavailable);
    EXPECT_EQ(read.Problem, "the keyring did not answer within 2 seconds");
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 5s);
}

TEST(PasswordBook, RemembersInTheKeyringAndAsksAgainAfterARefusal) {
    auto owned = std::make_unique<test::TMemoryKeyring>();
    test::TMemoryKeyring& keyring = *owned;
    TPasswordBook book(std::move(owned));
    EXPECT_FALSE(book.Find("k").has_value());
    book.Keep("k", "one", true);
    EXPECT_TRUE(keyring.Entries["k"] == "one");
    EXPECT_TRUE(book.Find("k") == "one");
    // A refused password is not offered again, but the keyring keeps it until a new one is typed.
    book.Refused("k");
    EXPECT_FALSE(book.Find("k").has_value());
    EXPECT_TRUE(keyring.Entries["k"] == "one");
    book.Keep("k", "two", true);
    EXPECT_TRUE(book.Find("k") == "two");
    EXPECT_TRUE(keyring.Entries["k"] == "two");
    // "Remember password" off: out of the keyring, kept for this run only.
    book.Keep("k", "three", false);
    EXPECT_EQ(keyring.Entries.count("k"), 0u);
    EXPECT_TRUE(book.Find("k") == "three");
    EXPECT_EQ(book.TakeNotice(), "");
}

TEST(PasswordBook, WithoutAKeyringKeepsPasswordsInMemoryAndSaysSoOnce) {
    auto owned = std::make_unique<test::TMemoryKeyring>();
    test::TMemoryKeyring& keyring = *owned;
    keyring.Available = false;
    TPasswordBook book(std::move(owned));
    EXPECT_FALSE(book.Find("k").has_value());
    EXPECT_FALSE(book.KeyringAvailable());
    const std::string notice = book.TakeNotice();
    EXPECT_NE(notice.find("not remembered"), std::string::npos) << notice;
    EXPECT_NE(notice.find("no Secret Service on the session bus"), std::string::npos) << notice;
    EXPECT_EQ(book.TakeNotice(), "");
    book.Keep("k", "typed", true);
    EXPECT_TRUE(book.Find("k") == "typed");
    EXPECT_EQ(keyring.Requests, 1);  // never asked again after it failed
}

}  // namespace
}  // namespace corvane::account
