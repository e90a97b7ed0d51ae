#include "account/DnsLookup.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "account/LaterCall.h"

namespace corvane::account {

namespace {

// dn_expand gives the root as an empty name; a record written by hand may still say ".".
bool IsRoot(const QString& name) {
    return name.isEmpty() || name == QStringLiteral(".");
}

bool Succeeded(const QDnsLookup& lookup) {
    return lookup.isFinished() && lookup.error() == QDnsLookup::NoError;
}

// "_submissions._tcp.example.org SRV 0 1 465 smtp.example.org", as a zone file has it.
std::string RecordText(const QDnsServiceRecord& record) {
    return record.name().toStdString() + " SRV " + std::to_string(record.priority()) + " " +
           std::to_string(record.weight()) + " " + std::to_string(record.port()) + " " +
           record.target().toStdString();
}

void AppendProposals(const QDnsLookup& lookup, mail::ESecurity security, std::vector<TServerProposal>& proposals) {
    if (!Succeeded(lookup)) {
        return;
    }
    QList<QDnsServiceRecord> records = lookup.serviceRecords();
    records.removeIf([](const QDnsServiceRecord& record) { return IsRoot(record.target()) || record.port() == 0; });
    // Qt shuffles equal priorities by weight at random; the order here is fixed (see the header).
    std::stable_sort(records.begin(), records.end(), [](const QDnsServiceRecord& a, const QDnsServiceRecord& b) {
        return std::tuple(a.priority(), -int(a.weight()), a.target(), a.port()) <
               std::tuple(b.priority(), -int(b.weight()), b.target(), b.port());
    });
    for (const QDnsServiceRecord& record : records) {
        TServerProposal proposal;
        proposal.Host = record.target().toStdString();
        proposal.Port = record.port();
        proposal.Security = security;
        proposal.Source = ESource::Srv;
        proposal.SourceDetail = RecordText(record);
        proposals.push_back(std::move(proposal));
    }
}

}  // namespace

// ---- TDnsQuestions ------------------------------------------------------------------------

TDnsQuestions::TDnsQuestions(TDnsOptions options) : m_options(std::move(options)) {}

TDnsQuestions::~TDnsQuestions() {
    Cancel();
}

void TDnsQuestions::Cancel() {
    ++m_generation;
    m_running = false;
    // Deleting a QDnsLookup that still runs is safe: its answer then goes nowhere.
    m_lookups.clear();
}

void TDnsQuestions::Ask(QDnsLookup::Type type, const std::vector<QString>& names) {
    Cancel();
    m_problem.clear();
    m_running = true;
    const std::uint64_t generation = m_generation;
    for (const QString& name : names) {
        auto lookup = std::make_unique<QDnsLookup>(type, name);
        if (!m_options.Nameserver.isNull()) {
            lookup->setNameserver(m_options.Nameserver);
        }
        QObject::connect(lookup.get(), &QDnsLookup::finished, [this] { OneFinished(); });
        m_lookups.push_back(std::move(lookup));
    }
    for (const auto& lookup : m_lookups) {
        lookup->lookup();
    }
    CallLater(m_options.Deadline, m_alive, [this, generation] { Complete(generation); });
}

void TDnsQuestions::OneFinished() {
    const bool all = std::all_of(m_lookups.begin(), m_lookups.end(),
                                 [](const auto& lookup) { return lookup->isFinished(); });
    if (m_running && all) {
        CallLater(std::chrono::milliseconds(0), m_alive, [this, generation = m_generation] { Complete(generation); });
    }
}

void TDnsQuestions::Complete(std::uint64_t generation) {
    // The answers and the deadline both call; the first one of this lookup reports.
    if (generation != m_generation || !m_running) {
        return;
    }
    m_running = false;
    Answered();
}

EDnsOutcome TDnsQuestions::Outcome(bool usable) {
    if (usable) {
        return EDnsOutcome::Found;
    }
    EDnsOutcome outcome = EDnsOutcome::NotFound;
    for (const auto& lookup : m_lookups) {
        if (!lookup->isFinished()) {
            m_problem = "The name server did not answer in time.";
            return EDnsOutcome::TimedOut;
        }
        if (lookup->error() != QDnsLookup::NoError && lookup->error() != QDnsLookup::NotFoundError) {
            m_problem = "The name server failed: " + lookup->errorString().toStdString() + ".";
            outcome = EDnsOutcome::Failed;
        }
    }
    return outcome;
}

// ---- TSrvLookup ---------------------------------------------------------------------------

TSrvLookup::TSrvLookup(TDnsOptions options) : TDnsQuestions(std::move(options)) {}

void TSrvLookup::Start(const std::string& domain) {
    const QString name = QString::fromStdString(domain);
    Ask(QDnsLookup::SRV, {"_submissions._tcp." + name, "_submission._tcp." + name});
}

void TSrvLookup::Answered() {
    std::vector<TServerProposal> proposals;
    AppendProposals(*Lookups()[0], mail::ESecurity::Tls, proposals);
    AppendProposals(*Lookups()[1], mail::ESecurity::StartTls, proposals);
    const EDnsOutcome outcome = Outcome(!proposals.empty());
    if (OnDone) {
        OnDone(*this, outcome, proposals);
    }
}

// ---- TMxLookup ----------------------------------------------------------------------------

TMxLookup::TMxLookup(TDnsOptions options) : TDnsQuestions(std::move(options)) {}

void TMxLookup::Start(const std::string& domain) {
    Ask(QDnsLookup::MX, {QString::fromStdString(domain)});
}

void TMxLookup::Answered() {
    QList<QDnsMailExchangeRecord> records;
    if (Succeeded(*Lookups()[0])) {
        records = Lookups()[0]->mailExchangeRecords();
    }
    records.removeIf([](const QDnsMailExchangeRecord& record) { return IsRoot(record.exchange()); });
    std::stable_sort(records.begin(), records.end(), [](const QDnsMailExchangeRecord& a, const QDnsMailExchangeRecord& b) {
        return std::tuple(a.preference(), a.exchange()) < std::tuple(b.preference(), b.exchange());
    });
    std::vector<std::string> hosts;
    for (const QDnsMailExchangeRecord& record : records) {
        hosts.push_back(record.exchange().toStdString());
    }
    const EDnsOutcome outcome = Outcome(!hosts.empty());
    if (OnDone) {
        OnDone(*this, outcome, hosts);
    }
}

}  // namespace corvane::account
