#include "Wave.h"

#include "Resources.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace corvane::desktop {

namespace {

// Silence played after a sound that does not loop. The audio output ends a stream as soon as
// it has read the last byte, while about a tenth of a second of it still waits in the
// server's buffer; the silence carries the sound's own tail out of that buffer.
constexpr qint64 TailMs = 150;
// How much longer than the sound (and its tail) a playback may take before the channel gives
// up on it: a device that stopped consuming data must not leave the channel busy for ever.
constexpr qint64 OverrunMs = 2000;
// Larger files are refused rather than read into memory.
constexpr qint64 MaxFileBytes = qint64{256} * 1024 * 1024;

// A sound ready for the audio output: samples in the host's byte order, whole frames only.
struct DecodedWave {
    QAudioFormat Format;
    QByteArray Samples;

    qint64 DurationMs() const {
        return Format.durationForBytes(static_cast<qint32>(
                   std::min<qsizetype>(Samples.size(), std::numeric_limits<qint32>::max()))) /
               1000;
    }
};

// The "fmt " chunk of a RIFF/WAVE file, as far as playing needs it.
struct WaveFormat {
    quint16 Tag = 0;  // 1 PCM, 3 IEEE float (the subformat's tag for WAVE_FORMAT_EXTENSIBLE)
    quint16 Channels = 0;
    quint32 Rate = 0;
    quint16 BlockAlign = 0;
    quint16 Bits = 0;
};

constexpr quint16 TagPcm = 1;
constexpr quint16 TagFloat = 3;
constexpr quint16 TagExtensible = 0xFFFE;

template <typename T>
T Little(const char* at) {
    return qFromLittleEndian<T>(at);
}

std::optional<WaveFormat> ParseFormat(const char* body, qsizetype size) {
    if (size < 16) {
        return std::nullopt;
    }
    WaveFormat format;
    format.Tag = Little<quint16>(body);
    format.Channels = Little<quint16>(body + 2);
    format.Rate = Little<quint32>(body + 4);
    format.BlockAlign = Little<quint16>(body + 12);
    format.Bits = Little<quint16>(body + 14);
    if (format.Tag == TagExtensible) {
        // cbSize, valid bits, channel mask, then the subformat GUID whose first two bytes
        // are the plain format tag.
        if (size < 40) {
            return std::nullopt;
        }
        format.Tag = Little<quint16>(body + 24);
    }
    return format;
}

// Sample data copied or widened into a format the audio output takes.
std::optional<DecodedWave> Convert(const WaveFormat& wave, const char* data, qsizetype size) {
    if (wave.Channels < 1 || wave.Channels > 8 || wave.Rate < 1000 || wave.Rate > 384000 ||
        wave.Bits % 8 != 0 || wave.BlockAlign != wave.Channels * (wave.Bits / 8)) {
        return std::nullopt;
    }
    const qsizetype frames = size / wave.BlockAlign;
    if (frames == 0) {
        return std::nullopt;
    }
    const qsizetype count = frames * wave.Channels;  // samples over all channels

    DecodedWave sound;
    sound.Format.setSampleRate(static_cast<int>(wave.Rate));
    sound.Format.setChannelCount(wave.Channels);

    const auto widen = [&](QAudioFormat::SampleFormat format, int bytesOut, auto convertOne) {
        sound.Format.setSampleFormat(format);
        sound.Samples.resize(count * bytesOut);
        char* out = sound.Samples.data();
        const qsizetype bytesIn = wave.Bits / 8;
        for (qsizetype i = 0; i < count; ++i) {
            convertOne(data + i * bytesIn, out + i * bytesOut);
        }
    };
    if (wave.Tag == TagPcm && wave.Bits == 8) {
        sound.Format.setSampleFormat(QAudioFormat::UInt8);
        sound.Samples = QByteArray(data, count);
    } else if (wave.Tag == TagPcm && wave.Bits == 16) {
        widen(QAudioFormat::Int16, 2, [](const char* in, char* out) {
            const qint16 value = Little<qint16>(in);
            std::memcpy(out, &value, sizeof value);
        });
    } else if (wave.Tag == TagPcm && wave.Bits == 24) {
        widen(QAudioFormat::Int32, 4, [](const char* in, char* out) {
            const quint32 bits = quint32{static_cast<quint8>(in[0])} << 8 |
                                 quint32{static_cast<quint8>(in[1])} << 16 |
                                 quint32{static_cast<quint8>(in[2])} << 24;
            const auto value = static_cast<qint32>(bits);
            std::memcpy(out, &value, sizeof value);
        });
    } else if (wave.Tag == TagPcm && wave.Bits == 32) {
        widen(QAudioFormat::Int32, 4, [](const char* in, char* out) {
            const qint32 value = Little<qint32>(in);
            std::memcpy(out, &value, sizeof value);
        });
    } else if (wave.Tag == TagFloat && wave.Bits == 32) {
        widen(QAudioFormat::Float, 4, [](const char* in, char* out) {
            const quint32 bits = Little<quint32>(in);
            std::memcpy(out, &bits, sizeof bits);
        });
    } else if (wave.Tag == TagFloat && wave.Bits == 64) {
        widen(QAudioFormat::Float, 4, [](const char* in, char* out) {
            const quint64 bits = Little<quint64>(in);
            double wide = 0;
            std::memcpy(&wide, &bits, sizeof wide);
            const auto value = static_cast<float>(wide);
            std::memcpy(out, &value, sizeof value);
        });
    } else {
        return std::nullopt;  // compressed (ADPCM, mu-law, ...) or an odd sample size
    }
    return sound;
}

// Reads a RIFF/WAVE file holding PCM or floating-point samples. A data chunk that claims more
// than the file holds is played as far as it goes, in whole frames.
std::optional<DecodedWave> DecodeWave(const QByteArray& file) {
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE") {
        return std::nullopt;
    }
    const char* base = file.constData();
    const qsizetype size = file.size();
    std::optional<WaveFormat> format;
    const char* data = nullptr;
    qsizetype dataSize = 0;
    for (qsizetype at = 12; at + 8 <= size;) {
        const QByteArrayView id(base + at, 4);
        const qsizetype declared = Little<quint32>(base + at + 4);
        const qsizetype body = at + 8;
        const qsizetype available = std::min(declared, size - body);
        if (id == "fmt " && !format) {
            format = ParseFormat(base + body, available);
            if (!format) {
                return std::nullopt;
            }
        } else if (id == "data" && data == nullptr) {
            data = base + body;
            dataSize = available;
        }
        at = body + declared + (declared & 1);  // chunks are padded to an even length
    }
    if (!format || data == nullptr) {
        return std::nullopt;
    }
    return Convert(*format, data, dataSize);
}

