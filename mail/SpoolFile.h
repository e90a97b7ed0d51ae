#pragma once
// Scratch space for the encoded attachments of the message being sent, so that composing
// costs the same little memory for a file of any size. The file has no name from the start
// (O_TMPFILE; where the file system cannot do that, its name is removed as soon as it is
// made), so no other user sees it and nothing is left behind, however the send or the
// program ends: closing it, or the process ending, gives its space back.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::mail {

class TSpoolFile {
public:
    // Makes the file in Folder; an empty Folder means TMPDIR, else /tmp.
    explicit TSpoolFile(const std::string& folder = {});
    ~TSpoolFile();
    TSpoolFile(const TSpoolFile&) = delete;
    TSpoolFile& operator=(const TSpoolFile&) = delete;

    // Why the file could not be made, written or read, as a sentence naming the folder
    // ("The temporary folder /tmp cannot hold the message: No space left on device.");
    // empty while all is well.
    const std::string& Problem() const { return m_problem; }

    // Writes Bytes at the end; false, with Problem, when they do not all fit.
    bool Append(std::string_view bytes);
    std::uint64_t Size() const { return m_size; }
    // For handing the file to a socket (TSocket::SendFile).
    int Descriptor() const { return m_fd; }
    // Reads exactly Count bytes from Offset; false, with Problem, when that fails.
    bool ReadAt(std::uint64_t offset, char* into, std::size_t count);

    static std::string DefaultFolder();

private:
    void NoteProblem(int error);

    int m_fd = -1;
    std::string m_folder;
    std::uint64_t m_size = 0;
    std::string m_problem;
};

}  // namespace corvane::mail
