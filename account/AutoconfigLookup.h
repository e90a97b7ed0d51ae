#pragma once
// Asks a domain's provider for its mail client configuration document (AutoconfigDocument.h):
// first https://autoconfig.DOMAIN/mail/config-v1.1.xml?emailaddress=ADDRESS, then
// https://DOMAIN/.well-known/autoconfig/mail/config-v1.1.xml; the first document that reads
// wins. HTTPS only, certificates checked as Qt checks them, no redirect that leaves HTTPS,
// a size cap, a time limit for each request and one for the whole lookup.
//
// Runs on the thread that owns it, through that thread's event loop (the window's, or the
// QCoreApplication of corvane-send). OnDone is called from the event loop, never from inside
// Start or Cancel, so its handler may start another lookup or destroy this one.

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "account/AutoconfigDocument.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane::account {

// How asking one URL ended.
enum class EAutoconfigEnd {
    Found,        // a document that reads
    Refused,      // a document came, and the reader refused it
    Unavailable,  // no document: an HTTP error status, or the server could not be reached
    Insecure,     // a redirect to something other than HTTPS, or to a name not allowed
    Certificate,  // the TLS handshake failed, usually on a certificate nobody vouches for
    TooLarge,     // the answer was longer than the cap
    TimedOut,     // the request's or the whole lookup's time ran out
    NotAsked,     // the name has no endpoint (TAutoconfigOptions::Endpoints)
};

struct TAutoconfigAttempt {
    std::string Url;  // as the provider publishes it, whatever endpoint stood in for it
    EAutoconfigEnd End = EAutoconfigEnd::NotAsked;
    std::string Detail;  // what went wrong, in words, safe to show; empty for Found
};

struct TAutoconfigOutcome {
    bool Found = false;
    TAutoconfigDocument Document;             // the document that won, when Found
    // One per URL asked, in order; a URL the lookup did not come to (the first one was
    // found, or the time ran out) has none, and an address that is no mailbox asks none.
    std::vector<TAutoconfigAttempt> Attempts;
};

struct TAutoconfigOptions {
    std::chrono::milliseconds Deadline{15000};  // the whole lookup
    // Each request, counted from the last byte that moved (QNetworkRequest::setTransferTimeout).
    std::chrono::milliseconds RequestTimeout{8000};
    std::int64_t MaxBytes = MaxAutoconfigBytes;
    int MaxRedirects = 3;
    // Where requests go instead of the names themselves: name -> base URL, e.g.
    // "autoconfig.example.org" -> "https://127.0.0.1:8443/first", which makes the first URL
    // https://127.0.0.1:8443/first/mail/config-v1.1.xml?emailaddress=.... When not empty, a
    // name it does not hold is not asked, and a redirect may only go to one of its hosts, so
    // no name is ever looked up in DNS (tests point every name at loopback).
    std::map<std::string, std::string> Endpoints;
    // When not empty, the only certificate authorities trusted, instead of the system's.
    // For tests: Qt's OpenSSL backend reads the system's certificate folders itself and does
    // not honour SSL_CERT_FILE.
    QList<QSslCertificate> TrustedAuthorities;
};

// The two URLs asked for Address, in order, as the provider publishes them: the domain in its
// A-label form and lower case, the address percent-encoded. Empty when Address is not a
// mailbox, or its domain is an address literal.
std::vector<std::string> AutoconfigUrls(std::string_view address);

class TAutoconfigLookup {
public:
    using TOnDone = std::function<void(TAutoconfigLookup& sender, const TAutoconfigOutcome& outcome)>;

    explicit TAutoconfigLookup(TAutoconfigOptions options = {});
    ~TAutoconfigLookup();
    TAutoconfigLookup(const TAutoconfigLookup&) = delete;
    TAutoconfigLookup& operator=(const TAutoconfigLookup&) = delete;

    // Looks the settings up for Address; a lookup still running is cancelled first.
    void Start(const std::string& address);
    // Aborts the running request; OnDone is not called for this lookup any more.
    void Cancel();
    bool Running() const { return m_running; }

    TOnDone OnDone;

private:
    std::optional<QUrl> Target(const std::string& url) const;
    bool MayRedirectTo(const QUrl& target) const;
    void AskNext();
    void Ask(const QUrl& target);
    void OnRedirected(QNetworkReply& reply, const QUrl& target);
    void OnMetaData(QNetworkReply& reply);
    void OnReadyRead(QNetworkReply& reply);
    void OnFinished(QNetworkReply& reply);
    TAutoconfigAttempt Read();
    void AbortReply(EAutoconfigEnd end, std::string detail);
    void Finish();

    TAutoconfigOptions m_options;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QTimer m_deadline;
    QNetworkReply* m_reply = nullptr;
    bool m_running = false;
    bool m_deadlinePassed = false;
    std::uint64_t m_run = 0;  // counts lookups, so an OnDone queued for a cancelled one is dropped
    std::string m_address;
    std::vector<std::string> m_urls;
    std::size_t m_next = 0;
    QByteArray m_body;
    // Set when this lookup aborts the reply itself, to say why.
    std::optional<TAutoconfigAttempt> m_abort;
    TAutoconfigOutcome m_outcome;
    std::shared_ptr<int> m_alive = std::make_shared<int>();  // CallLater's guard
};

}  // namespace corvane::account
