#include "account/ProviderTable.h"

#include <algorithm>
#include <functional>
#include <map>

namespace corvane::account {

namespace {

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

// A DNS name as a lookup gives it may end with the root's dot.
std::string Normalized(std::string_view name) {
    if (name.ends_with('.')) {
        name.remove_suffix(1);
    }
    return LowerAscii(name);
}

// Lower-case letters, digits and hyphens in dot-separated labels, none empty; also an IPv4
// address, which is how the table names a server on this machine.
bool IsLowerCaseHostName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.back() == '.' ||
        name.find("..") != std::string_view::npos) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
}

bool IsDomain(std::string_view name) {
    return IsLowerCaseHostName(name) && name.find('.') != std::string_view::npos;
}

// Whether Template holds a '%' that starts none of the placeholders ExpandPlaceholders knows.
bool HasUnknownPlaceholder(std::string_view templ) {
    return ExpandPlaceholders(templ, "local@domain").find('%') != std::string::npos;
}

// "https://" and a host; what follows the host is the provider's business.
bool IsHttpsUrl(std::string_view url) {
    constexpr std::string_view scheme = "https://";
    if (!url.starts_with(scheme)) {
        return false;
    }
    const std::string_view rest = url.substr(scheme.size());
    const std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    return !host.empty() && host.find_first_of("@ ") == std::string_view::npos;
}

constexpr std::string_view TenantPlaceholder = "{tenant}";

std::string Replaced(std::string text, std::string_view placeholder, std::string_view by) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + by.size())) {
        text.replace(at, placeholder.size(), by);
    }
    return text;
}

void CheckOAuth2(const TProvider& provider, const std::function<void(const std::string&)>& problem) {
    const TOAuth2Provider& oauth2 = *provider.OAuth2;
    if (std::find(provider.SignIn.begin(), provider.SignIn.end(), ESignIn::OAuth2) == provider.SignIn.end()) {
        problem("OAuth2 details, but \"oauth2\" is not among the ways of signing in");
    }
    if (oauth2.Client.empty()) {
        problem("OAuth2 without a client");
    }
    bool tenantUsed = false;
    const std::pair<const char*, const std::string*> urls[] = {{"issuer", &oauth2.Issuer},
                                                               {"authorization", &oauth2.Authorization},
                                                               {"token", &oauth2.Token},
                                                               {"deviceAuthorization", &oauth2.DeviceAuthorization}};
    for (const auto& [name, url] : urls) {
        if (url->empty() && url == &oauth2.DeviceAuthorization) {
            continue;
        }
        tenantUsed = tenantUsed || url->find(TenantPlaceholder) != std::string::npos;
        const std::string plain = Replaced(*url, TenantPlaceholder, DefaultTenant);
        if (!IsHttpsUrl(plain) || plain.find_first_of("{}") != std::string::npos) {
            problem(std::string("OAuth2 ") + name + " \"" + *url +
                    "\" is not an https URL with a host, or holds a placeholder other than {tenant}");
        }
    }
    if (tenantUsed != !oauth2.Tenant.empty() || !IsLowerCaseHostName(oauth2.Tenant.empty() ? "x" : oauth2.Tenant)) {
        problem("OAuth2 tenant \"" + oauth2.Tenant + "\" without {tenant} in a URL, or not a lower-case name");
    }
    if (oauth2.Scopes.empty() ||
        std::any_of(oauth2.Scopes.begin(), oauth2.Scopes.end(),
                    [](const std::string& scope) { return scope.empty() || scope.find(' ') != std::string::npos; })) {
        problem("OAuth2 without scopes, or with an empty one or one with a space");
    }
}

// Checks of one entry, each problem prefixed with what names the entry.
void CheckEntry(const TProvider& provider, const std::string& entry,
                std::vector<std::string>& problems) {
    auto problem = [&](const std::string& text) { problems.push_back(entry + ": " + text); };
    if (provider.Name.empty()) {
        problem("no name");
    }
    if (provider.Domains.empty() && provider.MxSuffixes.empty()) {
        problem("neither a domain nor an MX suffix");
    }
    for (const std::string& domain : provider.Domains) {
        if (!IsDomain(domain)) {
            problem("domain \"" + domain + "\" is not a lower-case domain name");
        }
    }
    for (const std::string& suffix : provider.MxSuffixes) {
        if (!suffix.starts_with('.') || !IsDomain(std::string_view(suffix).substr(1))) {
            problem("MX suffix \"" + suffix + "\" is not a dot and a lower-case domain name");
        }
    }
    if (!IsLowerCaseHostName(provider.Smtp.Host)) {
        problem("SMTP host \"" + provider.Smtp.Host + "\" is not a lower-case host name");
    }
    if (provider.Smtp.Port < 1 || provider.Smtp.Port > 65535) {
        problem("SMTP port " + std::to_string(provider.Smtp.Port) + " is outside 1..65535");
    }
    if (provider.Smtp.Security == mail::ESecurity::None) {
        problem("SMTP without SSL/TLS or STARTTLS");
    }
    if (provider.Imap &&
        (!IsLowerCaseHostName(provider.Imap->Host) || provider.Imap->Port < 1 ||
         provider.Imap->Port > 65535 || provider.Imap->Security == mail::ESecurity::None)) {
        problem(
            "IMAP server needs a lower-case host name, a port 1..65535 and SSL/TLS or STARTTLS");
    }
    if (provider.UserName.empty() || HasUnknownPlaceholder(provider.UserName)) {
        problem("user name \"" + provider.UserName + "\" is empty or has an unknown placeholder");
    }
    std::vector<ESignIn> signIn = provider.SignIn;
    std::sort(signIn.begin(), signIn.end());
    if (signIn.empty() || std::adjacent_find(signIn.begin(), signIn.end()) != signIn.end()) {
        problem("no way of signing in, or one named twice");
    }
    if (provider.OAuth2) {
        CheckOAuth2(provider, problem);
    }
}

