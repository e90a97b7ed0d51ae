#include "account/ServerProbe.h"

#include <utility>

#include "account/LaterCall.h"

namespace corvane::account {

// What one attempt found out.
struct TServerProbe::TAttempt {
    bool Verified = false;  // greeting, EHLO and the TLS handshake done, the certificate trusted
    std::vector<ESignIn> SignIn;
    std::string Auth;       // the mechanisms of its AUTH line, as offered
};

// The attempts of one Start. The owner and every attempt's thread share it, so that an
// attempt left running after its probe is gone still has its engine.
struct TServerProbe::TRun {
    std::vector<TProbeCandidate> Candidates;
    std::vector<std::unique_ptr<mail::TWrenSMTP>> Engines;  // one per candidate
    std::vector<std::optional<TAttempt>> Attempts;         // the probe's thread only

    void AbortAll() noexcept {
        for (const auto& engine : Engines) {
            engine->Abort();
        }
    }
};

namespace {

std::unique_ptr<mail::TWrenSMTP> Engine(const TProbeCandidate& candidate, std::chrono::milliseconds deadline) {
    auto engine = std::make_unique<mail::TWrenSMTP>();
    engine->Host = candidate.Host;
    engine->Port = std::to_string(candidate.Port);
    engine->Security = candidate.Security;
    // The probe's deadline ends the attempts; these only keep a lost one from lingering.
    engine->ConnectTimeout = deadline;
    engine->CommandTimeout = deadline;
    engine->QuitTimeout = deadline;
    return engine;
}

}  // namespace

std::vector<TProbeCandidate> ProbeCandidates(const std::string& domain) {
    const std::pair<int, mail::ESecurity> ports[] = {
        {465, mail::ESecurity::Tls}, {587, mail::ESecurity::StartTls}, {25, mail::ESecurity::StartTls}};
    const std::string hosts[] = {"smtp." + domain, "mail." + domain, domain};
    std::vector<TProbeCandidate> candidates;
    for (const auto& [port, security] : ports) {
        for (const std::string& host : hosts) {
            candidates.push_back({host, port, security});
        }
    }
    return candidates;
}

std::vector<ESignIn> SignInKinds(const mail::TCapabilities& offered) {
    std::vector<ESignIn> kinds;
    if (offered.OffersAuth("XOAUTH2") || offered.OffersAuth("OAUTHBEARER")) {
        kinds.push_back(ESignIn::OAuth2);
    }
    if (offered.OffersAuth("PLAIN") || offered.OffersAuth("LOGIN")) {
        kinds.push_back(ESignIn::Password);
    }
    return kinds;
}

// ---- TServerProbe -------------------------------------------------------------------------

TServerProbe::TServerProbe(std::chrono::milliseconds deadline) : m_deadline(deadline) {}

TServerProbe::~TServerProbe() {
    Cancel();
}

void TServerProbe::Start(const std::vector<TProbeCandidate>& candidates) {
    Cancel();
    auto run = std::make_shared<TRun>();
    run->Candidates = candidates;
    for (const TProbeCandidate& candidate : candidates) {
        run->Engines.push_back(Engine(candidate, m_deadline));
    }
    run->Attempts.resize(candidates.size());
    m_run = run;
    m_running = true;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const bool started = m_workers.Run([this, run, i](const TPostBack& post) {
            TAttempt attempt;
            if (!post.Closed()) {
                attempt = Try(*run->Engines[i]);
            }
            post([this, i, attempt] { Record(i, attempt); });
        });
        if (!started) {
            run->Attempts[i] = TAttempt{};  // no thread for it: an attempt that failed
        }
    }
    CallLater(m_deadline, m_alive, [this, generation = m_generation] {
        if (generation == m_generation && m_running) {
            Decide(true);
        }
    });
    Decide(false);  // nothing to try, or no thread to try it on
}

TServerProbe::TAttempt TServerProbe::Try(mail::TWrenSMTP& engine) {
    TAttempt attempt;
    engine.Connect();
    if (!engine.Connected || engine.Failed || engine.Aborted) {
        return attempt;
    }
    attempt.Verified = engine.Security != mail::ESecurity::None;
    attempt.SignIn = SignInKinds(engine.Capabilities());
    for (const std::string& mechanism : engine.Capabilities().Parameters("AUTH")) {
        attempt.Auth += (attempt.Auth.empty() ? "" : " ") + mechanism;
    }
    engine.Quit();
    return attempt;
}

void TServerProbe::Record(std::size_t index, const TAttempt& attempt) {
    m_run->Attempts[index] = attempt;
    Decide(false);
}

void TServerProbe::Decide(bool final) {
    const auto& attempts = m_run->Attempts;
    for (std::size_t i = 0; i < attempts.size(); ++i) {
        if (!attempts[i]) {
            if (final) {
                continue;
            }
            return;  // a better one may still succeed
        }
        if (attempts[i]->Verified) {
            Finish(i);
            return;
        }
    }
    Finish(std::nullopt);
}

void TServerProbe::Finish(std::optional<std::size_t> winner) {
    m_running = false;
    // The losers still running are of no use now; Release reaps them later.
    m_workers.Close();
    m_run->AbortAll();
    std::optional<TServerProposal> found;
    if (winner) {
        const TProbeCandidate& candidate = m_run->Candidates[*winner];
        const TAttempt& attempt = *m_run->Attempts[*winner];
        found = TServerProposal{candidate.Host,
                                candidate.Port,
                                candidate.Security,
                                "",
                                attempt.SignIn,
                                ESource::Probe,
                                "a trusted certificate, " + (attempt.Auth.empty() ? "no AUTH" : "AUTH " + attempt.Auth)};
    }
    CallLater(std::chrono::milliseconds(0), m_alive, [this, generation = m_generation, found] {
        if (generation == m_generation && OnDone) {
            OnDone(*this, found);
        }
    });
}

void TServerProbe::Cancel() {
    ++m_generation;
    m_running = false;
    Release();
}

void TServerProbe::Release() {
    if (!m_run) {
        return;
    }
    m_workers.Release([run = m_run] { run->AbortAll(); }, ReleaseLimit);
    m_run.reset();
}

}  // namespace corvane::account
