#pragma once
// What a domain publishes in DNS about its mail, asked with Qt's QDnsLookup: its submission
// servers (SRV, RFC 6186 and RFC 8314 section 5.1) and its mail exchangers (MX). A lookup is
// used from one thread, whose event loop it reports on: once, within its deadline, and never
// after Cancel or its destruction.
//
// A query that the deadline or Cancel left behind goes on inside Qt's lookup thread pool
// until the resolver gives up on it (Qt 6.4 cannot interrupt it), and the program's exit
// waits for that; the resolver's own timeout (resolv.conf, RES_OPTIONS) bounds it. Until
// then it also holds one of the five places of that pool, where later queries wait.

#include <QDnsLookup>
#include <QHostAddress>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "account/ServerProposal.h"

namespace corvane::account {

enum class EDnsOutcome {
    Found,     // at least one usable record
    NotFound,  // no such name, no such record, or only "." (the domain offers no service)
    Failed,    // the resolver or the name server failed; Problem() says how
    TimedOut,  // not answered within the deadline
};

struct TDnsOptions {
    // The name server to ask; a null address asks the system's resolver. Qt 6.4 asks any
    // other on port 53: QDnsLookup has no way to name a port before Qt 6.6.
    QHostAddress Nameserver;
    // The whole lookup ends within this, answered or not.
    std::chrono::milliseconds Deadline{std::chrono::seconds(8)};
};

// The questions of one lookup, asked side by side under one deadline. Not for use on its own.
class TDnsQuestions {
public:
    TDnsQuestions(const TDnsQuestions&) = delete;
    TDnsQuestions& operator=(const TDnsQuestions&) = delete;

    // Stops the lookup: nothing is reported for it any more.
    void Cancel();
    bool Running() const { return m_running; }
    // Why the last lookup failed or timed out, in words for the status bar.
    const std::string& Problem() const { return m_problem; }

protected:
    explicit TDnsQuestions(TDnsOptions options);
    ~TDnsQuestions();

    // Cancels what runs and asks for the records of Type under each of Names.
    void Ask(QDnsLookup::Type type, const std::vector<QString>& names);
    // Once per Ask, from the event loop, when all are answered or the deadline has passed.
    virtual void Answered() = 0;
    // The lookups in the order asked; one not finished was not answered in time.
    const std::vector<std::unique_ptr<QDnsLookup>>& Lookups() const { return m_lookups; }
    // Found when Usable; else TimedOut, Failed or NotFound from the lookups, in that order.
    EDnsOutcome Outcome(bool usable);

private:
    void OneFinished();
    void Complete(std::uint64_t generation);

    TDnsOptions m_options;
    std::vector<std::unique_ptr<QDnsLookup>> m_lookups;
    bool m_running = false;
    std::uint64_t m_generation = 0;  // counts Ask and Cancel: a late call of an older one does nothing
    std::shared_ptr<int> m_alive = std::make_shared<int>();
    std::string m_problem;
};

// The submission servers of a domain: those of _submissions._tcp (TLS from the first byte)
// before those of _submission._tcp (STARTTLS). Within each, by priority, and among equal
// priorities the heaviest weight first. RFC 2782 asks for a weighted random pick there; a
// fixed order proposes the same server each time the user asks, and a proposal is chosen
// once, not per connection. A target of "." says the domain offers no such service.
class TSrvLookup final : public TDnsQuestions {
public:
    using TOnDone = std::function<void(TSrvLookup& sender, EDnsOutcome outcome,
                                       const std::vector<TServerProposal>& proposals)>;

    explicit TSrvLookup(TDnsOptions options = {});

    // The proposals carry no user name: SRV records say nothing about it.
    void Start(const std::string& domain);

    TOnDone OnDone;

private:
    void Answered() override;
};

// The mail exchangers of a domain, most preferred first (equal preferences by name), without
// the "." of a domain that takes no mail (RFC 7505).
class TMxLookup final : public TDnsQuestions {
public:
    using TOnDone = std::function<void(TMxLookup& sender, EDnsOutcome outcome, const std::vector<std::string>& hosts)>;

    explicit TMxLookup(TDnsOptions options = {});

    void Start(const std::string& domain);

    TOnDone OnDone;

private:
    void Answered() override;
};

}  // namespace corvane::account
