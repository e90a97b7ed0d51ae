#include "app/send/InputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvane::send {

TInputFile::TInputFile(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0 || ::fstat(m_fd, &m_status) != 0) {
        m_error = errno;
    }
}

TInputFile::~TInputFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string TInputFile::Reason() const { return std::strerror(m_error); }

bool TInputFile::ReadAll(memory::TLargeBuffer& bytes) {
    if (m_error != 0) {
        return false;
    }
    constexpr std::size_t Block = 64 * 1024;
    for (;;) {
        const std::size_t at = bytes.Size();
        bytes.Resize(at + Block);
        const ssize_t got = ::read(m_fd, bytes.Data() + at, Block);
        const int error = errno;
        bytes.Resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got == 0) {
            return true;
        }
        if (got < 0 && error != EINTR) {
            m_error = error;
            return false;
        }
    }
}

}  // namespace corvane::send