std::optional<QByteArray> ReadWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes) {
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QByteArray> ReadWaveFile(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const QString path = QString::fromStdString(name);
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    return ReadWhole(path);
}

// The program's sounds are the files under ":/sounds"; their names match without regard to
// case, as resource names do on Windows.
std::optional<QByteArray> ReadSoundResource(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    EnsureResources();
    const QString wanted = QString::fromStdString(name);
    QDirIterator sounds(QStringLiteral(":/sounds"), QDir::Files);
    while (sounds.hasNext()) {
        const QString path = sounds.next();
        if (sounds.fileName().compare(wanted, Qt::CaseInsensitive) == 0) {
            return ReadWhole(path);
        }
    }
    return std::nullopt;
}

// The samples as the audio output pulls them: over and over when looping, otherwise once and
// then the silent tail. Reads hand out whole frames only; the PulseAudio output refuses a
// partial frame and then leaves its connection locked.
class SampleStream : public QIODevice {
public:
    SampleStream(QByteArray samples, const QAudioFormat& format, bool loop)
        : m_samples(std::move(samples)),
          m_frameBytes(format.bytesPerFrame()),
          m_loop(loop),
          m_tailBytes(loop ? 0 : format.bytesForDuration(TailMs * 1000)),
          m_silence(format.sampleFormat() == QAudioFormat::UInt8 ? '\x80' : '\0') {}

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        const qint64 left = m_loop ? m_samples.size() : End() - m_position;
        return left + QIODevice::bytesAvailable();
    }
    // Everything, tail included, has been handed to the output.
    bool Exhausted() const { return !m_loop && m_position >= End(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 wanted = maxSize - maxSize % m_frameBytes;
        const qint64 size = m_samples.size();
        qint64 done = 0;
        while (done < wanted) {
            if (m_loop && m_position == size) {
                m_position = 0;
            }
            if (m_position >= End()) {
                break;
            }
            qint64 count = 0;
            if (m_position < size) {
                count = std::min(wanted - done, size - m_position);
                std::memcpy(data + done, m_samples.constData() + m_position,
                            static_cast<size_t>(count));
            } else {
                count = std::min(wanted - done, End() - m_position);
                std::memset(data + done, m_silence, static_cast<size_t>(count));
            }
            m_position += count;
            done += count;
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 End() const { return m_samples.size() + m_tailBytes; }

    const QByteArray m_samples;
    const qint64 m_frameBytes;
    const bool m_loop;
    const qint64 m_tailBytes;
    const char m_silence;
    qint64 m_position = 0;
};

enum EndReason { erPlayedToEnd, erReplaced, erFailed };

// The program's one sound channel, owned by the application object and living on its thread:
// at most one sound plays at a time, and starting a sound cuts off the one before.
class SoundChannel : public QObject {
    Q_OBJECT

public:
    // The channel, created on first use; null without an application or off its thread.
    static SoundChannel* Instance() {
        static QPointer<SoundChannel> instance;
        QCoreApplication* application = QCoreApplication::instance();
        if (application == nullptr || QThread::currentThread() != application->thread()) {
            return nullptr;
        }
        if (instance.isNull()) {
            instance = new SoundChannel(application);
        }
        return instance.data();
    }

    ~SoundChannel() override { Finish(erFailed, false); }

    bool Playing() const { return m_sink != nullptr; }
    // The playback now sounding, 0 when silent.
    quint64 Current() const { return m_ticket; }

    // Starts Sound for Owner in place of whatever plays now. Returns the playback's number,
    // or 0 when the output refused the stream.
    quint64 Start(DecodedWave sound, bool loop, quint64 owner) {
        Finish(erReplaced, true);
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            return 0;
        }
        const qint64 durationMs = sound.DurationMs();
        auto stream = std::make_unique<SampleStream>(std::move(sound.Samples), sound.Format, loop);
        stream->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        auto sink = std::make_unique<QAudioSink>(device, sound.Format);
        const quint64 ticket = ++m_lastTicket;
        // Queued, so that the sink is never stopped or destroyed from inside its own code.
        connect(
            sink.get(), &QAudioSink::stateChanged, this, [this, ticket] { OnSinkState(ticket); },
            Qt::QueuedConnection);
        sink->start(stream.get());
        if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
            sink->stop();
            return 0;
        }
        m_stream = std::move(stream);
        m_sink = std::move(sink);
        m_ticket = ticket;
        m_owner = owner;
        if (!loop) {
            m_watchdog.start(static_cast<int>(durationMs + TailMs + OverrunMs));
        }
        emit Started(owner);
        return ticket;
    }

signals:
    void Started(quint64 owner);
    void Ended(quint64 owner, quint64 ticket, int reason);

private:
    explicit SoundChannel(QObject* parent) : QObject(parent) {
        m_watchdog.setSingleShot(true);
        connect(&m_watchdog, &QTimer::timeout, this,
                [this] { Finish(m_stream->Exhausted() ? erPlayedToEnd : erFailed, true); });
    }

    void OnSinkState(quint64 ticket) {
        if (ticket != m_ticket || !m_sink) {
            return;  // news from a playback that has already ended
        }
        const QAudio::State state = m_sink->state();
        if (state == QAudio::IdleState && m_stream->Exhausted()) {
            Finish(erPlayedToEnd, true);
        } else if (state == QAudio::StoppedState) {
            Finish(erFailed, true);  // the output gave up (the sound server went away)
        }
    }

    void Finish(EndReason reason, bool announce) {
        if (!m_sink) {
            return;
        }
        m_watchdog.stop();
        const quint64 owner = m_owner;
        const quint64 ticket = m_ticket;
        m_ticket = 0;
        m_owner = 0;
        m_sink->stop();
        m_sink.reset();
        m_stream.reset();
        if (announce) {
            emit Ended(owner, ticket, reason);
        }
    }

    std::unique_ptr<SampleStream> m_stream;
    std::unique_ptr<QAudioSink> m_sink;  // reads m_stream; always released first
    QTimer m_watchdog;
    quint64 m_ticket = 0;
    quint64 m_owner = 0;
    quint64 m_lastTicket = 0;
};

std::atomic<quint64> LastWaveId{0};

}  // namespace

