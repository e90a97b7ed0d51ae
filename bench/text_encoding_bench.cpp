// Throughput of the message text encoders, in text bytes per second.
//
//   corvane-bench-text-encoding [Google Benchmark options]
//
// Each text is 10 MiB of UTF-8 in lines of 60 to 5,000 bytes, built here from paragraphs:
// - Latin: German, French and English with an emoji now and then, about 7% of its bytes
//   non-ASCII: the kind of text the program sends as quoted-printable;
// - Mixed: German, Greek, Russian, Chinese, Japanese, Arabic, English and emoji, about 65%
//   non-ASCII: sent as Base64, and the worst case for quoted-printable (2.3 times the text).
// Benchmarks:
// - Choose: ChooseTextEncoding over the whole text (the scan every send makes).
// - QuotedPrintable / Base64: EncodeText into a fresh line list, as the composer calls it;
//   each iteration also copies the 10 MiB text, since the encoder takes it by value.
// - Subject / AddressList: one header of about 100 characters with non-ASCII words.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "mail/BodyEncoding.h"
#include "mail/HeaderEncoding.h"

namespace {

using namespace corvane::mail;

constexpr std::size_t TextBytes = 10 * 1024 * 1024;

const char* const Latin[] = {
    "Grüße aus München! Die Änderungen für nächste Woche sind übersichtlich. ",
    "The quarterly figures are attached; please review them before Friday. ",
    "Merci pour votre réponse, nous en parlerons à la réunion de jeudi. ",
    "Everything else is on track, and the release notes are in the wiki. ",
    "Party tonight, bring snacks 🍕! ",
};
const char* const Mixed[] = {
    "Grüße aus München! Die Änderungen für nächste Woche sind übersichtlich. ",
    "Καλημέρα σας, η συνάντηση μεταφέρθηκε την Πέμπτη. ",
    "The quarterly figures are attached; please review them before Friday. ",
    "Съешь же ещё этих мягких французских булок, да выпей чаю. ",
    "你好，这是关于下周会议的安排。",
    "会議の資料を添付します。ご確認ください。",
    "مرحبا، هذا تذكير بالاجتماع القادم. ",
    "Party tonight 🎉🥳, bring snacks 🍕! ",
};

template <std::size_t N>
TLineList MakeText(const char* const (&paragraphs)[N]) {
    TLineList lines;
    std::size_t bytes = 0;
    std::size_t next = 0;
    for (std::size_t lineNumber = 0; bytes < TextBytes; ++lineNumber) {
        // Short lines, paragraphs, and now and then one long enough to need cutting.
        const std::size_t target = lineNumber % 7 == 0 ? 5000 : 60 + (lineNumber * 131) % 900;
        std::string line;
        while (line.size() < target) {
            line += paragraphs[next++ % N];
        }
        bytes += line.size();
        lines.Add(line);
    }
    return lines;
}

void Choose(benchmark::State& state) {
    const auto text = MakeText(Mixed);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ChooseTextEncoding(text, false));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.TextSize()));
}

template <ETextEncoding Encoding, bool LatinText>
void Encode(benchmark::State& state) {
    const auto text = LatinText ? MakeText(Latin) : MakeText(Mixed);
    for (auto _ : state) {
        auto lines = EncodeText(text, Encoding);
        benchmark::DoNotOptimize(lines.Text().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.TextSize()));
}

void Subject(benchmark::State& state) {
    const std::string subject = "Re: Grüße aus München — Bericht März, Καλημέρα и привет, 你好 🎉";
    for (auto _ : state) {
        benchmark::DoNotOptimize(UnstructuredHeader("Subject", subject));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * subject.size()));
}

void AddressList(benchmark::State& state) {
    const std::string to =
        "Jürgen Müller <jm@example.de>, \"Doe, Jane\" <jane@example.org>, 张伟 <zw@example.cn>";
    const auto same = [](std::string_view address) { return std::string(address); };
    for (auto _ : state) {
        benchmark::DoNotOptimize(AddressListHeader("To", to, same));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * to.size()));
}

BENCHMARK(Choose)->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<ETextEncoding::QuotedPrintable, true>)
    ->Name("QuotedPrintable/Latin")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<ETextEncoding::QuotedPrintable, false>)
    ->Name("QuotedPrintable/Mixed")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<ETextEncoding::Base64, false>)
    ->Name("Base64/Mixed")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Subject);
BENCHMARK(AddressList);

}  // namespace

BENCHMARK_MAIN();
