#pragma once
// Command-line options of the benchmark programs: "--name value" and bare "--flag".

#include <cstring>

namespace corvane::bench {

// The word after Name, or nullptr when Name is not given (or is last).
inline const char* OptionValue(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return argv[i + 1];
        }
    }
    return nullptr;
}

inline bool HasFlag(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace corvane::bench