TWave::TWave(QObject* parent) : QObject(parent), m_id(++LastWaveId) {
    ConnectChannel();
}

TWave::~TWave() = default;

void TWave::ConnectChannel() {
    SoundChannel* channel = SoundChannel::Instance();
    if (channel == nullptr || m_channel == channel) {
        return;
    }
    m_channel = channel;
    connect(channel, &SoundChannel::Started, this, [this](quint64 owner) {
        if (owner == m_id) {
            emit SoundStarted();
        }
    });
    connect(channel, &SoundChannel::Ended, this, [this](quint64 owner, quint64, int reason) {
        if (owner == m_id) {
            emit SoundEnded(reason == erPlayedToEnd);
        }
    });
}

bool TWave::Playing() {
    const SoundChannel* channel = SoundChannel::Instance();
    return channel != nullptr && channel->Playing();
}

bool TWave::Play() {
    try {
        return PlayChecked();
    } catch (...) {
        return false;  // never let a failure of the sound reach the window
    }
}

bool TWave::PlayChecked() {
    SoundChannel* channel = SoundChannel::Instance();
    if (channel == nullptr) {
        return false;
    }
    ConnectChannel();
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        return false;
    }

    std::optional<QByteArray> bytes;
    switch (WhereWave) {
        case wwWaveFile:
            bytes = ReadWaveFile(WaveName);
            break;
        case wwResource:
            bytes = ReadSoundResource(WaveName);
            break;
    }
    if (!bytes) {
        return false;
    }
    std::optional<DecodedWave> sound = DecodeWave(*bytes);
    if (!sound) {
        return false;
    }
    if (Options.Contains(woNoStop) && channel->Playing()) {
        return false;
    }

    const bool async = Options.Contains(woAsync);
    const qint64 durationMs = sound->DurationMs();
    const quint64 ticket =
        channel->Start(std::move(*sound), async && Options.Contains(woLoop), m_id);
    if (ticket == 0) {
        return false;
    }
    if (async) {
        return true;
    }

    // Wait for this playback to end: played out, cut off by a sound started meanwhile, or
    // given up by the channel's own watchdog. The timer is only a last resort.
    QPointer<SoundChannel> guard(channel);
    EndReason reason = erFailed;
    QEventLoop loop;
    connect(channel, &SoundChannel::Ended, &loop, [&](quint64, quint64 ended, int why) {
        if (ended == ticket) {
            reason = static_cast<EndReason>(why);
            loop.quit();
        }
    });
    QTimer::singleShot(static_cast<int>(durationMs + TailMs + 2 * OverrunMs), &loop,
                       &QEventLoop::quit);
    if (guard && guard->Current() == ticket) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return reason != erFailed;
}

}  // namespace corvane::desktop

#include "Wave.moc"
