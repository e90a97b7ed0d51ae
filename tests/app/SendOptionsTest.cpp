#include "app/send/SendOptions.h"

#include <gtest/gtest.h>

#include <sstream>

#include "TempFolder.h"
#include "app/send/Charset.h"
#include "app/send/Credentials.h"
#include "app/send/FoundServer.h"
#include "app/send/KeptCopy.h"
#include "app/send/SendJob.h"

namespace corvane::send {
namespace {

using namespace std::string_literals;

TParseResult Parse(std::vector<std::string> arguments) { return ParseSendOptions(arguments); }

std::string UsageErrorOf(const TParseResult& result) {
    const auto* error = std::get_if<TUsageError>(&result);
    return error == nullptr ? "<no usage error>" : error->Message;
}

TEST(SendOptions, EveryOptionInBothSpellings) {
    const auto parsed = Parse({"--server", "[::1]:2525", "--from=me@example.org", "--to", "a@example.org, b@example.org",
                               "--cc", "c@example.org", "--bcc=d@example.org", "--subject", "Hello = world",
                               "--attach", "one.txt", "--attach=two.txt", "--signature", "sig.txt",
                               "--priority", "2", "--organization", "Org", "--x-mailer", "Corvane",
                               "--header", "X-A: 1", "--header=X-B: 2", "--reply-to", "r@example.org",
                               "--in-reply-to", "<id@example.org>", "--quiet"});
    ASSERT_TRUE(std::holds_alternative<TSendOptions>(parsed)) << UsageErrorOf(parsed);
    const auto& options = std::get<TSendOptions>(parsed);
    EXPECT_EQ(options.Server, "[::1]:2525");
    EXPECT_EQ(options.From, "me@example.org");
    EXPECT_EQ(options.To, "a@example.org, b@example.org");
    EXPECT_EQ(options.Cc, "c@example.org");
    EXPECT_EQ(options.Bcc, "d@example.org");
    EXPECT_EQ(options.Subject, "Hello = world");
    EXPECT_EQ(options.Attachments, (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(options.SignatureFile, "sig.txt");
    EXPECT_EQ(options.Priority, 2);
    EXPECT_EQ(options.Organization, "Org");
    EXPECT_EQ(options.XMailer, "Corvane");
    EXPECT_EQ(options.Headers, (std::vector<std::string>{"X-A: 1", "X-B: 2"}));
    EXPECT_EQ(options.ReplyTo, "r@example.org");
    EXPECT_EQ(options.InReplyTo, "<id@example.org>");
    EXPECT_TRUE(options.Quiet);
}

TEST(SendOptions, MistakesAreUsageErrorsThatSayWhat) {
    const std::vector<std::string> minimal{"--server", "h", "--from", "f", "--to", "t"};
    const auto with = [&minimal](std::vector<std::string> more) {
        more.insert(more.begin(), minimal.begin(), minimal.end());
        return Parse(more);
    };
    EXPECT_EQ(UsageErrorOf(Parse({"--from", "f", "--to", "t"})), "--server is required");
    EXPECT_EQ(UsageErrorOf(Parse({"--server", "h", "--to", "t"})), "--from is required");
    EXPECT_EQ(UsageErrorOf(Parse({"--server", "h", "--from", "f"})), "--to is required");
    EXPECT_EQ(UsageErrorOf(with({"--subject"})), "--subject needs a value");
    EXPECT_EQ(UsageErrorOf(with({"--colour", "red"})), "unknown argument \"--colour\"");
    EXPECT_EQ(UsageErrorOf(with({"--quiet=yes"})), "--quiet takes no value");
    for (const char* bad : {"0", "6", "two", "1x", ""}) {
        EXPECT_NE(UsageErrorOf(with({"--priority", bad})).find("1 (highest) to 5 (lowest)"),
                  std::string::npos)
            << bad;
    }
    for (const char* port : {"70000", "5877x", "0", ""}) {
        EXPECT_EQ(UsageErrorOf(with({"--server", std::string("h:") + port})),
                  "--server takes a port from 1 to 65535, not \"" + std::string(port) + "\"");
    }
    for (const auto& [arguments, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--sent-copy", "--no-sent-copy"}, "--sent-copy and --no-sent-copy contradict each other: give one"},
             {{"--no-sent-copy", "--imap-server", "imap.example.org"},
              "--imap-server and --imap-security are for the copy to Sent, which --no-sent-copy turns off"},
             {{"--imap-security", "none"},
              "--imap-security takes starttls or tls, not \"none\": the copy to Sent signs in, and never over an "
              "unencrypted connection"},
             {{"--imap-server", "imap.example.org:99999"}, "--imap-server takes a port from 1 to 65535, not \"99999\""},
             {{"--imap-server", ":993"}, "--imap-server needs a host name or address"},
         }) {
        EXPECT_EQ(UsageErrorOf(with(arguments)), error);
    }
    EXPECT_TRUE(std::holds_alternative<THelpRequested>(with({"--help"})));
    EXPECT_TRUE(std::holds_alternative<TVersionRequested>(with({"--version"})));
    EXPECT_TRUE(std::holds_alternative<TSendOptions>(with({})));
}

// The copy to Sent follows the window's settings for the server unless the options say
// otherwise; one the options ask for but cannot be made is a usage error, one the settings ask
// for is left out where the window would leave it out too.
TEST(SendOptions, WhatIsKeptFollowsTheOptionsThenTheWindowsSettings) {
    account::TServerSettings copying;
    copying.CopyToSent = true;
    copying.ImapServer = "imap.example.org:1993";
    copying.ImapSecurity = mail::ESecurity::StartTls;
    const account::TServerSettings none;
    struct TCase {
        std::vector<std::string> Arguments;
        const account::TServerSettings* Settings;
        std::string Expected;  // "archive, HOST:PORT SECURITY FINGERPRINT" or the usage error
    };
    const std::string fingerprint(64, 'a');
    const std::vector<TCase> cases{
        {{}, &none, "archive"},
        {{"--no-archive"}, &none, ""},
        {{}, &copying, "archive, imap.example.org:1993 starttls"},
        {{"--no-sent-copy"}, &copying, "archive"},
        {{"--imap-server", "[::1]"}, &none, "archive, ::1:0 tls"},
        {{"--imap-server", "h.example.org:143", "--imap-security", "starttls", "--no-archive"}, &copying,
         "h.example.org:143 starttls"},
        {{"--imap-security", "tls"}, &copying, "archive, imap.example.org:1993 tls"},
        {{"--imap-server", "smtp.example.org", "--trust-fingerprint", fingerprint}, &none,
         "archive, smtp.example.org:0 tls " + fingerprint},
        {{"--sent-copy"}, &none,
         "--sent-copy needs --imap-server HOST[:PORT]: Corvane's window names no IMAP server for this server"},
        {{"--sent-copy", "--user", ""}, &copying, "--sent-copy signs in to the IMAP server as --user: give --user"},
        {{"--user", ""}, &copying, "archive"},  // the window would not copy without a user either
    };
    for (const auto& row : cases) {
        std::vector<std::string> arguments{"--server", "smtp.example.org:587", "--security", "starttls", "--from",
                                           "me@example.org", "--to", "you@example.org", "--user", "me"};
        arguments.insert(arguments.end(), row.Arguments.begin(), row.Arguments.end());
        const auto parsed = Parse(arguments);
        ASSERT_TRUE(std::holds_alternative<TSendOptions>(parsed)) << UsageErrorOf(parsed);
        const auto plan = KeepPlanFor(std::get<TSendOptions>(parsed), *row.Settings);
        std::string described;
        if (const auto* problem = std::get_if<std::string>(&plan)) {
            described = *problem;
        } else {
            const auto& kept = std::get<TKeepPlan>(plan);
            described = kept.Archive ? "archive" : "";
            if (kept.Copy) {
                described += (kept.Archive ? ", " : "") + kept.Copy->Host + ":" + std::to_string(kept.Copy->Port) +
                             " " + SecurityOptionName(kept.Copy->Security) +
                             (kept.Copy->TrustedFingerprint.empty() ? "" : " " + kept.Copy->TrustedFingerprint);
                EXPECT_EQ(kept.Copy->UserName, "me");
            }
        }
        EXPECT_EQ(described, row.Expected) << ::testing::PrintToString(row.Arguments);
    }
}

TEST(SendText, LinesSplitAtLfWithOptionalCr) {
    EXPECT_EQ(SplitLines(memory::TLargeBuffer("one\r\ntwo\n\nthree")).ToVector(),
              (std::vector<std::string>{"one", "two", "", "three"}));
    EXPECT_EQ(SplitLines(memory::TLargeBuffer("last\n")).ToVector(),
              (std::vector<std::string>{"last"}));
    EXPECT_EQ(SplitLines(memory::TLargeBuffer("lone\rcr\r\r\n")).ToVector(),
              (std::vector<std::string>{"lone\rcr\r"}));
    EXPECT_TRUE(SplitLines(memory::TLargeBuffer("")).Empty());
}

TSendOptions Minimal() {
    TSendOptions options;
    options.Server = "mail.example.org";
    options.From = "me@example.org";
    options.To = "you@example.org";
    return options;
}

// A file that stops the send is named before connecting, with why, even with --quiet.
TEST(SendJob, FileProblemsAreSaidBeforeConnectingEvenWhenQuiet) {
    test::TTempFolder folder;
    const std::string attachment = folder.WriteFile("plan.pdf", "%PDF").string();
    const std::string missing = (folder.Path() / "missing.txt").string();
    const std::string directory = folder.Path().string();
    const std::string nulSignature = folder.WriteFile("sig.txt", "-- \n\0Ann\n"s).string();
    struct TCase {
        std::vector<std::string> Attachments;
        std::optional<std::string> Signature;
        int Exit;
        std::string Status;
    };
    const std::vector<TCase> cases{
        {{attachment, missing}, std::nullopt, ExitFailed, "File " + missing + " not found!\n"},
        {{attachment}, missing, ExitFailed, "File " + missing + " not found!\n"},
        {{}, directory, ExitFailed, "corvane-send: cannot read the signature file " + directory + ": Is a directory\n"},
        {{}, nulSignature, ExitUsage, "corvane-send: the signature file holds a NUL byte at offset 4\n"},
    };
    for (const auto& row : cases) {
        TSendOptions options = Minimal();
        options.Server = "127.0.0.1:1";  // never reached
        options.Quiet = true;
        options.Attachments = row.Attachments;
        options.SignatureFile = row.Signature;
        std::istringstream text("hello\n");
        std::ostringstream status;
        mail::TWrenSMTP smtp;
        const std::atomic<bool> interrupted{false};
        EXPECT_EQ(RunSend(options, {}, text, status, smtp, interrupted), row.Exit) << row.Status;
        EXPECT_EQ(status.str(), row.Status);
    }
}

// What a parse asks for, in a word: "find ADDRESS [quiet]", "send auto", or the usage error.
std::string RequestOf(const TParseResult& result) {
    if (const auto* find = std::get_if<TFindServerRequested>(&result)) {
        return "find " + find->Address + (find->Quiet ? " quiet" : "");
    }
    if (const auto* send = std::get_if<TSendOptions>(&result)) {
        return "send " + std::string(FindsServer(*send) ? "auto" : send->Server);
    }
    return UsageErrorOf(result);
}

TEST(SendOptions, FindServerTakesOneAddressAndServerAutoTheOneInFrom) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--find-server", "me@example.org"}, "find me@example.org"},
        {{"--quiet", "--find-server=Me <me@example.org>"}, "find me@example.org quiet"},
        {{"--find-server", "not an address"}, "--find-server takes a mail address (user@domain), not \"not an address\""},
        {{"--find-server", "a@example.org, b@example.org"},
         "--find-server takes a mail address (user@domain), not \"a@example.org, b@example.org\""},
        {{"--find-server", "me@example.org", "--to", "t"}, "--find-server takes no other option than --quiet"},
        {{"--server", "h", "--find-server", "me@example.org"}, "--find-server takes no other option than --quiet"},
        {{"--find-server"}, "--find-server needs a value"},
        {{"--server", "auto", "--from", "Me <me@example.org>", "--to", "t", "--password-file", "pw"}, "send auto"},
        {{"--server", "auto", "--from", "me@example.org", "--to", "t", "--security", "tls"},
         "--server auto takes the security of the server it finds: leave out --security"},
        {{"--server", "auto", "--from", "a@example.org, b@example.org", "--to", "t"},
         "--server auto looks the server up for the address in --from, and \"a@example.org, b@example.org\" is not "
         "one address"},
        {{"--server", "auto", "--from", "me", "--to", "t"},
         "--server auto looks the server up for the address in --from, and \"me\" is not one address"},
    };
    for (const auto& [arguments, expected] : cases) {
        EXPECT_EQ(RequestOf(Parse(arguments)), expected) << arguments.front() << " " << arguments[1];
    }
}

account::TServerProposal Found(std::string host, int port, mail::ESecurity security, std::string user,
                               std::vector<account::ESignIn> signIn, account::ESource source) {
    return {std::move(host), port, security, std::move(user), std::move(signIn), source, ""};
}

// What --find-server prints is a shell's words, and names the user --server auto signs in
// as: never one over a plain connection, nor one a server without AUTH would refuse.
TEST(FoundServer, OptionsPrintedAreShellWordsWithTheUserServerAutoSignsInAs) {
    using account::ESignIn;
    using account::ESource;
    using mail::ESecurity;
    const std::vector<std::tuple<account::TServerProposal, std::string, std::string>> cases{
        {Found("smtp.example.org", 465, ESecurity::Tls, "me@example.org", {ESignIn::Password}, ESource::ProviderTable),
         "--server smtp.example.org:465 --security tls --user me@example.org", "me@example.org"},
        {Found("smtp.example.org", 587, ESecurity::StartTls, "o'hara smith", {ESignIn::OAuth2, ESignIn::Password},
               ESource::Autoconfig),
         "--server smtp.example.org:587 --security starttls --user 'o'\\''hara smith'", "o'hara smith"},
        // SRV records say nothing of signing in; a submission server asks for it.
        {Found("smtp.example.org", 465, ESecurity::Tls, "me@example.org", {}, ESource::Srv),
         "--server smtp.example.org:465 --security tls --user me@example.org", "me@example.org"},
        {Found("::1", 587, ESecurity::StartTls, "me@example.org", {}, ESource::Probe),
         "--server '[::1]:587' --security starttls", ""},
        {Found("mail.example.org", 25, ESecurity::None, "me@example.org", {ESignIn::Password}, ESource::Autoconfig),
         "--server mail.example.org:25 --security none", ""},
    };
    for (const auto& [found, printed, user] : cases) {
        EXPECT_EQ(ServerOptions(found), printed);
        TSendOptions options = Minimal();
        options.Server = "auto";
        const auto sent = WithFoundServer(options, found);
        ASSERT_TRUE(std::holds_alternative<TSendOptions>(sent)) << printed;
        EXPECT_EQ(std::get<TSendOptions>(sent).User, user) << printed;
        EXPECT_EQ(std::get<TSendOptions>(sent).Security, found.Security) << printed;
        EXPECT_EQ(ServerOf(std::get<TSendOptions>(sent)).Port, std::to_string(found.Port)) << printed;
    }
    EXPECT_EQ(ShellQuoted(""), "''");
    EXPECT_EQ(ShellQuoted("$HOME;`id`"), "'$HOME;`id`'");
}

TEST(FoundServer, ServerAutoKeepsTheUserTypedAndNeverSignsInWithoutEncryption) {
    const auto probed = Found("127.0.0.1", 465, mail::ESecurity::Tls, "me@example.org", {}, account::ESource::Probe);
    const auto plain = Found("mail.example.org", 25, mail::ESecurity::None, "me@example.org", {}, account::ESource::Probe);
    TSendOptions options = Minimal();
    options.Server = "auto";
    options.User = "typed";
    EXPECT_EQ(std::get<TSendOptions>(WithFoundServer(options, probed)).User, "typed");
    EXPECT_EQ(std::get<std::string>(WithFoundServer(options, plain)),
              "the server found, mail.example.org:25, offers no encryption, and a password never crosses an "
              "unencrypted connection");
    options.User.clear();
    options.PasswordFile = "pw";  // a password file asks for a sign-in the server did not offer
    EXPECT_EQ(std::get<TSendOptions>(WithFoundServer(options, probed)).User, "me@example.org");
    EXPECT_TRUE(std::holds_alternative<std::string>(WithFoundServer(options, plain)));
    options.PasswordFile.reset();
    options.User = "typed";
    options.Auth = EAuth::OAuth2;
    EXPECT_EQ(std::get<std::string>(WithFoundServer(options, plain)),
              "the server found, mail.example.org:25, offers no encryption, and a token never crosses an "
              "unencrypted connection");
}

TEST(SendOptions, SecurityUserPasswordFileAndFingerprint) {
    const std::string fingerprint =
        "ab:CD:01:23:45:67:89:ef:ab:cd:01:23:45:67:89:ef:ab:cd:01:23:45:67:89:ef:ab:cd:01:23:45:67:89:EF";
    const auto parsed = Parse({"--server", "h", "--from", "f", "--to", "t", "--security=starttls", "--user", "ada",
                               "--password-file", "/run/pw", "--trust-fingerprint", fingerprint});
    ASSERT_TRUE(std::holds_alternative<TSendOptions>(parsed)) << UsageErrorOf(parsed);
    const auto& options = std::get<TSendOptions>(parsed);
    EXPECT_EQ(options.Security, mail::ESecurity::StartTls);
    EXPECT_EQ(options.User, "ada");
    EXPECT_EQ(options.PasswordFile, "/run/pw");
    EXPECT_EQ(options.TrustFingerprint, fingerprint);

    const std::vector<std::string> minimal{"--server", "h", "--from", "f", "--to", "t"};
    const std::string hex64(64, 'a');
    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes{
        {{"--security", "ssl"}, "--security takes none, starttls or tls, not \"ssl\""},
        {{"--security", "tls", "--password-file", "pw"}, "--password-file needs --user"},
        {{"--user", "ada"}, "--user needs --security starttls or tls"},
        {{"--trust-fingerprint", hex64.substr(1)}, "--trust-fingerprint takes a SHA-256 fingerprint, 64 hex digits (colons allowed)"},
        {{"--trust-fingerprint", hex64 + "a"}, "--trust-fingerprint takes a SHA-256 fingerprint, 64 hex digits (colons allowed)"},
        {{"--trust-fingerprint", hex64.substr(1) + "g"}, "--trust-fingerprint takes a SHA-256 fingerprint, 64 hex digits (colons allowed)"},
        // A password typed where it does not belong is not repeated.
        {{"--password=hunter2"}, "unknown argument \"--password\""},
    };
    for (const auto& [more, error] : mistakes) {
        std::vector<std::string> arguments = minimal;
        arguments.insert(arguments.end(), more.begin(), more.end());
        EXPECT_EQ(UsageErrorOf(Parse(arguments)), error) << more.front();
    }
}

// The token's source is chosen once and only for --auth oauth2, which signs in as --user and
// never over a plain connection: with --server auto that waits for the server found.
TEST(SendOptions, AuthOAuth2TakesAUserEncryptionAndOneSourceOfTheToken) {
    const auto described = [](const TParseResult& result) {
        const auto* options = std::get_if<TSendOptions>(&result);
        if (options == nullptr) {
            return UsageErrorOf(result);
        }
        return std::string(options->Auth == EAuth::OAuth2 ? "oauth2" : "password") +
               (options->TokenCommand ? " command " + *options->TokenCommand : "") +
               (options->OAuth2Device ? " device" : "");
    };
    const std::vector<std::string> tls{"--security", "tls", "--user", "ada"};
    const auto with = [&tls](std::vector<std::string> more) {
        more.insert(more.begin(), tls.begin(), tls.end());
        return more;
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "password"},
        {with({"--auth", "password"}), "password"},
        {with({"--auth=oauth2"}), "oauth2"},
        {with({"--auth", "oauth2", "--token-command", "pass show mail | head -1"}),
         "oauth2 command pass show mail | head -1"},
        {with({"--oauth2-device", "--auth", "oauth2"}), "oauth2 device"},
        {{"--server", "auto", "--from", "me@example.org", "--user", "ada", "--auth", "oauth2"}, "oauth2"},
        {with({"--auth", "xoauth2"}), "--auth takes password or oauth2, not \"xoauth2\""},
        {{"--security", "tls", "--auth", "oauth2"}, "--auth oauth2 needs --user"},
        {{"--server", "auto", "--from", "me@example.org", "--auth", "oauth2"}, "--auth oauth2 needs --user"},
        {{"--user", "ada", "--auth", "oauth2"},
         "--auth oauth2 needs --security starttls or tls: a token never crosses an unencrypted connection"},
        {with({"--token-command", "echo token"}), "--token-command needs --auth oauth2"},
        {with({"--auth", "password", "--oauth2-device"}), "--oauth2-device needs --auth oauth2"},
        {with({"--auth", "oauth2", "--token-command", "echo token", "--oauth2-device"}),
         "--token-command and --oauth2-device are two sources of the token: give one"},
        {with({"--auth", "oauth2", "--password-file", "pw"}),
         "--password-file is for --auth password: --auth oauth2 signs in with a token"},
        {with({"--auth", "oauth2", "--token-command="}), "--token-command needs a command to run"},
        {with({"--auth", "oauth2", "--oauth2-device=yes"}), "--oauth2-device takes no value"},
    };
    for (const auto& [more, expected] : cases) {
        std::vector<std::string> arguments{"--server", "h", "--from", "f", "--to", "t"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        EXPECT_EQ(described(Parse(arguments)), expected) << testing::PrintToString(more);
    }
    EXPECT_EQ(UsageErrorOf(Parse({"--find-server", "me@example.org", "--oauth2-device"})),
              "--find-server takes no other option than --quiet");
}

TEST(SendCredentials, TheDefaultPortFollowsTheSecurity) {
    const std::vector<std::tuple<std::string, mail::ESecurity, std::string, std::string>> cases{
        {"mail.example.org", mail::ESecurity::None, "mail.example.org", "25"},
        {"mail.example.org", mail::ESecurity::StartTls, "mail.example.org", "587"},
        {"[::1]", mail::ESecurity::Tls, "::1", "465"},
        {"mail.example.org:2525", mail::ESecurity::Tls, "mail.example.org", "2525"},
    };
    for (const auto& [typed, security, host, port] : cases) {
        TSendOptions options = Minimal();
        options.Server = typed;
        options.Security = security;
        const mail::TServerAddress server = ServerOf(options);
        EXPECT_EQ(server.Host, host) << typed;
        EXPECT_EQ(server.Port, port) << typed;
    }
}

TEST(SendCredentials, PasswordFromTheFilesFirstLineElseTheKeyringElseAProblemNamingWhatIsMissing) {
    test::TTempFolder folder;
    TSendOptions options = Minimal();
    options.Security = mail::ESecurity::StartTls;
    options.User = "ada";
    std::vector<std::string> asked;
    account::TKeyringAnswer answer{account::EKeyringStatus::Done, "from the keyring", {}};
    const TKeyringReader keyring = [&](const std::string& key) {
        asked.push_back(key);
        return answer;
    };
    EXPECT_TRUE(FindPassword(options, keyring).Password == "from the keyring");
    EXPECT_EQ(asked, std::vector<std::string>{"ada@mail.example.org:587"});

    answer = {account::EKeyringStatus::NotFound, {}, {}};
    const TPasswordLookup none = FindPassword(options, keyring);
    EXPECT_FALSE(none.Password.has_value());
    EXPECT_NE(none.Problem.find("no password for ada@mail.example.org:587"), std::string::npos) << none.Problem;
    EXPECT_NE(none.Problem.find("--password-file"), std::string::npos) << none.Problem;
    answer = {account::EKeyringStatus::Unavailable, {}, "no Secret Service"};
    EXPECT_NE(FindPassword(options, keyring).Problem.find("(no Secret Service)"), std::string::npos);

    asked.clear();
    options.PasswordFile = folder.WritePrivateFile("pw", "first line\r\nsecond\n").string();
    EXPECT_TRUE(FindPassword(options, keyring).Password == "first line");
    EXPECT_TRUE(asked.empty());  // a password file is the whole answer
    options.PasswordFile = folder.WritePrivateFile("empty", "\nsecond\n").string();
    EXPECT_NE(FindPassword(options, keyring).Problem.find("holds no password"), std::string::npos);
    options.PasswordFile = (folder.Path() / "missing").string();
    EXPECT_EQ(FindPassword(options, keyring).Problem, "cannot read a password from " + *options.PasswordFile);
    options.PasswordFile = folder.Path().string();
    EXPECT_EQ(FindPassword(options, keyring).Problem,
              "cannot read the password file " + *options.PasswordFile + ": Is a directory");
}

// As ssh refuses a key file others can read; the mode is that of the file opened.
TEST(SendCredentials, APasswordFileOthersMayReadIsRefusedWithHowToFixIt) {
    test::TTempFolder folder;
    TSendOptions options = Minimal();
    options.Security = mail::ESecurity::StartTls;
    options.User = "ada";
    options.PasswordFile = folder.WritePrivateFile("pw", "secret\n").string();
    const TKeyringReader unused = [](const std::string&) { return account::TKeyringAnswer{}; };
    using std::filesystem::perms;
    for (const auto& [added, mode] : {std::pair{perms::group_read, "0640"}, {perms::others_read, "0604"}}) {
        std::filesystem::permissions(*options.PasswordFile, perms::owner_read | perms::owner_write | added);
        const TPasswordLookup refused = FindPassword(options, unused);
        EXPECT_FALSE(refused.Password.has_value());
        EXPECT_EQ(refused.Problem, "the password file " + *options.PasswordFile + " is readable by group or others (mode " +
                                       mode + "): make it yours alone with chmod 600 " + *options.PasswordFile);
    }
    std::filesystem::permissions(*options.PasswordFile, perms::owner_read | perms::group_write);
    EXPECT_TRUE(FindPassword(options, unused).Password == "secret");
}

// The UTF-8 check (RFC 3629) names the first byte of the first bad sequence, as iconv
// does for every other charset.
// A NUL is refused too, in whichever part of the check meets it, at its offset in the input.
TEST(Charset, Utf8IsCheckedWithItsBadByteNamed) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"UTF-8", "plain ASCII, longer than eight bytes", ""},
        {"UTF-8", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x8e\x89", ""},
        {"UTF-8", "overlong \xc0\xaf", "is not valid UTF-8 at byte 9"},
        {"UTF-8", "overlong \xe0\x80\xaf", "is not valid UTF-8 at byte 9"},
        {"UTF-8", "surrogate \xed\xa0\x80", "is not valid UTF-8 at byte 10"},
        {"UTF-8", "too high \xf4\x90\x80\x80", "is not valid UTF-8 at byte 9"},
        {"UTF-8", "lone \x80", "is not valid UTF-8 at byte 5"},
        {"UTF-8", "cut at the end \xf0\x9f\x8e", "is not valid UTF-8 at byte 15"},
        {"UTF-8", "\0"s, "holds a NUL byte at offset 0"},
        {"UTF-8", "eight by\0tes"s, "holds a NUL byte at offset 8"},
        {"UTF-8", "a word, then\0 the rest of it"s, "holds a NUL byte at offset 12"},
        {"UTF-8", "\xc3\xbc\0"s, "holds a NUL byte at offset 2"},
        {"ISO-8859-15", "Gr\xfc\xdf\0e"s, "holds a NUL byte at offset 4"},
        {"UTF-16", "\xff\xfe" "a\0\0\0"s, "holds a NUL byte at offset 4"},
    };
    for (const auto& [charset, text, error] : cases) {
        const auto result = ToUtf8(memory::TLargeBuffer(text), charset);
        const auto* refused = std::get_if<TCharsetError>(&result);
        EXPECT_EQ(refused ? refused->Message : "", error) << text;
        EXPECT_TRUE(refused || charset != "UTF-8" || std::get<memory::TLargeBuffer>(result).View() == text);
    }
}

}  // namespace
}  // namespace corvane::send
