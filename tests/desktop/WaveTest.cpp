// The sound player, heard for real: main() starts a PulseAudio server of its own with a null
// sink before the QApplication exists (Qt Multimedia connects to the server named by
// PULSE_SERVER when it is first used), each test records the sink's monitor with parec while
// TWave plays, and the recording is measured: level, length, and which of the program's
// sounds it matches. Without pulseaudio the sound tests skip; the "no server" case runs this
// same executable as a child process that knows of no server.

#include "desktop/Resources.h"
#include "desktop/Wave.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QAudioDevice>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace corvane::desktop {
namespace {

constexpr const char* RoleVariable = "CORVANE_WAVE_TEST_ROLE";
constexpr const char* SinkName = "corvane_null";

// ---------------------------------------------------------------------------------------
// The private sound server

class SoundServer {
public:
    // Starts pulseaudio in a fresh folder and waits (bounded) until it takes connections.
    bool Start(std::string* why) {
        char pattern[] = "/tmp/corvane-wave-XXXXXX";  // short: socket paths are limited
        if (::mkdtemp(pattern) == nullptr) {
            *why = std::string("mkdtemp: ") + std::strerror(errno);
            return false;
        }
        m_dir = pattern;
        for (const char* sub : {"/home", "/run"}) {
            std::filesystem::create_directories(m_dir + sub);
        }
        m_socket = m_dir + "/native";
        const std::string log = m_dir + "/pulseaudio.log";

        std::vector<std::string> args = {
            "pulseaudio",
            "-n",
            "--daemonize=no",
            "--exit-idle-time=-1",
            "--system=false",
            "--use-pid-file=no",
            "--realtime=no",
            "--high-priority=no",
            "--log-target=stderr",
            "-L",
            std::string("module-null-sink sink_name=") + SinkName,
            "-L",
            "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket};
        std::vector<std::string> env = {
            "HOME=" + m_dir + "/home", "XDG_RUNTIME_DIR=" + m_dir + "/run",
            "XDG_CONFIG_HOME=" + m_dir + "/home/.config",
            "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);

        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid < 0) {
            *why = std::string("fork: ") + std::strerror(errno);
            return false;
        }
        if (m_pid == 0) {
            // Ends with this test process, even when a crash or a timeout ends that.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) {
                ::_exit(127);
            }
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            ::execvpe("pulseaudio", argv.data(), envp.data());
            const char* failed = "cannot run pulseaudio (Debian package pulseaudio)\n";
            if (::write(2, failed, std::strlen(failed)) < 0) {
                ::_exit(127);
            }
            ::_exit(127);
        }
        // A descriptor to wait on for the server's exit; without one (old kernels) we poll.
        m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!Accepts()) {
            if (Exited(0) || std::chrono::steady_clock::now() > deadline) {
                *why = "pulseaudio did not start; its log:\n" + ReadLog();
                Stop();
                return false;
            }
            Exited(20);  // waits on the process, so an early exit ends the wait at once
        }
        return true;
    }

    // Ends the server this object started, by its pid, and removes its folder.
    void Stop() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGTERM);
            if (!Exited(5000)) {
                ::kill(m_pid, SIGKILL);
            }
            if (!m_reaped) {
                ::waitpid(m_pid, nullptr, 0);
            }
        }
        m_pid = -1;
        m_reaped = false;
        if (m_pidfd >= 0) {
            ::close(m_pidfd);
            m_pidfd = -1;
        }
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
            m_dir.clear();
        }
    }

    ~SoundServer() { Stop(); }

    std::string Address() const { return "unix:" + m_socket; }
    std::string Folder() const { return m_dir; }