// Records Name for Entry in Seen and reports a name another entry (or this one) had first.
void CheckUnique(const std::string& kind, const std::string& name, const std::string& entry,
                 std::map<std::string, std::string>& seen, std::vector<std::string>& problems) {
    const auto [first, inserted] = seen.emplace(LowerAscii(name), entry);
    if (!inserted) {
        problems.push_back(entry + ": " + kind + " \"" + name + "\" is also in " + first->second);
    }
}

}  // namespace

const TProvider* FindProvider(std::string_view domain, const std::vector<TProvider>& table) {
    const std::string wanted = Normalized(domain);
    for (const TProvider& provider : table) {
        if (std::find(provider.Domains.begin(), provider.Domains.end(), wanted) !=
            provider.Domains.end()) {
            return &provider;
        }
    }
    return nullptr;
}

const TProvider* ProviderForMxHost(std::string_view host, const std::vector<TProvider>& table) {
    const std::string wanted = Normalized(host);
    for (const TProvider& provider : table) {
        for (const std::string& suffix : provider.MxSuffixes) {
            if (wanted.size() > suffix.size() && wanted.ends_with(suffix)) {
                return &provider;
            }
        }
    }
    return nullptr;
}

const TProvider* ProviderForSmtpHost(std::string_view host, const std::vector<TProvider>& table) {
    const std::string wanted = Normalized(host);
    for (const TProvider& provider : table) {
        if (provider.Smtp.Host == wanted) {
            return &provider;
        }
    }
    return nullptr;
}

TOAuth2Provider ForTenant(const TOAuth2Provider& oauth2, std::string_view tenant) {
    const std::string_view by = tenant.empty() ? std::string_view(oauth2.Tenant) : tenant;
    TOAuth2Provider filled = oauth2;
    for (std::string* url : {&filled.Issuer, &filled.Authorization, &filled.Token, &filled.DeviceAuthorization}) {
        *url = Replaced(std::move(*url), TenantPlaceholder, by);
    }
    filled.Tenant = std::string(by);
    return filled;
}

TServerProposal ProposalFor(const TProvider& provider, std::string_view address) {
    return {provider.Smtp.Host,     provider.Smtp.Port,
            provider.Smtp.Security, ExpandPlaceholders(provider.UserName, address),
            provider.SignIn,        ESource::ProviderTable,
            provider.Name};
}

std::vector<std::string> CheckProviderTable(const std::vector<TProvider>& table) {
    std::vector<std::string> problems;
    std::map<std::string, std::string> ids;
    std::map<std::string, std::string> domains;
    std::map<std::string, std::string> suffixes;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TProvider& provider = table[i];
        const std::string entry =
            "provider " + std::to_string(i + 1) + " (\"" + provider.Id + "\")";
        if (provider.Id.empty()) {
            problems.push_back(entry + ": no id");
        }
        CheckUnique("id", provider.Id, entry, ids, problems);
        CheckEntry(provider, entry, problems);
        for (const std::string& domain : provider.Domains) {
            CheckUnique("domain", domain, entry, domains, problems);
        }
        for (const std::string& suffix : provider.MxSuffixes) {
            CheckUnique("MX suffix", suffix, entry, suffixes, problems);
        }
    }
    // A suffix that ends another one (".outlook.com" and ".mail.protection.outlook.com") would
    // give a host to whichever provider comes first.
    for (const auto& [suffix, entry] : suffixes) {
        for (const auto& [other, otherEntry] : suffixes) {
            if (other.size() > suffix.size() && other.ends_with(suffix)) {
                problems.push_back(otherEntry + ": MX suffix \"" + other + "\" ends with \"" +
                                   suffix + "\" of " + entry);
            }
        }
    }
    return problems;
}

}  // namespace corvane::account
