#pragma once
// A program started by a test: its standard input is given up front, its standard output
// and error are collected, and every wait for it is bounded. The destructor kills it (by its
// own process id, and only if it is still running) and reaps it.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvane::test {

class TProgramProcess {
public:
    using TMilliseconds = std::chrono::milliseconds;
    // Unread: the standard error is a pipe whose reader is gone before the program starts,
    // so every write to it fails (EPIPE, and SIGPIPE unless the program ignores it).
    enum class EStandardError { Collected, Unread };

    // Starts Arguments[0] (a path) with Input on its standard input (then closed), and
    // SIGPIPE at its default action and unblocked, as a shell starts a program.
    TProgramProcess(const std::vector<std::string>& arguments, const std::string& input,
                    EStandardError error = EStandardError::Collected);
    ~TProgramProcess();
    TProgramProcess(const TProgramProcess&) = delete;
    TProgramProcess& operator=(const TProgramProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    // Waits until the standard error holds Needle. False when the limit passed first or the
    // program ended without writing it.
    bool WaitForError(const std::string& needle, TMilliseconds limit);
    // Waits for the program to end and returns its exit status (128 + the signal's number
    // when a signal ended it), or nothing when the limit passed first.
    std::optional<int> WaitForExit(TMilliseconds limit);
    void Signal(int signal) const;

    // The most memory the program held at once, in KiB, once it has ended (0 before).
    long PeakKilobytes() const { return m_peakKilobytes; }

    const std::string& Output() const { return m_output; }
    const std::string& Error() const { return m_error; }

private:
    // Reads whatever the pipes hold, waiting at most Limit for something to arrive.
    void Collect(TMilliseconds limit);
    bool Reap(int options);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_output;
    std::string m_error;
    std::optional<int> m_status;
    long m_peakKilobytes = 0;
};

}  // namespace corvane::test