private:
    bool Accepts() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_socket.c_str());
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    // Whether the server has exited, waiting up to Ms for it.
    bool Exited(int ms) {
        if (m_pidfd >= 0) {
            pollfd item{m_pidfd, POLLIN, 0};
            return ::poll(&item, 1, ms) > 0;
        }
        // No descriptor to wait on: look every 10 ms.
        for (int waited = 0;; waited += 10) {
            if (m_reaped || ::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                return m_reaped = true;
            }
            if (waited >= ms) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string ReadLog() const {
        std::ifstream in(m_dir + "/pulseaudio.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string m_dir;
    std::string m_socket;
    pid_t m_pid = -1;
    bool m_reaped = false;  // waited for already: the pid may belong to someone else now
    int m_pidfd = -1;
};

SoundServer* Server = nullptr;  // running when not null
std::string NoServerReason = "the sound server was not started";

// The client side of the test: our own server, no autospawn, no cookie in the real home.
void PointClientsAt(const std::string& address, const std::string& folder) {
    const std::string config = folder + "/client.conf";
    std::ofstream(config) << "autospawn = no\n";
    ::setenv("PULSE_SERVER", address.c_str(), 1);
    ::setenv("PULSE_CLIENTCONFIG", config.c_str(), 1);
    ::setenv("PULSE_COOKIE", (folder + "/cookie").c_str(), 1);
}

#define REQUIRE_SOUND_SERVER()                                   \
    do {                                                         \
        if (Server == nullptr) {                                 \
            GTEST_SKIP() << "no PulseAudio: " << NoServerReason; \
        }                                                        \
    } while (false)

// ---------------------------------------------------------------------------------------
// Recording and measuring

constexpr int Rate = 22050;   // the recording: mono, 16 bits, this rate
constexpr int Window = 220;   // 10 ms
constexpr double Loud = 300;  // window RMS above this is sound (about -40 dBFS)

using Samples = std::vector<qint16>;

std::vector<double> Envelope(const Samples& samples) {
    std::vector<double> envelope;
    for (std::size_t at = 0; at + Window <= samples.size(); at += Window) {
        double sum = 0;
        for (std::size_t i = at; i < at + Window; ++i) {
            sum += double(samples[i]) * samples[i];
        }
        envelope.push_back(std::sqrt(sum / Window));
    }
    return envelope;
}

struct Span {
    double Start = 0;  // seconds from the recording's start
    double End = 0;
    double Length() const { return End - Start; }
};

// From the first to the last loud window.
std::optional<Span> LoudSpan(const Samples& samples) {
    const std::vector<double> envelope = Envelope(samples);
    const auto first =
        std::find_if(envelope.begin(), envelope.end(), [](double r) { return r > Loud; });
    if (first == envelope.end()) {
        return std::nullopt;
    }
    const auto last =
        std::find_if(envelope.rbegin(), envelope.rend(), [](double r) { return r > Loud; });
    const double window = double(Window) / Rate;
    return Span{double(first - envelope.begin()) * window, double(envelope.rend() - last) * window};
}

double Rms(const Samples& samples, double from = 0, double to = 1e9) {
    const auto begin = std::min(samples.size(), std::size_t(std::max(0.0, from) * Rate));
    const auto end = std::min(samples.size(), std::size_t(std::max(0.0, to) * Rate));
    if (end <= begin) {
        return 0;
    }
    double sum = 0;
    for (auto i = begin; i < end; ++i) {
        sum += double(samples[i]) * samples[i];
    }
    return std::sqrt(sum / double(end - begin));
}

int ZeroCrossings(const Samples& samples, double from, double to) {
    int crossings = 0;
    const auto end = std::min(samples.size(), std::size_t(to * Rate));
    for (auto i = std::size_t(from * Rate) + 1; i < end; ++i) {
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    }
    return crossings;
}

// Records the null sink's monitor with parec (pulseaudio-utils) until stopped.
class Recorder {
public:
    Recorder() {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { m_data += m_process.readAllStandardOutput(); });
    }
    ~Recorder() { Stop(); }

    // True once the first block of the (silent) monitor stream has arrived.
    bool Start() {
        m_process.start(QStringLiteral("parec"),
                        {QStringLiteral("-d"), QStringLiteral("%1.monitor").arg(SinkName),
                         QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                         QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(Rate),
                         QStringLiteral("--latency-msec=20")});
        return m_process.waitForStarted(5000) &&
               QTest::qWaitFor([this] { return !m_data.isEmpty(); }, 5000);
    }

    double Seconds() const { return double(m_data.size() / 2) / Rate; }

    // Waits (bounded) until the recording has grown by Seconds more.
    bool RecordFor(double seconds) {
        const double target = Seconds() + seconds;
        return QTest::qWaitFor([&] { return Seconds() >= target; }, int(seconds * 1000) + 5000);
    }

    Samples Take() const {
        Samples samples(std::size_t(m_data.size() / 2));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = qFromLittleEndian<qint16>(m_data.constData() + 2 * i);
        }
        return samples;
    }

    // Seconds of sound since the first loud window (0 while silent).
    double SoundingFor() const {
        const std::optional<Span> span = LoudSpan(Take());
        return span ? Seconds() - span->Start : 0;
    }

    // Ends parec, which this object started, by its pid.
    Samples Stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
            m_data += m_process.readAllStandardOutput();
        }
        return Take();
    }

private:
    QProcess m_process;
    QByteArray m_data;
};

