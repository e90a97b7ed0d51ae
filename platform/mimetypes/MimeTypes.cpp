#include "MimeTypes.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace corvane::mimetypes {

namespace {

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::string_view ExtensionOf(std::string_view fileName) {
#ifdef _WIN32
    const auto slash = fileName.find_last_of("/\\:");
#else
    const auto slash = fileName.rfind('/');
#endif
    const std::string_view name =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

}  // namespace

TMimeTypes::TMimeTypes(const std::vector<std::string>& files) {
    for (const auto& file : files) {
        Load(file);
    }
}

void TMimeTypes::Load(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        if (hash != std::string::npos) {
            line.erase(hash);
        }
        std::istringstream words(line);
        std::string type;
        if (!(words >> type)) {
            continue;
        }
        std::string extension;
        while (words >> extension) {
            m_typeByExtension[AsciiLower(extension)] = type;
        }
    }
}

std::string TMimeTypes::ForExtension(std::string_view extension) const {
    if (!extension.empty() && extension.front() == '.') {
        extension.remove_prefix(1);
    }
    if (extension.empty()) {
        return std::string(DefaultMimeType);
    }
    const auto found = m_typeByExtension.find(AsciiLower(extension));
    return found == m_typeByExtension.end() ? std::string(DefaultMimeType) : found->second;
}

std::string TMimeTypes::ForFile(std::string_view fileName) const {
    return ForExtension(ExtensionOf(fileName));
}

const TMimeTypes& TMimeTypes::System() {
    static const TMimeTypes system = [] {
        std::vector<std::string> files{"/etc/mime.types"};
        if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
            files.push_back(std::string(home) + "/.mime.types");
        }
        return TMimeTypes(files);
    }();
    return system;
}

}  // namespace corvane::mimetypes
