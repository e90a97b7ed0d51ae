#pragma once
// Temporary files for tests: a folder of one's own, removed with its contents.

#include <filesystem>
#include <string>

namespace corvane::test {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // Writes a file of these bytes into the folder and returns its path.
    std::filesystem::path WriteFile(const std::string& name, const std::string& bytes) const;
    // The same, readable and writable by its owner alone (mode 0600), as a password file must be.
    std::filesystem::path WritePrivateFile(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};

std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace corvane::test