// ---------------------------------------------------------------------------------------
// The program's sounds, as references

struct Reference {
    Samples Sound;
    Span Loud;
    std::vector<double> Envelope;
};

// The sounds are 16-bit mono at the recording's rate (tools/sounds/make_sounds.py).
const std::map<std::string, Reference>& References() {
    static const std::map<std::string, Reference> references = [] {
        EnsureResources();
        std::map<std::string, Reference> result;
        for (const char* name : {"DOORCLOSE", "ERROR", "SUCCESSFUL", "YOUARE"}) {
            QFile file(QStringLiteral(":/sounds/%1").arg(QLatin1String(name)));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
            const QByteArray bytes = file.readAll();
            const qsizetype data = bytes.indexOf("data") + 8;
            Reference reference;
            for (qsizetype at = data; at + 1 < bytes.size(); at += 2) {
                reference.Sound.push_back(qFromLittleEndian<qint16>(bytes.constData() + at));
            }
            reference.Loud = LoudSpan(reference.Sound).value_or(Span{});
            const std::vector<double> envelope = Envelope(reference.Sound);
            const auto start = std::size_t(reference.Loud.Start * Rate / Window);
            reference.Envelope.assign(envelope.begin() + long(start), envelope.end());
            result[name] = std::move(reference);
        }
        return result;
    }();
    return references;
}

// The program's sound whose loudness over time best matches the recording from its first
// loud window on (normalised correlation of the 10 ms envelopes), with the score.
std::pair<std::string, double> Identify(const Samples& recording) {
    const std::optional<Span> span = LoudSpan(recording);
    if (!span) {
        return {"silence", 0};
    }
    const std::vector<double> all = Envelope(recording);
    const std::vector<double> heard(all.begin() + long(span->Start * Rate / Window + 0.5),
                                    all.end());
    std::pair<std::string, double> best{"", -1};
    for (const auto& [name, reference] : References()) {
        const std::vector<double>& want = reference.Envelope;
        // The onsets may differ by a window or two (a sound's first milliseconds are quiet).
        for (long shift = -3; shift <= 3; ++shift) {
            const long n = long(std::max(want.size(), heard.size())) + 3;
            double dot = 0, a = 0, b = 0;
            for (long i = 0; i < n; ++i) {
                const long j = i + shift;
                const double x = i < long(heard.size()) ? heard[std::size_t(i)] : 0;
                const double y = j >= 0 && j < long(want.size()) ? want[std::size_t(j)] : 0;
                dot += x * y;
                a += x * x;
                b += y * y;
            }
            const double score = dot / std::sqrt(a * b);
            if (score > best.second) {
                best = {name, score};
            }
        }
    }
    return best;
}

double ReferenceLength(const char* name) {
    return References().at(name).Loud.Length();
}

// How much longer than its reference a recorded sound may be: buffering, resampling and a
// busy machine (a late buffer adds a gap), with room to spare. Shorter it may hardly be: the
// recording matches the reference to 10 ms, and anything less means sound was lost.
constexpr double LengthSlack = 0.25;
constexpr double LostAtMost = 0.04;

void ExpectLength(const Span& heard, const char* name) {
    EXPECT_GE(heard.Length(), ReferenceLength(name) - LostAtMost)
        << name << ": part of the sound is missing";
    EXPECT_LE(heard.Length(), ReferenceLength(name) + LengthSlack) << name;
}

// ---------------------------------------------------------------------------------------
// Fixtures

class WaveSound : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_SOUND_SERVER();
        ASSERT_FALSE(TWave::Playing()) << "a sound from an earlier test is still playing";
        ASSERT_TRUE(recorder.Start()) << "parec did not start recording";
    }
    void TearDown() override {
        recorder.Stop();
        // Every test leaves the channel silent, so the next one starts from quiet.
        EXPECT_TRUE(QTest::qWaitFor([] { return !TWave::Playing(); }, 8000));
    }

    static void UseResource(TWave& wave, const char* name, TWaveOptions options = {woAsync}) {
        wave.WhereWave = wwResource;
        wave.WaveName = name;
        wave.Options = options;
    }

    // Waits (bounded) for Spy's first emission.
    static bool Ended(QSignalSpy& spy, int ms = 8000) {
        return QTest::qWaitFor([&] { return spy.count() > 0; }, ms);
    }

    Recorder recorder;
};

// ---------------------------------------------------------------------------------------
// The tests

