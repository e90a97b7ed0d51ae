#include "account/SettingsAdvice.h"

#include <algorithm>
#include <array>

#include "account/ServerOAuth2.h"

namespace corvane::account {

namespace {

bool ContainsNoCase(std::string_view text, std::string_view word) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [&lower](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace

std::string ServerFieldText(const TServerProposal& proposal) {
    const bool ipv6 = proposal.Host.find(':') != std::string::npos;
    return (ipv6 ? "[" + proposal.Host + "]" : proposal.Host) + ":" + std::to_string(proposal.Port);
}

TServerSettings SettingsFor(const TServerProposal& proposal, const TServerSettings& kept,
                            const std::vector<TProvider>& table) {
    TServerSettings settings = kept;
    settings.Security = proposal.Security;
    settings.UserName = proposal.Security == mail::ESecurity::None ? std::string() : proposal.UserName;
    if (proposal.Security == mail::ESecurity::None) {
        settings.SignIn = mail::ESignInKind::Password;  // no token crosses a plain connection either
    } else if (!proposal.SignIn.empty()) {
        const auto offers = [&proposal](ESignIn way) {
            return std::find(proposal.SignIn.begin(), proposal.SignIn.end(), way) != proposal.SignIn.end();
        };
        const bool oauth2First = proposal.SignIn.front() == ESignIn::OAuth2;
        const bool oauth2Only = oauth2First && !offers(ESignIn::Password);
        const bool ready = ServerOAuth2(proposal.Host, settings, table).Problem.empty();
        settings.SignIn = oauth2Only || (oauth2First && ready) ? mail::ESignInKind::OAuth2 : mail::ESignInKind::Password;
    }
    // The provider whose server it is (its host and port: a server on this machine is not
    // Proton Mail Bridge for being on 127.0.0.1) names its IMAP server: sent mail is copied there
    // (unless the provider files it itself), and an IMAP server the user chose stays.
    const TProvider* provider = ProviderForSmtpHost(proposal.Host, table);
    if (provider != nullptr && provider->Smtp.Port == proposal.Port && provider->Imap && kept.ImapServer.empty() && proposal.Security != mail::ESecurity::None) {
        settings.ImapServer = provider->Imap->Host + ":" + std::to_string(provider->Imap->Port);
        settings.ImapSecurity = provider->Imap->Security;
        settings.CopyToSent = !provider->SavesSent;
    } else if (!proposal.ImapServer.empty() && kept.ImapServer.empty() && proposal.Security != mail::ESecurity::None) {
        // The provider's setup document names it: copies go there, as other mail programs do.
        settings.ImapServer = proposal.ImapServer;
        settings.ImapSecurity = proposal.ImapSecurity;
        settings.CopyToSent = true;
    }
    return settings;
}

bool SettingsMayExplain(int code, std::string_view text) {
    if (code == 101) {
        return ContainsNoCase(text, "connection refused") || ContainsNoCase(text, "timed out");
    }
    if (code == 103 || code == 530) {
        return true;
    }
    if (code < 500 || code > 599) {
        return false;
    }
    static constexpr std::array<std::string_view, 6> Words{"starttls", "tls", "auth", "encrypt", "relay", "sign in"};
    return std::any_of(Words.begin(), Words.end(), [text](std::string_view word) { return ContainsNoCase(text, word); });
}

}  // namespace corvane::account
