#pragma once
// The last way to find a domain's server: try the likely hosts and ports at once, and propose
// the best one that completes its greeting, EHLO and TLS handshake with a certificate that
// verifies (the system's trust, no fingerprint exceptions). Each attempt runs the engine on
// a thread of its own, up to EHLO and QUIT: it never signs in and never sends mail.
//
// A probe is used from one thread, whose event loop it reports on: once, within its deadline,
// and never after Cancel or its destruction.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "account/ServerProposal.h"
#include "account/WorkerThreads.h"
#include "mail/Capabilities.h"
#include "mail/WrenEmail.h"

namespace corvane::account {

struct TProbeCandidate {
    std::string Host;
    int Port = 0;
    mail::ESecurity Security = mail::ESecurity::Tls;  // None is never proposed: nothing verifies it
};

// For Domain, best first: port 465 (TLS) before 587 (STARTTLS) before 25 (STARTTLS), and on
// each port smtp.DOMAIN before mail.DOMAIN before DOMAIN itself.
std::vector<TProbeCandidate> ProbeCandidates(const std::string& domain);

// How the mechanisms of a server's AUTH line let a user sign in, best first: OAuth2
// (XOAUTH2, OAUTHBEARER) before a password (PLAIN, LOGIN). Empty when neither is offered.
std::vector<ESignIn> SignInKinds(const mail::TCapabilities& offered);

class TServerProbe {
public:
    using TOnDone = std::function<void(TServerProbe& sender, const std::optional<TServerProposal>& found)>;

    static constexpr std::chrono::milliseconds DefaultDeadline{std::chrono::seconds(6)};
    // How long Start, Cancel and the destructor wait for the attempts of an earlier probe to
    // let go of their connections; an attempt still running then ends on its own, unseen.
    static constexpr std::chrono::milliseconds ReleaseLimit{std::chrono::seconds(1)};

    // Deadline bounds the whole probe; every attempt runs at the same time.
    explicit TServerProbe(std::chrono::milliseconds deadline = DefaultDeadline);
    ~TServerProbe();
    TServerProbe(const TServerProbe&) = delete;
    TServerProbe& operator=(const TServerProbe&) = delete;

    // Tries every candidate at once (ProbeCandidates, or loopback servers in tests): the
    // earlier in the list, the better. The best that verifies wins as soon as every better
    // one has failed, or when the deadline passes. Cancels a probe that still runs.
    void Start(const std::vector<TProbeCandidate>& candidates);
    // Stops every attempt: nothing is reported for this probe any more.
    void Cancel();
    bool Running() const { return m_running; }

    TOnDone OnDone;

private:
    struct TAttempt;
    struct TRun;

    // Connect with the candidate's security, read what EHLO offers, QUIT.
    static TAttempt Try(mail::TWrenSMTP& engine);
    void Record(std::size_t index, const TAttempt& attempt);
    // Final: at the deadline, when an attempt that has not ended counts as failed.
    void Decide(bool final);
    void Finish(std::optional<std::size_t> winner);
    // Stops the run's attempts and waits for them, up to ReleaseLimit.
    void Release();

    std::chrono::milliseconds m_deadline;
    TWorkerThreads m_workers;  // one attempt each
    std::shared_ptr<TRun> m_run;
    bool m_running = false;
    std::uint64_t m_generation = 0;  // counts Start and Cancel: a late call of an older probe does nothing
    std::shared_ptr<int> m_alive = std::make_shared<int>();
};

}  // namespace corvane::account