TEST(WaveProperties, DefaultsAreAFileNameAndAsynchronousPlayback) {
    TWave wave;
    EXPECT_EQ(wave.WhereWave, wwWaveFile);
    EXPECT_EQ(wave.WaveName, "");
    EXPECT_EQ(wave.Options, (TWaveOptions{woAsync}));
    EXPECT_TRUE(wave.Options.Contains(woAsync));
    for (const TWaveOption option : {woNoDefault, woLoop, woNoStop}) {
        EXPECT_FALSE(wave.Options.Contains(option)) << option;
    }
    // Values as stored with a saved form.
    EXPECT_EQ(int(wwResource), 1);
    EXPECT_EQ(int(woNoStop), 3);

    TWaveOptions options;
    EXPECT_TRUE(options.Empty());
    options.Include(woLoop).Include(woNoStop).Exclude(woLoop);
    EXPECT_EQ(options, (TWaveOptions{woNoStop}));
    EXPECT_NE(options, (TWaveOptions{woNoStop, woLoop}));
}

// The same executable, as a child that is told of a server that does not exist.
struct ProbeResult {
    bool Finished = false;
    QString Output;
};

ProbeResult RunProbe(const QString& server) {
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(RoleVariable), QStringLiteral("probe"));
    environment.insert(QStringLiteral("PULSE_SERVER"), server);
    probe.setProcessEnvironment(environment);
    probe.start(QCoreApplication::applicationFilePath(), {});
    ProbeResult result;
    result.Finished = probe.waitForStarted(5000) && probe.waitForFinished(30000) &&
                      probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    if (probe.state() != QProcess::NotRunning) {
        probe.kill();  // the child this test started, by its pid
        probe.waitForFinished(5000);
    }
    result.Output = QString::fromLatin1(probe.readAllStandardOutput()).trimmed();
    return result;
}

TEST(WaveWithoutServer, PlayReturnsFalseWhenThereIsNoOutputDevice) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    const ProbeResult without =
        RunProbe(QStringLiteral("unix:%1/no-server-here").arg(empty.path()));
    ASSERT_TRUE(without.Finished) << without.Output.toStdString();
    EXPECT_EQ(without.Output, QStringLiteral("outputs=0 async=0 sync=0 playing=0"));

    // The same probe against a running server hears it, so the line above is no accident.
    REQUIRE_SOUND_SERVER();
    const ProbeResult with = RunProbe(QString::fromStdString(Server->Address()));
    ASSERT_TRUE(with.Finished) << with.Output.toStdString();
    EXPECT_EQ(with.Output, QStringLiteral("outputs=1 async=1 sync=1 playing=0"));
}

TEST_F(WaveSound, TheWindowsNamesFindEachSoundWhichPlaysForItsLength) {
    // The names as the main window spells them, and other mixes of case.
    const std::vector<std::pair<const char*, const char*>> names = {
        {"DoorClose", "DOORCLOSE"}, {"error", "ERROR"},           {"Successful", "SUCCESSFUL"},
        {"YouAre", "YOUARE"},       {"successful", "SUCCESSFUL"}, {"eRRoR", "ERROR"}};
    for (const auto& [name, expected] : names) {
        SCOPED_TRACE(name);
        recorder.Stop();
        Recorder take;
        ASSERT_TRUE(take.Start());
        TWave wave;
        UseResource(wave, name);
        QSignalSpy ended(&wave, &TWave::SoundEnded);
        ASSERT_TRUE(wave.Play());
        ASSERT_TRUE(Ended(ended));
        EXPECT_TRUE(ended.at(0).at(0).toBool()) << "played to its end";
        ASSERT_TRUE(take.RecordFor(0.3));
        const Samples heard = take.Stop();

        const std::optional<Span> span = LoudSpan(heard);
        ASSERT_TRUE(span.has_value()) << "the recording is silent";
        const auto [which, score] = Identify(heard);
        std::printf(
            "[ measured ] %-10s span %.3f s (reference %.3f s), RMS %.0f, matches %s (%.3f)\n",
            name, span->Length(), ReferenceLength(expected), Rms(heard, span->Start, span->End),
            which.c_str(), score);
        EXPECT_EQ(which, expected);
        EXPECT_GT(score, 0.9);
        ExpectLength(*span, expected);
        EXPECT_GT(Rms(heard, span->Start, span->End), 1000);
    }
}

