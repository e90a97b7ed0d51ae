#include "mail/WrenEmail.h"

#include <array>

namespace corvane::mail {

std::string_view PriorityName(int priority) {
    static constexpr std::array<std::string_view, 5> Names{"Highest", "High", "Normal", "Low",
                                                           "Lowest"};
    // Values outside 1..5 are not part of the model; they read as the nearest valid one
    // rather than reading past the table.
    const int index = priority < 1 ? 0 : (priority > 5 ? 4 : priority - 1);
    return Names[static_cast<std::size_t>(index)];
}

std::string DefaultPort(ESecurity security) {
    switch (security) {
        case ESecurity::StartTls:
            return "587";  // submission, RFC 6409
        case ESecurity::Tls:
            return "465";  // submissions, RFC 8314 section 7.3
        case ESecurity::None:
            break;
    }
    return "25";
}

void TWrenMsg::Clear() {
    Priority = 3;
    IncludePriority = false;
    RequestReadReceipt = false;
    for (std::string* text : {&From, &ReplyTo, &InReplyTo, &SendTo, &CC, &BCC, &Organization,
                              &Xmailer, &Subject}) {
        text->clear();
    }
    AttachedFiles.Clear();
    Text.Clear();
    ExtraHeaders.clear();
    Signature.clear();
}

TAttachedFile& TAttachedFiles::AddFile(const std::string& pathName) {
    auto item = std::make_unique<TAttachedFile>();
    // The name after the last folder delimiter (and, on Windows, drive colon). Elsewhere '\'
    // and ':' are ordinary characters of a file name.
#ifdef _WIN32
    const auto delimiter = pathName.find_last_of("/\\:");
#else
    const auto delimiter = pathName.rfind('/');
#endif
    item->FileName = delimiter == std::string::npos ? pathName : pathName.substr(delimiter + 1);
    item->PathName = pathName;
    item->ContentType = LookupContentType(pathName);
    m_items.push_back(std::move(item));
    return *m_items.back();
}

std::string TAttachedFiles::LookupContentType(const std::string& fileName) const {
    return MimeTypes->ForFile(fileName);
}

}  // namespace corvane::mail
