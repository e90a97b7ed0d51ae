#include "TempFolder.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace corvane::test {

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
    }
}

TTempFolder::~TTempFolder() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

std::filesystem::path TTempFolder::WriteFile(const std::string& name,
                                             const std::string& bytes) const {
    const std::filesystem::path path = m_path / name;
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::filesystem::path TTempFolder::WritePrivateFile(const std::string& name,
                                                    const std::string& bytes) const {
    const std::filesystem::path path = WriteFile(name, bytes);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return path;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace corvane::test
