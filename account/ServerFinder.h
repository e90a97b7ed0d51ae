#pragma once
// Finds the settings for sending as an address: the provider table, the provider's own
// configuration document, the domain's SRV records, its MX hosts at a provider of the table,
// and at last probing likely hosts, in that order; the first source that answers wins. Every
// source is bounded in time and the whole search can be cancelled. The result is a proposal
// for the user to accept; nothing here writes a setting.
//
// Used from one thread, whose event loop it reports on: OnDone once for each Start, never
// from inside Start or Cancel, and never after Cancel or destruction.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "account/AutoconfigLookup.h"
#include "account/DnsLookup.h"
#include "account/ProviderTable.h"
#include "account/ServerProbe.h"

namespace corvane::account {

struct TFinderOptions {
    TAutoconfigOptions Autoconfig;
    TDnsOptions Dns;
    std::chrono::milliseconds ProbeDeadline = TServerProbe::DefaultDeadline;
    // The hosts and ports probing tries for a domain; tests point them at loopback.
    std::function<std::vector<TProbeCandidate>(const std::string& domain)> Candidates = ProbeCandidates;
    const std::vector<TProvider>* Providers = &ShippedProviders();
};

struct TFinderResult {
    std::optional<TServerProposal> Found;
    // For the status bar: "Looking up ..." while it runs, and why nothing was found.
    std::string Text;
};

// What follows the last '@' of Address, in lower case: the domain the lookups ask about and
// the status texts name.
std::string DomainOf(std::string_view address);

// "Looking up the mail server for DOMAIN . . .", and the text when nothing answers.
std::string LookingUpText(std::string_view domain);
std::string NothingFoundText(std::string_view domain);

// The proposal a source gave, made ready for Address: a source that says nothing of the
// user name (SRV, probing) gets the address itself, the form nearly every provider takes.
TServerProposal ForAddress(TServerProposal proposal, std::string_view address);

class TServerFinder {
public:
    using TOnDone = std::function<void(TServerFinder& sender, const TFinderResult& result)>;

    explicit TServerFinder(TFinderOptions options = {});
    ~TServerFinder();
    TServerFinder(const TServerFinder&) = delete;
    TServerFinder& operator=(const TServerFinder&) = delete;

    // Searches for Address (a mailbox, "user@domain"); a search still running is cancelled.
    void Start(const std::string& address);
    void Cancel();
    bool Running() const { return m_running; }

    TOnDone OnDone;

private:
    void AskAutoconfig();
    void AskSrv();
    void AskMx();
    void Probe();
    void Finish(std::optional<TServerProposal> found);

    TFinderOptions m_options;
    TAutoconfigLookup m_autoconfig;
    TSrvLookup m_srv;
    TMxLookup m_mx;
    TServerProbe m_probe;
    std::string m_address;
    std::string m_domain;
    // A document that offered only servers without encryption: proposed when nothing better
    // answers, and marked by its security.
    std::optional<TServerProposal> m_plainOnly;
    bool m_running = false;
    std::shared_ptr<int> m_alive = std::make_shared<int>();  // CallLater's guard
};

}  // namespace corvane::account