TEST_F(WaveSound, AsynchronousPlayReturnsAtOnceAndTheSoundPlaysOn) {
    TWave wave;
    UseResource(wave, "YOUARE");
    QSignalSpy started(&wave, &TWave::SoundStarted);
    QSignalSpy ended(&wave, &TWave::SoundEnded);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(wave.Play());
    const qint64 returnedAfter = clock.elapsed();
    EXPECT_LT(returnedAfter, 500) << "of a three-second sound";
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_TRUE(TWave::Playing());

    ASSERT_TRUE(Ended(ended));
    const qint64 endedAfter = clock.elapsed();
    EXPECT_FALSE(TWave::Playing());
    ASSERT_TRUE(recorder.RecordFor(0.3));
    const Samples heard = recorder.Stop();
    const std::optional<Span> span = LoudSpan(heard);
    ASSERT_TRUE(span.has_value());
    std::printf("[ measured ] Play returned after %lld ms, ended after %lld ms, span %.3f s\n",
                static_cast<long long>(returnedAfter), static_cast<long long>(endedAfter),
                span->Length());
    ExpectLength(*span, "YOUARE");
    // Not before the sound has been heard, and not long after its end.
    EXPECT_GE(double(endedAfter) / 1000, References().at("YOUARE").Loud.End);
    EXPECT_LE(double(endedAfter) / 1000,
              double(References().at("YOUARE").Sound.size()) / Rate + 1.0);
}

TEST_F(WaveSound, WithoutAsyncPlayReturnsWhenTheSoundHasEnded) {
    TWave wave;
    UseResource(wave, "Successful", {});
    QSignalSpy ended(&wave, &TWave::SoundEnded);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(wave.Play());
    const double took = double(clock.elapsed()) / 1000;
    // The sound ended inside Play, by itself.
    ASSERT_EQ(ended.count(), 1);
    EXPECT_TRUE(ended.at(0).at(0).toBool());
    EXPECT_FALSE(TWave::Playing());
    const double soundsFor = ReferenceLength("SUCCESSFUL");
    EXPECT_GT(took, soundsFor - 0.1);
    EXPECT_LT(took, double(References().at("SUCCESSFUL").Sound.size()) / Rate + 0.8);

    // By the time Play returned the whole sound had been heard: little more follows.
    const double atReturn = recorder.Seconds();
    ASSERT_TRUE(recorder.RecordFor(0.4));
    const Samples heard = recorder.Stop();
    const std::optional<Span> span = LoudSpan(heard);
    ASSERT_TRUE(span.has_value());
    std::printf(
        "[ measured ] synchronous Play took %.3f s; span %.3f s, ending %.3f s after Play "
        "returned\n",
        took, span->Length(), span->End - atReturn);
    ExpectLength(*span, "SUCCESSFUL");
    EXPECT_LT(span->End - atReturn, 0.05);
    EXPECT_EQ(Identify(heard).first, "SUCCESSFUL");
}

TEST_F(WaveSound, ANewSoundCutsOffTheOneStillPlaying) {
    TWave first, second;
    UseResource(first, "YOUARE");
    UseResource(second, "ERROR");
    QSignalSpy firstEnded(&first, &TWave::SoundEnded);
    QSignalSpy secondEnded(&second, &TWave::SoundEnded);
    ASSERT_TRUE(first.Play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.SoundingFor() >= 0.6; }, 5000));
    const double cutAt = recorder.Seconds();

    ASSERT_TRUE(second.Play());
    ASSERT_EQ(firstEnded.count(), 1) << "the first sound ends the moment the second starts";
    EXPECT_FALSE(firstEnded.at(0).at(0).toBool()) << "cut off, not played to its end";
    ASSERT_TRUE(Ended(secondEnded));
    EXPECT_TRUE(secondEnded.at(0).at(0).toBool());
    EXPECT_EQ(firstEnded.count(), 1);
    ASSERT_TRUE(recorder.RecordFor(0.5));
    const Samples heard = recorder.Stop();

    const std::optional<Span> span = LoudSpan(heard);
    ASSERT_TRUE(span.has_value());
    std::printf(
        "[ measured ] cut at %.3f s; sound from %.3f to %.3f s (YOUARE alone would end at %.3f "
        "s)\n",
        cutAt, span->Start, span->End, span->Start + ReferenceLength("YOUARE"));
    // Sound stops once ERROR has played, long before YOUARE would have.
    EXPECT_NEAR(span->End - cutAt, ReferenceLength("ERROR"), LengthSlack);
    EXPECT_LT(span->Length(), ReferenceLength("YOUARE") - 1.0);
    // And what was heard after the cut is ERROR alone: the old sound did not play on beneath it.
    const auto [after, score] = Identify(Samples(heard.begin() + long(cutAt * Rate), heard.end()));
    std::printf("[ measured ] after the cut: %s (%.3f)\n", after.c_str(), score);
    EXPECT_EQ(after, "ERROR");
}

