#include "account/SentCopy.h"

#include <cstdlib>
#include <utility>

#include "account/LaterCall.h"
#include "account/Passwords.h"
#include "account/SentCopyDialogue.h"
#include "mail/MailText.h"

namespace corvane::account {

struct TSentCopy::TRun {
    TRun(TSentCopyServer server, std::string message, const TSentCopyLimits& limits)
        : Dialogue(std::move(server), std::move(message), limits) {}
    TSentCopyDialogue Dialogue;
};

namespace {

// Why a copy cannot even be tried; empty when it can.
std::string Refusal(const TSentCopyServer& server) {
    if (server.Security == mail::ESecurity::None) {
        return "The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection.";
    }
    if (server.Host.empty()) {
        return "The copy to Sent needs an IMAP server.";
    }
    if (server.UserName.empty()) {
        return "The copy to Sent needs a user name for the IMAP server.";
    }
    return {};
}

}  // namespace

TSentCopyServer SentCopyServerFor(std::string_view field, mail::ESecurity security, std::string userName) {
    const mail::TServerAddress address = mail::ParseServerAddress(field);
    TSentCopyServer server;
    server.Host = address.Host;
    server.Port = address.HasPort ? std::atoi(address.Port.c_str()) : 0;
    server.Security = security;
    server.UserName = std::move(userName);
    return server;
}

TSentCopy::TSentCopy(TSentCopyLimits limits) : m_limits(limits) {}

TSentCopy::~TSentCopy() { Cancel(); }

void TSentCopy::Start(TSentCopyServer server, std::string message) {
    Cancel();
    m_running = true;
    if (std::string refusal = Refusal(server); !refusal.empty()) {
        Wipe(server.Password);
        Wipe(server.AccessToken);
        Finish({false, {}, std::move(refusal)});
        return;
    }
    auto run = std::make_shared<TRun>(std::move(server), std::move(message), m_limits);
    m_run = run;
    // The worker keeps the run (and so the message) for as long as it goes on, also unseen
    // after a Cancel; the post-back is what keeps it from reaching this object after that.
    const bool started = m_workers.Run([this, run](const TPostBack& post) {
        TSentCopyResult result = run->Dialogue.Run();
        post([this, result = std::move(result)] { Finish(result); });
    });
    if (!started) {
        m_run.reset();
        Finish({false, {}, "The copy to Sent could not be started (no thread)."});
    }
}

void TSentCopy::Finish(const TSentCopyResult& result) {
    CallLater(std::chrono::milliseconds(0), m_alive, [this, result] {
        m_running = false;
        if (OnDone) {
            OnDone(*this, result);
        }
    });
}

void TSentCopy::Cancel() {
    m_alive = std::make_shared<int>();
    m_running = false;
    if (m_run) {
        m_workers.Release([run = m_run] { run->Dialogue.Interrupt(); }, ReleaseLimit);
        m_run.reset();
    }
}

}  // namespace corvane::account
