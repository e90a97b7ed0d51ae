#pragma once
// File extension to MIME type, from mime.types files ("type ext1 ext2 ..." per line, '#'
// starts a comment). Files are read in order and later files take precedence, so the
// user's ~/.mime.types overrides the system's /etc/mime.types. Extensions compare without
// regard to ASCII case. Anything unknown maps to "application/octet-stream".

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane::mimetypes {

inline constexpr std::string_view DefaultMimeType = "application/octet-stream";

class TMimeTypes {
public:
    // Reads each file that exists; missing or unreadable files are skipped.
    explicit TMimeTypes(const std::vector<std::string>& files);

    // The type for the extension of FileName (text after the last '.' of the last path
    // component), or DefaultMimeType.
    std::string ForFile(std::string_view fileName) const;
    std::string ForExtension(std::string_view extension) const;

    // The system's table: /etc/mime.types, then $HOME/.mime.types. Loaded once.
    static const TMimeTypes& System();

private:
    void Load(const std::string& path);
    std::unordered_map<std::string, std::string> m_typeByExtension;  // lower-case keys
};

}  // namespace corvane::mimetypes
