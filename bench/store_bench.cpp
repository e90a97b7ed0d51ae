// corvane-bench-store: what the window's settings cost in the store.
//
// It points XDG_CONFIG_HOME at a fresh temporary folder (on the same file system as the
// user's own, /tmp unless TMPDIR says otherwise; removed at the end), makes the window
// (TMainForm) under the offscreen platform, fills it with the full workload (8 histories at
// their limits, Messages 100 lines, Sig1..Sig8 20 lines each, X_Header 20 lines, 8 attached
// files, the font, every option) and stores it the way the program does, then measures:
//
//   startup-read        TMainForm::FormCreate, everything the window reads at start-up,
//                       with the store connection opened afresh each time (as a new process
//                       does: opening, checking, WAL set-up) and the database file in the page
//                       cache; also with the connection already open, and each control's load
//                       on its own.
//   close-write         the window's close (its closeEvent: FormClose, every write durable
//                       before it returns), with the window showing the full workload.
//   read / write        one TMyReg::ReadInteger and one TMyReg::WriteInteger of an option
//                       value, each a complete operation (open the section key, access,
//                       close).
//
// Every figure is the median (with min and max) over --repeats timed runs after one untimed
// warm-up. Output: one line per figure on standard output, "name median_ms min_ms max_ms
// count", for bench/app_perf.sh to put into its table; --verbose adds a breakdown.
//
//   corvane-bench-store [--repeats N] [--op-repeats N] [--verbose]
//   corvane-bench-store --prepare FOLDER     only stores the workload below FOLDER (kept)

#include "bench/BenchArgs.h"
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QTabWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/Main.h"
#include "platform/registry/Registry.h"
#include "platform/registry/SqliteStore.h"

namespace {

using corvane::app::TMainForm;
using corvane::regctrls::TRegMemo;
using corvane::regctrls::TSuperComboBox;
using TClock = std::chrono::steady_clock;

struct TStats {
    double Median = 0, Min = 0, Max = 0;
    std::size_t Count = 0;
};

TStats Summarise(std::vector<double> samples) {
    TStats stats;
    if (samples.empty()) {
        return stats;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    stats.Median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    stats.Min = samples.front();
    stats.Max = samples.back();
    stats.Count = n;
    return stats;
}

// Milliseconds taken by Body.
double TimeMs(const std::function<void()>& body) {
    const auto start = TClock::now();
    body();
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// One warm-up run, then Repeats timed ones.
TStats Measure(int repeats, const std::function<void()>& body) {
    body();
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(repeats));
    for (int i = 0; i < repeats; ++i) {
        samples.push_back(TimeMs(body));
    }
    return Summarise(std::move(samples));
}

void Print(const char* name, const TStats& stats) {
    std::printf("%s %.4f %.4f %.4f %zu\n", name, stats.Median, stats.Min, stats.Max, stats.Count);
    std::fflush(stdout);
}

std::string Line(const char* what, int number, int width) {
    std::string text = std::string(what) + " line " + std::to_string(number) + ": ";
    while (static_cast<int>(text.size()) < width) {
        text += "lorem ipsum dolor sit amet ";
    }
    text.resize(static_cast<std::size_t>(width));
    return text;
}

std::vector<std::string> Lines(const char* what, int count, int width) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(Line(what, i, width));
    }
    return lines;
}

// The message text and the signatures keep every line; the workload gives them the sizes
// they were measured at when the message text kept 100 lines and a signature 20, so that
// the figures stay comparable.
constexpr int MessageLines = 100;
constexpr int SignatureLines = 20;

// The fullest the window gets: every history at its limit, the memos at the sizes above and
// X_Header at its most lines, eight attachments, a font, options off their defaults.
void FillWorkload(TMainForm& form) {
    for (TSuperComboBox* history : {form.From, form.Smtp, form.SendTo, form.CC, form.BCC,
                                    form.Subject, form.Organization, form.X_Mailer}) {
        for (int i = history->MaxHistoryItems; i-- > 0;) {
            history->AddToHistory(QStringLiteral("%1 entry %2 <someone%2@example.org>")
                                      .arg(history->objectName())
                                      .arg(i));
        }
        history->SaveToRegistry();
    }
    form.Messages->SetLines(Lines("Message", MessageLines, 70));
    for (TRegMemo* signature : form.Sigs) {
        signature->SetLines(Lines("Signature", SignatureLines, 60));
    }
    form.X_Header->SetLines(Lines("X-Extra", form.X_Header->RegMaxLines, 40));
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) {
        files.push_back("/home/someone/Documents/report-" + std::to_string(i) + ".pdf");
    }
    form.Attachment->SetItems(files);
    form.RegFontDialog1->Font.Font.setFamily(QStringLiteral("DejaVu Sans"));
    form.RegFontDialog1->Font.Font.setPointSize(10);
    form.RegFontDialog1->Font.Font.setBold(true);
    for (QCheckBox* box : {form.Priority, form.Include_Organization,
                           form.Include_X_Mailer, form.Include_X_Header, form.Clear_CC,
                           form.Clear_Subject}) {
        box->setChecked(true);
    }
    form.EditableSig->setChecked(true);
    form.PriorityValue->setCurrentIndex(1);
    form.PageControl2->setCurrentIndex(3);
}

