#include "account/ServerFinder.h"

#include <algorithm>

#include "account/LaterCall.h"
#include "mail/AddressList.h"
#include "mail/ScreenText.h"

namespace corvane::account {

std::string DomainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    std::string domain(at == std::string_view::npos ? std::string_view() : address.substr(at + 1));
    std::transform(domain.begin(), domain.end(), domain.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return domain;
}

std::string LookingUpText(std::string_view domain) {
    return "Looking up the mail server for " + mail::ScreenSafe(domain) + " . . .";
}

std::string NothingFoundText(std::string_view domain) {
    return "No mail server found for " + mail::ScreenSafe(domain) + ": type it into Smtp.";
}

TServerProposal ForAddress(TServerProposal proposal, std::string_view address) {
    if (proposal.UserName.empty()) {
        proposal.UserName = std::string(address);
    }
    return proposal;
}

namespace {

// Proposal with the document's first encrypted IMAP server that signs in as the proposal does
// (the copy to Sent uses the send's credentials).
TServerProposal WithImapServer(TServerProposal proposal, const std::vector<TImapServer>& servers) {
    for (const TImapServer& imap : servers) {
        if (imap.Security != mail::ESecurity::None && imap.UserName == proposal.UserName) {
            proposal.ImapServer = imap.Host + ":" + std::to_string(imap.Port);
            proposal.ImapSecurity = imap.Security;
            break;
        }
    }
    return proposal;
}

}  // namespace

TServerFinder::TServerFinder(TFinderOptions options)
    : m_options(std::move(options)),
      m_autoconfig(m_options.Autoconfig),
      m_srv(m_options.Dns),
      m_mx(m_options.Dns),
      m_probe(m_options.ProbeDeadline) {
    m_autoconfig.OnDone = [this](TAutoconfigLookup&, const TAutoconfigOutcome& outcome) {
        const auto& servers = outcome.Document.Smtp;
        if (outcome.Found && !servers.empty() && servers.front().Security != mail::ESecurity::None) {
            Finish(WithImapServer(servers.front(), outcome.Document.Imap));
            return;
        }
        if (outcome.Found && !servers.empty()) {
            m_plainOnly = servers.front();
        }
        AskSrv();
    };
    m_srv.OnDone = [this](TSrvLookup&, EDnsOutcome outcome, const std::vector<TServerProposal>& proposals) {
        outcome == EDnsOutcome::Found && !proposals.empty() ? Finish(proposals.front()) : AskMx();
    };
    m_mx.OnDone = [this](TMxLookup&, EDnsOutcome, const std::vector<std::string>& hosts) {
        for (const std::string& host : hosts) {
            if (const TProvider* provider = ProviderForMxHost(host, *m_options.Providers)) {
                TServerProposal proposal = ProposalFor(*provider, m_address);
                proposal.Source = ESource::Mx;
                proposal.SourceDetail = provider->Name + ", mail exchanger " + host;
                Finish(std::move(proposal));
                return;
            }
        }
        Probe();
    };
    m_probe.OnDone = [this](TServerProbe&, const std::optional<TServerProposal>& found) {
        Finish(found ? found : m_plainOnly);
    };
}

TServerFinder::~TServerFinder() = default;

void TServerFinder::Start(const std::string& address) {
    Cancel();
    m_address = address;
    m_domain = DomainOf(address);
    m_plainOnly.reset();
    m_running = true;
    if (!mail::IsMailbox(address)) {
        Finish(std::nullopt);
        return;
    }
    if (const TProvider* provider = FindProvider(m_domain, *m_options.Providers)) {
        Finish(ProposalFor(*provider, address));
        return;
    }
    AskAutoconfig();
}

void TServerFinder::Cancel() {
    m_running = false;
    m_autoconfig.Cancel();
    m_srv.Cancel();
    m_mx.Cancel();
    m_probe.Cancel();
    // A Finish already queued for the search that ends here must not be delivered.
    m_alive = std::make_shared<int>();
}

void TServerFinder::AskAutoconfig() {
    m_autoconfig.Start(m_address);
}

void TServerFinder::AskSrv() {
    m_srv.Start(m_domain);
}

void TServerFinder::AskMx() {
    m_mx.Start(m_domain);
}

void TServerFinder::Probe() {
    m_probe.Start(m_options.Candidates(m_domain));
}

void TServerFinder::Finish(std::optional<TServerProposal> found) {
    TFinderResult result;
    if (found) {
        result.Found = ForAddress(std::move(*found), m_address);
    } else {
        result.Text = NothingFoundText(m_domain);
    }
    // From the event loop, so that a handler may start, cancel or destroy the finder.
    CallLater(std::chrono::milliseconds(0), m_alive, [this, result = std::move(result)] {
        m_running = false;
        if (OnDone) {
            OnDone(*this, result);
        }
    });
}

}  // namespace corvane::account
