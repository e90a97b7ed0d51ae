#include "account/SentArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace corvane::account {

namespace {

constexpr std::size_t BufferSize = 256 * 1024;

std::filesystem::path FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::filesystem::path(value) : std::filesystem::path();
}

std::string HostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? std::string(name) : "localhost";
}

// Makes Path (0700) unless it is there; false with errno set when it cannot be.
bool MakeFolder(const std::filesystem::path& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool SyncFolder(const std::filesystem::path& path) {
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return false;
    }
    const bool synced = ::fsync(folder) == 0;
    ::close(folder);
    return synced;
}

}  // namespace

std::filesystem::path SentArchiveFolder() {
    std::filesystem::path data = FromEnvironment("XDG_DATA_HOME");
    if (data.empty()) {
        const std::filesystem::path home = FromEnvironment("HOME");
        if (home.empty()) {
            return {};
        }
        data = home / ".local" / "share";
    }
    return data / "corvane" / "Sent";
}

std::string MaildirName(std::chrono::system_clock::time_point now, long pid, unsigned count, std::string_view host) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    std::string name = std::to_string(micros / 1000000) + ".M" + std::to_string(micros % 1000000) + "P" +
                       std::to_string(pid) + "Q" + std::to_string(count) + ".";
    for (const char c : host) {
        name += c == '/' ? std::string("\\057") : c == ':' ? std::string("\\072") : std::string(1, c);
    }
    return name;
}

TMaildirWriter::TMaildirWriter(std::filesystem::path folder) : m_folder(std::move(folder)) {}

TMaildirWriter::~TMaildirWriter() { Discard(); }

bool TMaildirWriter::Begin() {
    Discard();
    m_problem.clear();
    if (m_folder.empty()) {
        m_problem = "there is no home folder to keep it in";
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(m_folder.parent_path(), ignored);
    for (const auto& path : {m_folder, m_folder / "tmp", m_folder / "new", m_folder / "cur"}) {
        if (!MakeFolder(path)) {
            return Failed("cannot make " + path.string(), errno);
        }
    }
    static std::atomic<unsigned> count{0};
    m_name = MaildirName(std::chrono::system_clock::now(), static_cast<long>(::getpid()), ++count, HostName());
    m_tmpPath = m_folder / "tmp" / m_name;
    m_file = ::open(m_tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_file < 0) {
        const int error = errno;
        m_tmpPath.clear();
        return Failed("cannot write into " + (m_folder / "tmp").string(), error);
    }
    m_buffer.reserve(BufferSize);
    return true;
}

bool TMaildirWriter::AddLine(std::string_view line) {
    if (m_file < 0) {
        return false;
    }
    if (m_buffer.size() + line.size() + 2 > BufferSize && !Flush()) {
        return false;
    }
    if (line.size() + 2 > BufferSize) {
        m_buffer.append(line);  // written at once by the next Flush
        m_buffer.append("\r\n");
        return Flush();
    }
    m_buffer.append(line);
    m_buffer.append("\r\n");
    return true;
}

bool TMaildirWriter::Flush() {
    std::size_t written = 0;
    while (written < m_buffer.size()) {
        const ssize_t step = ::write(m_file, m_buffer.data() + written, m_buffer.size() - written);
        if (step < 0 && errno == EINTR) {
            continue;
        }
        if (step <= 0) {
            const int error = step < 0 ? errno : EIO;
            Discard();
            return Failed("cannot write the copy", error);
        }
        written += static_cast<std::size_t>(step);
    }
    m_buffer.clear();
    return true;
}

std::string ReadMessageFile(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::optional<std::filesystem::path> TMaildirWriter::Written() {
    if (m_file < 0 || !Flush()) {
        return std::nullopt;
    }
    return m_tmpPath;
}

std::optional<std::filesystem::path> TMaildirWriter::Commit() {
    if (m_file < 0 || !Flush()) {
        return std::nullopt;
    }
    if (::fsync(m_file) != 0) {
        const int error = errno;
        Discard();
        Failed("cannot write the copy", error);
        return std::nullopt;
    }
    ::close(m_file);
    m_file = -1;
    const std::filesystem::path kept = m_folder / "cur" / (m_name + std::string(SeenFlags));
    if (::rename(m_tmpPath.c_str(), kept.c_str()) != 0) {
        const int error = errno;
        Discard();
        Failed("cannot move the copy into " + (m_folder / "cur").string(), error);
        return std::nullopt;
    }
    m_tmpPath.clear();
    SyncFolder(m_folder / "cur");  // the rename itself durable; the copy is there either way
    return kept;
}

void TMaildirWriter::Discard() {
    if (m_file >= 0) {
        ::close(m_file);
        m_file = -1;
    }
    if (!m_tmpPath.empty()) {
        ::unlink(m_tmpPath.c_str());
        m_tmpPath.clear();
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

bool TMaildirWriter::Failed(const std::string& what, int error) {
    m_problem = what + ": " + std::strerror(error);
    return false;
}

}  // namespace corvane::account