// The window's close as the program runs it: its close event, delivered to the window.
void Close(TMainForm& form) {
    QCloseEvent event;
    QCoreApplication::sendEvent(&form, &event);
}

int Arg(int argc, char** argv, const char* name, int fallback) {
    const char* value = corvane::bench::OptionValue(argc, argv, name);
    return value == nullptr ? fallback : std::max(1, std::atoi(value));
}

bool Flag(int argc, char** argv, const char* name) {
    return corvane::bench::HasFlag(argc, argv, name);
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = Arg(argc, argv, "--repeats", 21);
    const int opRepeats = Arg(argc, argv, "--op-repeats", 501);
    const bool verbose = Flag(argc, argv, "--verbose");

    // --prepare FOLDER: only store the workload in FOLDER/corvane/registry.db and keep it,
    // for a run of the real program (bench/app_perf.sh).
    std::string prepare;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--prepare") == 0) {
            prepare = argv[i + 1];
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = !prepare.empty() ? prepare
                                          : std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") +
                                                "/corvane-store-bench.XXXXXX";
    if (prepare.empty() && ::mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    corvane::registry::TSqliteStore::CloseProcess();

    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        TMainForm form;
        FillWorkload(form);
        Close(form);  // stores the whole workload, as the first close would

        // Check that the workload went in and comes back.
        form.Messages->clear();
        form.FormCreate();
        if (form.Messages->Lines().size() != MessageLines ||
            form.Sigs[7]->Lines().size() != SignatureLines ||
            form.X_Header->Lines().size() != 20 || form.Attachment->count() != 8 ||
            form.From->count() != 20 || form.Subject->count() != 15) {
            std::fprintf(stderr,
                         "corvane-bench-store: the workload did not come back whole (Messages %zu, "
                         "Sig8 %zu, X_Header %zu, attachments %d, From %d, Subject %d)\n",
                         form.Messages->Lines().size(), form.Sigs[7]->Lines().size(),
                         form.X_Header->Lines().size(), form.Attachment->count(), form.From->count(),
                         form.Subject->count());
            status = 1;
        }
        if (!prepare.empty()) {
            corvane::registry::TSqliteStore::CloseProcess();
            return status;
        }
        const auto& store = corvane::registry::TSqliteStore::Process();
        if (store.Mode() != corvane::registry::EStoreMode::Writable) {
            std::fprintf(stderr, "corvane-bench-store: the store is not writable\n");
            status = 1;
        }

        // The close writes what the window shows; after a FormCreate it shows the workload.
        Print("close-write", Measure(repeats, [&] { Close(form); }));
        Print("startup-read-fresh-connection", Measure(repeats, [&] {
                  corvane::registry::TSqliteStore::CloseProcess();
                  form.FormCreate();
              }));
        Print("startup-read", Measure(repeats, [&] { form.FormCreate(); }));
        Print("store-open", Measure(repeats, [] {
                  corvane::registry::TSqliteStore::CloseProcess();
                  corvane::registry::TSqliteStore::Process();
              }));

        corvane::regctrls::TMyReg options;
        options.RegPath = form.MyReg1.RegPath;
        std::int32_t sink = 0;
        Print("read-integer", Measure(opRepeats, [&] {
                  sink += options.ReadInteger("General", "PriorityValue", 2);
              }));
        std::int32_t next = 0;
        Print("write-integer", Measure(opRepeats, [&] {
                  options.WriteInteger("Bench", "Counter", ++next);
              }));
        if (sink == 0 || options.ReadInteger("Bench", "Counter", -1) != next) {
            std::fprintf(stderr, "corvane-bench-store: reads or writes did not arrive\n");
            status = 1;
        }

        if (verbose) {
            // Each part of the start-up read and of the close on its own.
            for (TSuperComboBox* history : {form.From, form.Subject, form.Organization}) {
                const std::string name = "load-history-" + history->objectName().toStdString();
                Print(name.c_str(), Measure(repeats, [&] { history->LoadFromRegistry(); }));
            }
            Print("load-memo-Messages", Measure(repeats, [&] { form.Messages->LoadFromRegistry(); }));
            Print("load-memo-Sig1", Measure(repeats, [&] { form.Sigs[0]->LoadFromRegistry(); }));
            Print("load-attachments", Measure(repeats, [&] { form.Attachment->LoadFromRegistry(); }));
            Print("load-font", Measure(repeats, [&] { form.RegFontDialog1->LoadFromRegistry(); }));
            Print("save-memo-Messages", Measure(repeats, [&] { form.Messages->SaveToRegistry(); }));
            Print("save-memo-Sig1", Measure(repeats, [&] { form.Sigs[0]->SaveToRegistry(); }));
            Print("save-attachments", Measure(repeats, [&] { form.Attachment->SaveToRegistry(); }));
            Print("save-history-From", Measure(repeats, [&] {
                      form.From->SaveToRegistry();
                  }));
            Print("save-font", Measure(repeats, [&] { form.RegFontDialog1->SaveToRegistry(); }));
            Print("save-fields", Measure(repeats, [&] { form.SaveFields(); }));
        }
    }
    corvane::registry::TSqliteStore::CloseProcess();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
