#include "mail/SpoolFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace corvane::mail {

namespace {

// O_TMPFILE is refused by file systems that cannot make a file without a name (EOPNOTSUPP)
// and by kernels that do not know it (EISDIR, EINVAL); a name removed at once does as well.
bool NeedsNamedFallback(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

int OpenNamedAndRemove(const std::string& folder) {
    std::string pattern = folder + "/corvane-spool-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(pattern.c_str());
    }
    return fd;
}

}  // namespace

std::string TSpoolFile::DefaultFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp");
}

TSpoolFile::TSpoolFile(const std::string& folder) : m_folder(folder.empty() ? DefaultFolder() : folder) {
    m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0 && NeedsNamedFallback(errno)) {
        m_fd = OpenNamedAndRemove(m_folder);
    }
    if (m_fd < 0) {
        NoteProblem(errno);
    }
}

TSpoolFile::~TSpoolFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void TSpoolFile::NoteProblem(int error) {
    if (m_problem.empty()) {
        m_problem = "The temporary folder " + m_folder + " cannot hold the message: " +
                    std::generic_category().message(error) + ".";
    }
}

bool TSpoolFile::Append(std::string_view bytes) {
    if (m_fd < 0 || !m_problem.empty()) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(m_size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            // A full disk may take part of a write and refuse the rest with no reason of its
            // own; it is still a full disk.
            NoteProblem(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        m_size += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool TSpoolFile::ReadAt(std::uint64_t offset, char* into, std::size_t count) {
    if (m_fd < 0) {
        return false;
    }
    while (count > 0) {
        const ssize_t got = ::pread(m_fd, into, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            NoteProblem(got < 0 ? errno : EIO);
            return false;
        }
        into += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace corvane::mail
