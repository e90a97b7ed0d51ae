#pragma once
// A file corvane-send reads whole (the signature, the password file): opened once, so that
// what is checked about it (its mode) is the very file then read, and with the system's
// reason (errno) when it cannot be opened or read.

#include <sys/stat.h>

#include <string>

#include "platform/memory/LargeBuffer.h"

namespace corvane::send {

class TInputFile {
public:
    explicit TInputFile(const std::string& path);
    ~TInputFile();
    TInputFile(const TInputFile&) = delete;
    TInputFile& operator=(const TInputFile&) = delete;

    // The errno of the open or the read that failed; 0 while all is well.
    int Error() const { return m_error; }
    // The system's words for Error(): "Permission denied", "Is a directory".
    std::string Reason() const;
    // The opened file's status (fstat), valid when the open succeeded.
    const struct stat& Status() const { return m_status; }
    // Appends the rest of the file to Bytes; false (with Error() set) when a read fails.
    bool ReadAll(memory::TLargeBuffer& bytes);

private:
    int m_fd = -1;
    int m_error = 0;
    struct stat m_status {};
};

}  // namespace corvane::send
