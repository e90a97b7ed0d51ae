#pragma once
// The user's browser in the OAuth2 sign-in tests: what the desktop's URL opener would start.

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QUrlQuery>
#include <functional>
#include <string>

namespace corvane::test {

// The user's browser: fetches the sign-in page, which the server approves at once, and
// follows its redirect to Corvane's listener (with another state when Forge is set).
class TBrowserStandIn {
public:
    TBrowserStandIn() { m_network.setProxy(QNetworkProxy::NoProxy); }

    bool Forge = false;
    bool Silent = false;  // the page opens, and the user never signs in
    int Opened = 0;
    QUrl RedirectedTo;
    std::string Page;  // what Corvane's listener answered

    std::function<bool(const QUrl& url)> Opener() {
        return [this](const QUrl& url) {
            ++Opened;
            if (Silent) {
                return true;
            }
            QNetworkRequest request(url);
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
            QNetworkReply* page = m_network.get(request);
            QObject::connect(page, &QNetworkReply::finished, page, [this, page] { FollowRedirect(*page); });
            return true;
        };
    }

private:
    void FollowRedirect(QNetworkReply& page) {
        page.deleteLater();
        RedirectedTo = page.header(QNetworkRequest::LocationHeader).toUrl();
        QUrl back = RedirectedTo;
        if (Forge) {
            QUrlQuery query(back);
            query.removeAllQueryItems(QStringLiteral("state"));
            query.addQueryItem(QStringLiteral("state"), QStringLiteral("forged"));
            back.setQuery(query);
        }
        QNetworkReply* answer = m_network.get(QNetworkRequest(back));
        QObject::connect(answer, &QNetworkReply::finished, answer, [this, answer] {
            answer->deleteLater();
            Page = answer->readAll().toStdString();
        });
    }

    QNetworkAccessManager m_network;
};

}  // namespace corvane::test
