#pragma once
// TWave: plays one wave sound, from a file or from the program's embedded sounds, through the
// desktop's sound service (Qt Multimedia's default audio output; PulseAudio on Linux).
//
// Set WhereWave, WaveName and Options, then call Play(). Play reports whether the sound
// started: false with no audio output device, for a file that does not exist, for a name
// that is not one of the program's sounds (":/sounds/..."; names match without regard to
// case), for a file that is not a PCM or floating-point WAVE file, and when the device refuses
// the stream. It never raises and never shows a message.
//
// Like the system's sound service, the program has a single sound channel shared by every
// TWave: a new sound cuts off the one still playing, unless woNoStop is set, in which case
// Play refuses and the old sound plays on. With woAsync, Play returns as soon as the sound
// has started; without it, Play returns when the sound has ended (user input waits until
// then; timers and other events still run). woLoop repeats the sound until another sound is
// played; it only applies together with woAsync (a synchronous Play plays the sound once).
// woNoDefault is kept for the settings: there is no system default sound to fall back to.
//
// Call Play on the application's main thread, with a QCoreApplication in existence; anywhere
// else it returns false.

#include <QObject>
#include <QPointer>
#include <QtGlobal>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace corvane::desktop {

enum TWhereWave { wwWaveFile = 0, wwResource = 1 };

enum TWaveOption { woAsync = 0, woNoDefault = 1, woLoop = 2, woNoStop = 3 };

// A set of TWaveOption.
class TWaveOptions {
public:
    constexpr TWaveOptions() = default;
    constexpr TWaveOptions(std::initializer_list<TWaveOption> options) {
        for (const TWaveOption option : options) {
            m_bits = static_cast<std::uint8_t>(m_bits | Bit(option));
        }
    }

    constexpr bool Contains(TWaveOption option) const { return (m_bits & Bit(option)) != 0; }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr TWaveOptions& Include(TWaveOption option) {
        m_bits = static_cast<std::uint8_t>(m_bits | Bit(option));
        return *this;
    }
    constexpr TWaveOptions& Exclude(TWaveOption option) {
        m_bits = static_cast<std::uint8_t>(m_bits & ~Bit(option));
        return *this;
    }
    friend constexpr bool operator==(TWaveOptions, TWaveOptions) = default;

private:
    static constexpr std::uint8_t Bit(TWaveOption option) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(option));
    }
    std::uint8_t m_bits = 0;
};

class TWave : public QObject {
    Q_OBJECT

public:
    explicit TWave(QObject* parent = nullptr);
    ~TWave() override;

    TWhereWave WhereWave = wwWaveFile;
    // A file path in UTF-8 (wwWaveFile) or the name of one of the program's sounds (wwResource).
    std::string WaveName;
    TWaveOptions Options{woAsync};

    // Plays the sound the three properties describe; true when it started (and, without
    // woAsync, has been played).
    bool Play();

    // Whether a sound started by any TWave of the program is still sounding.
    static bool Playing();

signals:
    // A sound this TWave asked for has started.
    void SoundStarted();
    // A sound this TWave started has ended: by itself (PlayedToEnd), or cut off by another
    // sound or by a failing device (not PlayedToEnd).
    void SoundEnded(bool playedToEnd);

private:
    bool PlayChecked();
    void ConnectChannel();

    const quint64 m_id;
    QPointer<QObject> m_channel;  // the sound channel this TWave listens to
};

}  // namespace corvane::desktop
