#pragma once
// How the account layer's requests let go of their QNetworkReply. Each request connects its
// handlers with the reply itself as the context, so cutting the reply's own connections
// drops exactly them; Qt deletes the reply once the event that finished it has returned.

#include <QNetworkReply>
#include <utility>

namespace corvane::account {

// Stops the request Reply runs and lets go of it; nothing of it is reported any more. Null
// does nothing.
inline void AbandonReply(QNetworkReply*& reply) {
    if (QNetworkReply* abandoned = std::exchange(reply, nullptr)) {
        QObject::disconnect(abandoned, nullptr, abandoned, nullptr);
        abandoned->abort();
        abandoned->deleteLater();
    }
}

// Takes Finished as the end of the request Current runs, and lets go of it. False when
// Finished is an earlier request's, left alone for this one to ignore.
inline bool TakeFinishedReply(QNetworkReply*& current, QNetworkReply& finished) {
    if (&finished != current) {
        return false;
    }
    current = nullptr;
    QObject::disconnect(&finished, nullptr, &finished, nullptr);
    finished.deleteLater();
    return true;
}

}  // namespace corvane::account
