#pragma once
// A file to attach, opened for reading the one safe way: the open never blocks (a FIFO with
// no writer, a terminal waiting for carrier) and never makes a terminal ours, and only a
// regular file is accepted, so nothing can hold a send that Esc cannot stop.

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace corvane::mail {

class TAttachmentFile {
public:
    explicit TAttachmentFile(const std::string& path);
    ~TAttachmentFile();
    TAttachmentFile(const TAttachmentFile&) = delete;
    TAttachmentFile& operator=(const TAttachmentFile&) = delete;

    // Why the file cannot be attached, as a sentence naming Name ("File a.txt is not a
    // regular file."); empty when it can.
    std::string Problem(const std::string& name) const;
    std::uint64_t Size() const { return static_cast<std::uint64_t>(m_opened.st_size); }

    // Reads exactly Count bytes; false when the file ends first or a read fails.
    bool ReadFully(std::uint8_t* into, std::size_t count);
    // Whether the file still has the size and modification time it was opened with, and
    // holds nothing beyond the bytes read: a file written to meanwhile would go out damaged.
    bool Unchanged();

private:
    int m_fd = -1;
    int m_error = 0;  // errno of a failed open or fstat
    struct stat m_opened {};
};

}  // namespace corvane::mail
