// A mime.types file of any bytes, loaded the way the program loads ~/.mime.types, and looked
// up with every word it holds.
//
// Properties: a lookup gives the default type or one word of the file (never empty, never
// holding a blank or a '#'); extensions compare without regard to ASCII case, so upper and
// lower case give the same type; a leading '.' does not change the answer; a file name is
// typed by what follows its last '.'.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "platform/mimetypes/MimeTypes.h"

namespace {

using corvane::fuzz::Shown;
using corvane::mimetypes::TMimeTypes;

const std::filesystem::path& TableFile() {
    static const std::filesystem::path file = corvane::fuzz::ScratchFolder() / "mime.types";
    return file;
}

std::string AsciiCase(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!upper && c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = corvane::fuzz::AsText(data, size);
    {
        std::ofstream out(TableFile(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const TMimeTypes table({TableFile().string()});

    std::istringstream words{std::string(bytes)};
    std::string word;
    for (int looked = 0; looked < 64 && words >> word; ++looked) {
        const std::string type = table.ForExtension(word);
        FUZZ_CHECK(!type.empty() && type.find_first_of(" \t\r\n\v\f#") == std::string::npos,
                   Shown(word) + " -> " + Shown(type));
        FUZZ_CHECK(type == corvane::mimetypes::DefaultMimeType ||
                       bytes.find(type) != std::string_view::npos,
                   Shown(type));
        FUZZ_CHECK(table.ForExtension(AsciiCase(word, true)) == type &&
                       table.ForExtension(AsciiCase(word, false)) == type,
                   Shown(word));
        if (word.front() != '.') {
            FUZZ_CHECK(table.ForExtension("." + word) == type, Shown(word));
            if (word.find('.') == std::string::npos && word.find('/') == std::string::npos) {
                FUZZ_CHECK(table.ForFile("folder.d/name." + word) == type, Shown(word));
            }
        }
    }
    return 0;
}