TEST_F(WaveSound, NoStopRefusesWhileASoundPlaysAndLetsItPlayOn) {
    TWave first, second;
    UseResource(first, "YOUARE");
    UseResource(second, "ERROR", {woAsync, woNoStop});
    QSignalSpy firstEnded(&first, &TWave::SoundEnded);
    QSignalSpy secondStarted(&second, &TWave::SoundStarted);
    ASSERT_TRUE(first.Play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.SoundingFor() >= 0.3; }, 5000));

    EXPECT_FALSE(second.Play());
    EXPECT_EQ(secondStarted.count(), 0);
    EXPECT_TRUE(TWave::Playing());
    EXPECT_EQ(firstEnded.count(), 0);

    ASSERT_TRUE(Ended(firstEnded));
    EXPECT_TRUE(firstEnded.at(0).at(0).toBool()) << "the first sound played to its end";
    ASSERT_TRUE(recorder.RecordFor(0.3));
    const Samples heard = recorder.Stop();
    const std::optional<Span> span = LoudSpan(heard);
    ASSERT_TRUE(span.has_value());
    std::printf("[ measured ] with the refusal: span %.3f s (YOUARE %.3f s)\n", span->Length(),
                ReferenceLength("YOUARE"));
    ExpectLength(*span, "YOUARE");
    EXPECT_EQ(Identify(heard).first, "YOUARE");

    // Once the channel is quiet, the same call plays.
    QSignalSpy secondEnded(&second, &TWave::SoundEnded);
    EXPECT_TRUE(second.Play());
    EXPECT_EQ(secondStarted.count(), 1);
    ASSERT_TRUE(Ended(secondEnded));
}

TEST_F(WaveSound, LoopRepeatsUntilAnotherSoundAndDroppingItPlaysOnce) {
    TWave wave;
    UseResource(wave, "ERROR", {woAsync, woLoop});
    QSignalSpy ended(&wave, &TWave::SoundEnded);
    ASSERT_TRUE(wave.Play());
    // Three times the sound's length later, it still sounds.
    const double length = double(References().at("ERROR").Sound.size()) / Rate;
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.SoundingFor() >= 3 * length + 0.2; }, 8000));
    {
        const Samples heard = recorder.Take();
        const std::optional<Span> span = LoudSpan(heard);
        ASSERT_TRUE(span.has_value());
        const double now = recorder.Seconds();
        std::printf("[ measured ] looping: %.3f s of sound so far, RMS of the last 0.5 s %.0f\n",
                    now - span->Start, Rms(heard, now - 0.5, now));
        EXPECT_GT(Rms(heard, now - 0.5, now), 1000) << "still sounding after three rounds";
    }
    EXPECT_EQ(ended.count(), 0);
    EXPECT_TRUE(TWave::Playing());

    wave.Options = {woAsync};
    ASSERT_TRUE(wave.Play());
    ASSERT_EQ(ended.count(), 1);
    EXPECT_FALSE(ended.at(0).at(0).toBool()) << "the loop was cut off";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2; }, 5000))
        << "played once, then ended";
    EXPECT_TRUE(ended.at(1).at(0).toBool());
    const double endedAt = recorder.Seconds();
    ASSERT_TRUE(recorder.RecordFor(1.0));
    const Samples heard = recorder.Stop();
    std::printf("[ measured ] after the last round: RMS %.1f over %.3f s\n",
                Rms(heard, endedAt + 0.1), recorder.Seconds() - endedAt - 0.1);
    EXPECT_EQ(Rms(heard, endedAt + 0.1), 0) << "silence after the single round";
}

// A tone of 0.4 s at 440 Hz and half of full scale, written in a given WAVE layout.
struct Layout {
    const char* Name;
    quint16 Tag;
    quint16 Bits;
    quint16 Channels;
    quint32 Rate;
    bool Extensible;
};

