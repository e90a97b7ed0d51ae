// Throughput of the Base64 encoder, in input bytes per second.
//
//   corvane-bench-base64 [Google Benchmark options]
//
// The input is the file named by CORVANE_BENCH_FILE (bench/compare.sh passes the same file
// it gives `base64 -w 76`), or else 100 MiB of pseudo-random bytes made here.
//
// - EncodeLines: 57 input bytes to each 76-character line, the lines one after another in one
//   buffer, one call per line (the slower shape: every call pays for its tail).
// - EncodeBlock: one call over the whole input, as the composer encodes each read block:
//   57 bytes are 19 whole triplets, so a block's lines are its encoding cut up.
// - EncodeAttachment: TWrenSMTP::EncodeAttachment end to end: reading the file (from the
//   page cache), encoding, writing the lines to a fresh spool file in the temporary
//   folder, progress bookkeeping.
// The first two run once per encoder this processor can use ("scalar" is the portable one).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mail/Base64.h"
#include "mail/WrenEmail.h"

namespace {

using namespace corvane::mail;

constexpr std::size_t DefaultInputBytes = 100 * 1024 * 1024;

struct TInput {
    std::vector<std::uint8_t> Bytes;
    std::string Path;        // a file holding Bytes
    bool OwnsFile = false;   // made here, removed at exit

    TInput() {
        if (const char* given = std::getenv("CORVANE_BENCH_FILE"); given != nullptr && *given) {
            Path = given;
            if (!ReadWholeFile()) {
                std::fprintf(stderr, "cannot read %s\n", given);
                std::exit(1);
            }
            return;
        }
        Bytes.resize(DefaultInputBytes);
        std::mt19937_64 random(20240229);
        for (std::size_t i = 0; i + 8 <= Bytes.size(); i += 8) {
            const std::uint64_t value = random();
            std::memcpy(Bytes.data() + i, &value, 8);
        }
        const char* folder = std::getenv("TMPDIR");
        std::string pattern = std::string(folder != nullptr && *folder ? folder : "/tmp") +
                              "/corvane-bench-base64-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            return;  // EncodeAttachment is then skipped
        }
        std::size_t written = 0;
        while (written < Bytes.size()) {
            const ssize_t n = ::write(fd, Bytes.data() + written, Bytes.size() - written);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        ::close(fd);
        Path = pattern;
        OwnsFile = true;
    }
    bool ReadWholeFile() {
        const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0) {
            return false;
        }
        Bytes.resize(static_cast<std::size_t>(status.st_size));
        std::size_t got = 0;
        while (got < Bytes.size()) {
            const ssize_t n = ::read(fd, Bytes.data() + got, Bytes.size() - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        ::close(fd);
        return got == Bytes.size();
    }
    ~TInput() {
        if (OwnsFile) {
            ::unlink(Path.c_str());
        }
    }
};

TInput& Input() {
    static TInput input;
    return input;
}

void EncodeLines(benchmark::State& state, TBase64Encoder encode) {
    const auto& in = Input().Bytes;
    const std::size_t lines = (in.size() + Base64LineInputBytes - 1) / Base64LineInputBytes;
    std::vector<char> out(lines * Base64LineLength);
    for (auto _ : state) {
        const std::uint8_t* from = in.data();
        char* to = out.data();
        for (std::size_t left = in.size(); left > 0;) {
            const std::size_t count = std::min(left, Base64LineInputBytes);
            encode(from, count, to);
            from += count;
            to += Base64EncodedLength(count);
            left -= count;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void EncodeBlock(benchmark::State& state, TBase64Encoder encode) {
    const auto& in = Input().Bytes;
    std::vector<char> out(Base64EncodedLength(in.size()));
    for (auto _ : state) {
        encode(in.data(), in.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void EncodeAttachmentEndToEnd(benchmark::State& state) {
    const TInput& input = Input();
    if (input.Path.empty()) {
        state.SkipWithError("no input file");
        return;
    }
    TAttachedFile item;
    item.FileName = "attachment.bin";
    item.PathName = input.Path;
    item.ContentType = "application/octet-stream";
    for (auto _ : state) {
        // A fresh engine, so a fresh spool file, each time, as for a new send.
        TWrenSMTP smtp;
        smtp.EncodeProgressStep = 5;
        TComposedMessage part;
        if (!smtp.EncodeAttachment(item, part)) {
            state.SkipWithError("EncodeAttachment failed");
            return;
        }
        benchmark::DoNotOptimize(part.MessageSize());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.Bytes.size()));
}

// Registered at start-up, once per encoder this processor can run.
const bool Registered = [] {
    for (const auto& encoder : Base64Encoders()) {
        const std::string name(encoder.Name);
        benchmark::RegisterBenchmark(("EncodeLines/" + name).c_str(), EncodeLines, encoder.Encode)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("EncodeBlock/" + name).c_str(), EncodeBlock, encoder.Encode)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("EncodeAttachment", EncodeAttachmentEndToEnd)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
