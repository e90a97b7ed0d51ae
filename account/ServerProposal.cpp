#include "account/ServerProposal.h"

#include <array>
#include <utility>

#include "account/ServerSettings.h"

namespace corvane::account {

namespace {

std::string_view SourceName(ESource source) {
    switch (source) {
        case ESource::ProviderTable:
            return "the provider table";
        case ESource::Autoconfig:
            return "the provider's configuration document";
        case ESource::Srv:
            return "the domain's SRV record";
        case ESource::Mx:
            return "the domain's mail exchangers";
        case ESource::Probe:
            return "a server that answered";
    }
    return {};
}

std::string_view SecurityWords(mail::ESecurity security) {
    return security == mail::ESecurity::None ? "no encryption" : SecurityName(security);
}

}  // namespace

std::string ExpandPlaceholders(std::string_view templ, std::string_view address) {
    const std::size_t at = address.rfind('@');
    const std::string_view local = at == std::string_view::npos ? address : address.substr(0, at);
    const std::string_view domain = at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
    const std::array<std::pair<std::string_view, std::string_view>, 3> placeholders{
        {{"%EMAILADDRESS%", address}, {"%EMAILLOCALPART%", local}, {"%EMAILDOMAIN%", domain}}};
    std::string expanded;
    for (std::size_t i = 0; i < templ.size();) {
        bool replaced = false;
        for (const auto& [name, value] : placeholders) {
            if (templ.substr(i, name.size()) == name) {
                expanded += value;
                i += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            expanded += templ[i++];
        }
    }
    return expanded;
}

std::string Describe(const TServerProposal& proposal) {
    std::string text = proposal.Host + ":" + std::to_string(proposal.Port) + ", " +
                       std::string(SecurityWords(proposal.Security));
    if (!proposal.UserName.empty()) {
        text += ", user " + proposal.UserName;
    }
    text += " (from " + std::string(SourceName(proposal.Source));
    if (!proposal.SourceDetail.empty()) {
        text += ": " + proposal.SourceDetail;
    }
    return text + ")";
}

}  // namespace corvane::account
