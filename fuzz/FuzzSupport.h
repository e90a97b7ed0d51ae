#pragma once
// Shared by the fuzz targets.
//
// FUZZ_CHECK states a property of the code under test. When it does not hold, it prints what
// failed and aborts, so that libFuzzer keeps the input as a crash, and the replay test (the
// same target without libFuzzer, see FuzzReplayMain.cpp) fails on it.
//
// SplitFields cuts one fuzz input into the fields a target needs. The separator is the byte
// 0xFF, which no UTF-8 text holds, so every field may still carry any byte the code under
// test treats specially (CR, LF, NUL, quotes, brackets). Seeds stay readable: printf '%s\xff%s'.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <stdlib.h>  // mkdtemp

#define FUZZ_CHECK(condition, what)                                          \
    do {                                                                     \
        if (!(condition)) {                                                  \
            ::corvane::fuzz::Failed(__FILE__, __LINE__, #condition, (what)); \
        }                                                                    \
    } while (false)

namespace corvane::fuzz {

inline constexpr char FieldSeparator = '\xff';

[[noreturn]] inline void Failed(const char* file, int line, const char* condition,
                                std::string_view what) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n  %.*s\n", file, line, condition,
                 static_cast<int>(what.size()), what.data());
    std::abort();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The fields of Input between separators; at least Count of them (missing ones are empty).
// With Rest false, a separator after the last wanted field is kept inside it, so the field
// count stays fixed; with Rest true every further field is returned as well.
inline std::vector<std::string_view> SplitFields(std::string_view input, std::size_t count,
                                                 bool rest = false) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto separator = input.find(FieldSeparator);
        if (separator == std::string_view::npos || (!rest && fields.size() + 1 == count)) {
            fields.push_back(input);
            break;
        }
        fields.push_back(input.substr(0, separator));
        input.remove_prefix(separator + 1);
    }
    while (fields.size() < count) {
        fields.emplace_back();
    }
    return fields;
}

// A folder of its own for this process, removed when it exits: in memory where the machine
// has /dev/shm, so that the files a target writes on every run cost no disk writes.
inline std::filesystem::path ScratchFolder() {
    static const std::filesystem::path folder = [] {
        namespace fs = std::filesystem;
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string name = (base / "corvane-fuzz-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) {
            std::abort();
        }
        static const fs::path removeAtExit = name;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(removeAtExit, ignored);
        });
        return fs::path(name);
    }();
    return folder;
}

// Text shown in a failure message: control bytes and bytes above 0x7E as \xNN.
inline std::string Shown(std::string_view text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e || c == '\\') {
            shown += "\\x";
            shown += Hex[byte >> 4];
            shown += Hex[byte & 0x0f];
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
