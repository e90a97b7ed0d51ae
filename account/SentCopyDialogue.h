#pragma once
// The IMAP dialogue of one copy to the Sent folder (SentCopy.h), on the calling thread: sign
// in, LIST (asking for the special-use marks, and plainly again of a server that does not
// know the question), choose the folder, APPEND. libcurl speaks the protocol; this decides
// what to ask, bounds each wait and turns the outcome into words. Qt-free.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "account/SentCopy.h"

namespace corvane::account {

class TSentCopyDialogue {
public:
    // Takes Server's secrets, to wipe them as soon as libcurl has its own copies.
    TSentCopyDialogue(TSentCopyServer server, std::string message, const TSentCopyLimits& limits);
    ~TSentCopyDialogue();
    TSentCopyDialogue(const TSentCopyDialogue&) = delete;
    TSentCopyDialogue& operator=(const TSentCopyDialogue&) = delete;

    // The whole copy; once.
    TSentCopyResult Run();
    // Any thread, at any time: the dialogue stops at once, also in a wait libcurl does not
    // offer to cut short (the server's last answer, LOGOUT), by shutting its connections down.
    void Interrupt();

private:
    struct TCallbacks;  // libcurl's, in libcurl's types, which only the source file knows
    class TSession;     // one easy handle and what its transfers need

    TSentCopyServer m_server;
    std::string m_message;
    TSentCopyLimits m_limits;
    std::size_t m_fed = 0;  // bytes of the message libcurl has read
    std::atomic<bool> m_interrupted{false};
    std::mutex m_socketsMutex;  // Interrupt shuts down, and libcurl closes, under it
    std::vector<int> m_sockets;
};

}  // namespace corvane::account
