// What keeping a message costs a send (corvane-bench-sent-copy): corvane-send sends one
// message with a random attachment (10 MiB unless --size-mib says otherwise) over STARTTLS
// with sign-in to aiosmtpd, four ways, in rounds whose order is shuffled each time:
//
//   send only    --no-archive --no-sent-copy
//   + archive    the message also written into the local Maildir archive
//   + IMAP copy  --no-archive, and the copy APPENDed to the Sent folder of a real dovecot
//                (implicit TLS, password sign-in) on loopback
//   + both       the archive and the copy
//
//   corvane-bench-sent-copy --send PATH-TO-corvane-send [--rounds N] [--size-mib N]
//
// Prints a Markdown table of the median wall times (the whole process, from start to exit),
// their range, and the extra time over "send only". The servers, the certificates and the archive are this
// run's own, in temporary folders; every wait is bounded.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "AiosmtpdServer.h"
#include "BenchArgs.h"
#include "DovecotServer.h"
#include "ProgramProcess.h"
#include "TempFolder.h"
#include "TestCertificates.h"

namespace {

using namespace std::chrono_literals;
using namespace corvane;

std::string RandomBytes(std::size_t count) {
    std::mt19937_64 random(7);
    std::string data(count, '\0');
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    return data;
}

int NumberOption(int argc, char** argv, const char* name, int otherwise) {
    const char* value = bench::OptionValue(argc, argv, name);
    return value == nullptr ? otherwise : std::max(1, std::atoi(value));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const char* send = bench::OptionValue(argc, argv, "--send");
    if (send == nullptr) {
        std::cerr << "usage: corvane-bench-sent-copy --send PATH-TO-corvane-send [--rounds N] [--size-mib N]\n";
        return 2;
    }
    const int rounds = NumberOption(argc, argv, "--rounds", 7);
    const auto mebibytes = static_cast<std::size_t>(NumberOption(argc, argv, "--size-mib", 10));

    const auto& certificates = test::TTestCertificates::Shared();
    if (!certificates.Made()) {
        std::cerr << certificates.Problem() << "\n";
        return 1;
    }
    test::TTrustOnly trust(certificates.CaFile);
    test::TTempFolder home;
    ::setenv("XDG_DATA_HOME", home.Path().c_str(), 1);
    test::TAiosmtpdServer smtp(test::SignInRequired(test::TAiosmtpdOptions::ESecurity::StartTls,
                                                    certificates.Loopback.Certificate, certificates.Loopback.Key,
                                                    "jo", "secret"));
    test::TDovecotOptions imapOptions;
    imapOptions.CertificateFile = certificates.Loopback.Certificate;
    imapOptions.KeyFile = certificates.Loopback.Key;
    test::TDovecotServer imap(imapOptions);
    if (!smtp.Running() || !imap.Running()) {
        std::cerr << smtp.Problem() << imap.Problem() << "\n";
        return 1;
    }
    const std::string attachment = home.WriteFile("attachment.bin", RandomBytes(mebibytes << 20)).string();
    const std::string password = home.WritePrivateFile("password", "secret\n").string();
    const std::string imapServer = imap.Host() + ":" + std::to_string(imap.TlsPort());
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"send only", {"--no-archive", "--no-sent-copy"}},
        {"+ archive", {"--no-sent-copy"}},
        {"+ IMAP copy", {"--no-archive", "--imap-server", imapServer}},
        {"+ both", {"--imap-server", imapServer}},
    };
    std::map<std::string, std::vector<double>> seconds;
    std::mt19937 shuffle(11);
    std::vector<std::size_t> order{0, 1, 2, 3};
    for (int round = 0; round < rounds; ++round) {
        std::shuffle(order.begin(), order.end(), shuffle);
        for (const std::size_t index : order) {
            std::vector<std::string> command{send, "--quiet", "--server", "127.0.0.1:" + smtp.Port(), "--security",
                                             "starttls", "--user", "jo", "--password-file", password, "--from",
                                             "jo@example.org", "--to", "ann@example.org", "--subject", "Bench",
                                             "--attach", attachment};
            command.insert(command.end(), cases[index].second.begin(), cases[index].second.end());
            const auto start = std::chrono::steady_clock::now();
            test::TProgramProcess process(command, "text\n");
            const auto exit = process.WaitForExit(300s);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (exit != 0 || !process.Error().empty()) {
                std::cerr << cases[index].first << " failed: " << process.Error() << "\n";
                return 1;
            }
            seconds[cases[index].first].push_back(took.count());
        }
        std::cerr << "round " << round + 1 << " of " << rounds << "\n";
    }
    const double base = Median(seconds["send only"]);
    std::printf("| %zu MiB attachment, %d rounds | median | fastest to slowest | extra over the send |\n"
                "|---|---|---|---|\n",
                mebibytes, rounds);
    for (const auto& [name, arguments] : cases) {
        const auto& times = seconds[name];
        const double median = Median(times);
        std::printf("| %s | %.3f s | %.3f to %.3f s | %+.3f s |\n", name.c_str(), median,
                    *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()),
                    median - base);
    }
    std::printf("\nMessages in the Sent folder: %zu\n", imap.Messages("Sent Items").size());
    return 0;
}
