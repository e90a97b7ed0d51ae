#include "SendOptions.h"

#include <charconv>
#include <functional>
#include <map>

namespace corvane::send {

const char* const UsageText =
    "usage: corvane-send --server HOST[:PORT] --from FROM --to TO [--cc CC] [--bcc BCC]\n"
    "                    [--subject TEXT] [--attach FILE]... [--signature FILE]\n"
    "                    [--priority 1..5] [--organization TEXT] [--x-mailer TEXT]\n"
    "                    [--header LINE]... [--reply-to ADDR] [--in-reply-to TEXT] [--quiet]\n"
    "The message text is read from standard input.\n";

namespace {

using TSetter = std::function<std::optional<TUsageError>(TSendOptions&, const std::string&)>;

TSetter Text(std::string TSendOptions::*field) {
    return [field](TSendOptions& options, const std::string& value) -> std::optional<TUsageError> {
        options.*field = value;
        return std::nullopt;
    };
}

TSetter Append(std::vector<std::string> TSendOptions::*field) {
    return [field](TSendOptions& options, const std::string& value) -> std::optional<TUsageError> {
        (options.*field).push_back(value);
        return std::nullopt;
    };
}

std::optional<TUsageError> SetPriority(TSendOptions& options, const std::string& value) {
    int priority = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), priority);
    if (error != std::errc{} || end != value.data() + value.size() || priority < 1 || priority > 5) {
        return TUsageError{"--priority takes a number from 1 (highest) to 5 (lowest), not \"" +
                           value + "\""};
    }
    options.Priority = priority;
    return std::nullopt;
}

const std::map<std::string, TSetter>& ValueOptions() {
    static const std::map<std::string, TSetter> options{
        {"--server", Text(&TSendOptions::Server)},
        {"--from", Text(&TSendOptions::From)},
        {"--to", Text(&TSendOptions::To)},
        {"--cc", Text(&TSendOptions::Cc)},
        {"--bcc", Text(&TSendOptions::Bcc)},
        {"--subject", Text(&TSendOptions::Subject)},
        {"--attach", Append(&TSendOptions::Attachments)},
        {"--signature",
         [](TSendOptions& o, const std::string& v) -> std::optional<TUsageError> {
             o.SignatureFile = v;
             return std::nullopt;
         }},
        {"--priority", SetPriority},
        {"--organization", Text(&TSendOptions::Organization)},
        {"--x-mailer", Text(&TSendOptions::XMailer)},
        {"--header", Append(&TSendOptions::Headers)},
        {"--reply-to", Text(&TSendOptions::ReplyTo)},
        {"--in-reply-to", Text(&TSendOptions::InReplyTo)},
    };
    return options;
}

std::optional<TUsageError> CheckRequired(const TSendOptions& options) {
    for (const auto& [name, value] :
         {std::pair{"--server", &options.Server}, {"--from", &options.From}, {"--to", &options.To}}) {
        if (value->empty()) {
            return TUsageError{std::string(name) + " is required"};
        }
    }
    return std::nullopt;
}

}  // namespace

TParseResult ParseSendOptions(const std::vector<std::string>& arguments) {
    TSendOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        if (name == "--help" || name == "-h") {
            return THelpRequested{};
        }
        if (name == "--quiet" || name == "-q") {
            if (value) {
                return TUsageError{name + " takes no value"};
            }
            options.Quiet = true;
            continue;
        }
        const auto option = ValueOptions().find(name);
        if (option == ValueOptions().end()) {
            return TUsageError{"unknown argument \"" + arguments[i] + "\""};
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                return TUsageError{name + " needs a value"};
            }
            value = arguments[++i];
        }
        if (auto error = option->second(options, *value)) {
            return *error;
        }
    }
    if (auto error = CheckRequired(options)) {
        return *error;
    }
    return options;
}

}  // namespace corvane::send
