// The reader of a provider's mail client configuration document, which comes from the
// network. Input: the address the settings are for, 0xFF, the document's bytes.
//
// Properties:
// - a refused document gives a reason safe to show and no server, no domain;
// - a document that reads gives at least one outgoing server;
// - every server has a host name (the address grammar's, not an address literal), a port
//   from 1 to 65535, one of the three securities, and a user name without control bytes;
//   outgoing servers say where they came from;
// - servers come best first: SSL/TLS, then STARTTLS, then plain text.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "account/AutoconfigDocument.h"
#include "mail/AddressList.h"
#include "mail/ScreenText.h"

namespace {

using corvane::account::ESource;
using corvane::mail::ESecurity;

constexpr const char* Url = "https://autoconfig.example.org/mail/config-v1.1.xml";

int Rank(ESecurity security) {
    return security == ESecurity::Tls ? 0 : security == ESecurity::StartTls ? 1 : 2;
}

template <typename TServer>
void CheckServers(const std::vector<TServer>& servers) {
    int rank = 0;
    for (const auto& server : servers) {
        const std::string shown = corvane::fuzz::Shown(server.Host);
        FUZZ_CHECK(!server.Host.empty() && server.Host.front() != '[', shown);
        FUZZ_CHECK(corvane::mail::IsMailbox("x@" + server.Host), shown);
        FUZZ_CHECK(server.Port >= 1 && server.Port <= 65535, shown + ":" + std::to_string(server.Port));
        FUZZ_CHECK(server.Security == ESecurity::Tls || server.Security == ESecurity::StartTls ||
                       server.Security == ESecurity::None,
                   shown);
        FUZZ_CHECK(Rank(server.Security) >= rank, shown);
        rank = Rank(server.Security);
        for (const char c : server.UserName) {
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, corvane::fuzz::Shown(server.UserName));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = corvane::fuzz::SplitFields(corvane::fuzz::AsText(data, size), 2);
    const auto read = corvane::account::ReadAutoconfigDocument(fields[1], fields[0], Url);
    if (!read.Refused.empty()) {
        FUZZ_CHECK(read.Smtp.empty() && read.Imap.empty() && read.Domains.empty(), read.Refused);
        FUZZ_CHECK(corvane::mail::ScreenSafe(read.Refused) == read.Refused, corvane::fuzz::Shown(read.Refused));
        return 0;
    }
    FUZZ_CHECK(!read.Smtp.empty(), "read, with no outgoing server");
    CheckServers(read.Smtp);
    CheckServers(read.Imap);
    for (const auto& proposal : read.Smtp) {
        FUZZ_CHECK(proposal.Source == ESource::Autoconfig && proposal.SourceDetail == Url, proposal.SourceDetail);
    }
    return 0;
}