QByteArray ToneWave(const Layout& layout, double seconds = 0.4, qint64 claimExtra = 0) {
    const int frames = int(seconds * layout.Rate);
    QByteArray samples;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / layout.Rate;
        const double fade = std::min({1.0, t / 0.005, (seconds - t) / 0.005});
        const double x = 0.5 * fade * std::sin(2 * M_PI * 440 * t);
        for (int c = 0; c < layout.Channels; ++c) {
            char bytes[8] = {};
            if (layout.Tag == 3 && layout.Bits == 32) {
                qToLittleEndian(float(x), bytes);
            } else if (layout.Tag == 3) {
                qToLittleEndian(x, bytes);
            } else if (layout.Bits == 8) {
                bytes[0] = char(quint8(128 + std::lround(127 * x)));
            } else {
                const auto full =
                    qint64(std::llround(x * double((qint64{1} << (layout.Bits - 1)) - 1)));
                qToLittleEndian(full, bytes);  // the low bytes are the sample, little-endian
            }
            samples.append(bytes, layout.Bits / 8);
        }
    }
    QByteArray fmt;
    const quint16 blockAlign = quint16(layout.Channels * layout.Bits / 8);
    auto put16 = [](QByteArray& to, quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        to.append(b, 2);
    };
    auto put32 = [](QByteArray& to, quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        to.append(b, 4);
    };
    put16(fmt, layout.Extensible ? 0xFFFE : layout.Tag);
    put16(fmt, layout.Channels);
    put32(fmt, layout.Rate);
    put32(fmt, layout.Rate * blockAlign);
    put16(fmt, blockAlign);
    put16(fmt, layout.Bits);
    if (layout.Extensible) {
        put16(fmt, 22);
        put16(fmt, layout.Bits);
        put32(fmt, layout.Channels == 2 ? 3 : 4);
        put16(fmt, layout.Tag);
        fmt.append("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    QByteArray file("RIFF....WAVEfmt ");
    put32(file, quint32(fmt.size()));
    file += fmt;
    file += "data";
    put32(file, quint32(samples.size() + claimExtra));
    file += samples;
    qToLittleEndian(quint32(file.size() - 8), file.data() + 4);
    return file;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

TEST_F(WaveSound, WaveFilesPlayInEveryPcmAndFloatLayoutAtTheirOwnPitchAndLevel) {
    const std::vector<Layout> layouts = {
        {"8-bit unsigned, mono, 11025 Hz", 1, 8, 1, 11025, false},
        {"16-bit, stereo, 22050 Hz, extensible", 1, 16, 2, 22050, true},
        {"24-bit, stereo, 44100 Hz", 1, 24, 2, 44100, false},
        {"32-bit, mono, 32000 Hz", 1, 32, 1, 32000, false},
        {"32-bit float, mono, 48000 Hz", 3, 32, 1, 48000, false},
        {"64-bit float, mono, 16000 Hz", 3, 64, 1, 16000, false},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const double expectedRms = 0.5 * 32767 / std::sqrt(2.0);
    const auto check = [&](const char* what, const QString& path) {
        SCOPED_TRACE(what);
        recorder.Stop();
        Recorder take;
        ASSERT_TRUE(take.Start());
        TWave wave;
        wave.WaveName = path.toStdString();
        wave.Options = {};
        ASSERT_TRUE(wave.Play());
        ASSERT_TRUE(take.RecordFor(0.3));
        const Samples heard = take.Stop();
        const std::optional<Span> span = LoudSpan(heard);
        ASSERT_TRUE(span.has_value()) << "silent";
        const double middle = (span->Start + span->End) / 2;
        const double rms = Rms(heard, middle - 0.15, middle + 0.15);
        const double hertz = ZeroCrossings(heard, middle - 0.15, middle + 0.15) / 0.3 / 2;
        std::printf("[ measured ] %-38s span %.3f s, RMS %.0f (want %.0f), %.0f Hz\n", what,
                    span->Length(), rms, expectedRms, hertz);
        EXPECT_NEAR(span->Length(), 0.4, 0.1);
        EXPECT_NEAR(rms, expectedRms, 0.15 * expectedRms);
        EXPECT_NEAR(hertz, 440, 15);
    };
    for (const Layout& layout : layouts) {
        check(layout.Name,
              WriteFile(dir, QString::fromLatin1(layout.Name).replace(' ', '_') + ".wav",
                        ToneWave(layout)));
    }
    // A data chunk that claims more than the file holds plays what is there.
    check("data chunk longer than the file",
          WriteFile(dir, QStringLiteral("truncated.wav"), ToneWave(layouts[1], 0.4, 100000)));
}

TEST_F(WaveSound, MissingUnknownAndUndecodableSoundsReturnFalseAndStaySilent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Layout pcm16{"", 1, 16, 1, 22050, false};
    QByteArray adpcm = ToneWave(pcm16);
    qToLittleEndian(quint16(2), adpcm.data() + 20);  // Microsoft ADPCM: not decoded here
    QByteArray noData = ToneWave(pcm16);
    noData.truncate(36);
    QByteArray emptyData = ToneWave(pcm16, 0);
    QByteArray badAlign = ToneWave(pcm16);
    qToLittleEndian(quint16(3), badAlign.data() + 32);
    const std::vector<std::pair<const char*, std::string>> files = {
        {"empty name", ""},
        {"no such file", dir.filePath(QStringLiteral("missing.wav")).toStdString()},
        {"a folder", dir.path().toStdString()},
        {"not a WAVE file",
         WriteFile(dir, QStringLiteral("text.wav"), "hello, world\n").toStdString()},
        {"ADPCM", WriteFile(dir, QStringLiteral("adpcm.wav"), adpcm).toStdString()},
        {"no data chunk", WriteFile(dir, QStringLiteral("nodata.wav"), noData).toStdString()},
        {"no samples", WriteFile(dir, QStringLiteral("empty.wav"), emptyData).toStdString()},
        {"block size not a frame",
         WriteFile(dir, QStringLiteral("align.wav"), badAlign).toStdString()},
        {"a sound's name, as a file", "SUCCESSFUL"},
    };
    const std::vector<const char*> names = {
        "", "NOPE", "SUCCESSFUL.wav", "SUCCESS", ":/sounds/ERROR", "sounds/ERROR", "Corvane.wav"};

    TWave wave;
    QSignalSpy started(&wave, &TWave::SoundStarted);
    for (const TWaveOptions options :
         {TWaveOptions{woAsync}, TWaveOptions{woAsync, woNoDefault}, TWaveOptions{}}) {
        wave.Options = options;
        wave.WhereWave = wwWaveFile;
        for (const auto& [what, path] : files) {
            wave.WaveName = path;
            EXPECT_FALSE(wave.Play()) << what;
        }
        wave.WhereWave = wwResource;
        for (const char* name : names) {
            wave.WaveName = name;
            EXPECT_FALSE(wave.Play()) << "resource \"" << name << "\"";
        }
    }
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(TWave::Playing());
    ASSERT_TRUE(recorder.RecordFor(0.3));
    EXPECT_EQ(Rms(recorder.Take()), 0) << "no default sound, no sound at all";

    // A refused sound leaves the one playing alone.
    TWave playing;
    UseResource(playing, "DoorClose");
    QSignalSpy ended(&playing, &TWave::SoundEnded);
    ASSERT_TRUE(playing.Play());
    wave.WhereWave = wwWaveFile;
    wave.WaveName = files[1].second;
    EXPECT_FALSE(wave.Play());
    EXPECT_EQ(ended.count(), 0);
    ASSERT_TRUE(Ended(ended));
    EXPECT_TRUE(ended.at(0).at(0).toBool());

    // Off the application's thread a sound that would play is refused, and nothing breaks.
    UseResource(wave, "ERROR");
    bool offThread = true;
    std::thread([&] { offThread = wave.Play(); }).join();
    EXPECT_FALSE(offThread);
    EXPECT_FALSE(TWave::Playing());
}

// The child's part of WaveWithoutServer: reports what it finds on one line.
int Probe(int argc, char** argv) {
    QApplication application(argc, argv);
    TWave wave;
    wave.WhereWave = wwResource;
    wave.WaveName = "error";
    const bool async = wave.Play();
    wave.Options = {};
    const bool sync = wave.Play();
    std::printf("outputs=%d async=%d sync=%d playing=%d\n",
                int(QMediaDevices::audioOutputs().size()), async, sync, TWave::Playing());
    return 0;
}

}  // namespace
}  // namespace corvane::desktop

int main(int argc, char** argv) {
    using namespace corvane::desktop;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* role = std::getenv(RoleVariable);
    if (role != nullptr && std::string(role) == "probe") {
        ::unsetenv(RoleVariable);
        return Probe(argc, argv);
    }

    ::testing::InitGoogleTest(&argc, argv);
    // Starting the server must come before Qt Multimedia first looks for devices, which is
    // after the QApplication exists; listing the tests needs no server.
    SoundServer server;
    if (!GTEST_FLAG_GET(list_tests)) {
        std::string why;
        if (server.Start(&why)) {
            PointClientsAt(server.Address(), server.Folder());
            Server = &server;
        } else {
            NoServerReason = why;
        }
    }
    int result = 0;
    {
        QApplication application(argc, argv);
        if (Server != nullptr) {
            const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
            const bool found = std::any_of(
                outputs.begin(), outputs.end(),
                [](const QAudioDevice& device) { return device.id() == QByteArray(SinkName); });
            if (!found) {
                Server = nullptr;
                NoServerReason = "Qt Multimedia does not see the test server's null sink";
            }
        }
        result = RUN_ALL_TESTS();
    }
    server.Stop();
    return result;
}
