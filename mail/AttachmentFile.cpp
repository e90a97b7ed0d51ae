#include "mail/AttachmentFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane::mail {

TAttachmentFile::TAttachmentFile(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
    if (m_fd < 0 || ::fstat(m_fd, &m_opened) != 0) {
        m_error = errno;
    }
}

TAttachmentFile::~TAttachmentFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string TAttachmentFile::Problem(const std::string& name) const {
    if (m_error != 0) {
        return "Cannot read file " + name + ": " + std::generic_category().message(m_error) + ".";
    }
    if (!S_ISREG(m_opened.st_mode)) {
        return "File " + name + " is not a regular file.";
    }
    return {};
}

bool TAttachmentFile::ReadFully(std::uint8_t* into, std::size_t count) {
    while (count > 0) {
        const ssize_t got = ::read(m_fd, into, count);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        into += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

bool TAttachmentFile::Unchanged() {
    struct stat now {};
    std::uint8_t beyond = 0;
    return ::fstat(m_fd, &now) == 0 && now.st_size == m_opened.st_size &&
           now.st_mtim.tv_sec == m_opened.st_mtim.tv_sec && now.st_mtim.tv_nsec == m_opened.st_mtim.tv_nsec &&
           ::read(m_fd, &beyond, 1) == 0;
}

}  // namespace corvane::mail
