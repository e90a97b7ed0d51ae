#include "mail/OAuthSasl.h"

#include <initializer_list>
#include <optional>

#include "mail/Base64.h"

namespace corvane::mail {

namespace {

// Ends each key=value of both mechanisms (RFC 7628's kvsep), and the response.
constexpr std::string_view Separator = "\x01";

std::string Joined(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) {
        size += part.size();
    }
    std::string joined;
    joined.reserve(size);
    for (const std::string_view part : parts) {
        joined.append(part);
    }
    return joined;
}

// RFC 5801 section 4, saslname: ',' ends the GS2 header's field and '=' starts an escape.
std::string SaslName(std::string_view user) {
    std::string name;
    for (const char c : user) {
        name += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    }
    return name;
}

// Reads the flat JSON object of an OAuth error, member by member.
class TJsonObjectReader {
public:
    explicit TJsonObjectReader(std::string_view text) : m_text(text) {}

    // The value of member Name when it is a string or a bare number.
    std::optional<std::string> Member(std::string_view name) {
        if (!Take('{')) {
            return std::nullopt;
        }
        if (Take('}')) {
            return std::nullopt;
        }
        do {
            std::optional<std::string> key = String();
            if (!key || !Take(':')) {
                return std::nullopt;
            }
            std::optional<std::string> value = Scalar();
            if (!value) {
                return std::nullopt;
            }
            if (*key == name) {
                return value;
            }
        } while (Take(','));
        return std::nullopt;
    }

private:
    void SkipSpace() {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\r' || m_text[m_at] == '\n')) {
            ++m_at;
        }
    }

    bool Take(char expected) {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == expected) {
            ++m_at;
            return true;
        }
        return false;
    }

    // A quoted string; an escape keeps the character after its backslash, so "\"" is '"'
    // and "\u0041" is "u0041": enough for the words servers put there.
    std::optional<std::string> String() {
        if (!Take('"')) {
            return std::nullopt;
        }
        std::string value;
        while (m_at < m_text.size()) {
            char c = m_text[m_at++];
            if (c == '"') {
                return value;
            }
            if (c == '\\') {
                if (m_at == m_text.size()) {
                    break;
                }
                c = m_text[m_at++];
            }
            value += c;
        }
        return std::nullopt;
    }

    // A string, or a number, true, false or null as written; an object or array is not
    // what these errors hold.
    std::optional<std::string> Scalar() {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == '"') {
            return String();
        }
        const auto bare = [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
                   c == '+' || c == '.';
        };
        const std::size_t start = m_at;
        while (m_at < m_text.size() && bare(m_text[m_at])) {
            ++m_at;
        }
        if (m_at == start) {
            return std::nullopt;
        }
        return std::string(m_text.substr(start, m_at - start));
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

std::string XOAuth2Response(std::string_view user, std::string_view token) {
    return Joined({"user=", user, Separator, "auth=Bearer ", token, Separator, Separator});
}

std::string OAuthBearerResponse(std::string_view user, std::string_view host, int port, std::string_view token) {
    const std::string name = SaslName(user);
    const std::string portText = std::to_string(port);
    return Joined({"n,a=", name, ",", Separator, "host=", host, Separator, "port=", portText, Separator,
                   "auth=Bearer ", token, Separator, Separator});
}

std::string OAuthErrorStatus(std::string_view challenge) {
    const std::optional<std::string> json = DecodeBase64(challenge);
    if (!json) {
        return {};
    }
    std::string status = TJsonObjectReader(*json).Member("status").value_or("");
    if (status.size() > MaxOAuthStatusLength) {
        status.resize(MaxOAuthStatusLength);
    }
    return status;
}

}  // namespace corvane::mail
