#pragma once
#include <QObject>
#include <functional>

class QProcess;
class QTimer;

// The alarm tone: a short beep repeated every kRepeatMs while any alarm is
// unacknowledged. It is played by ALSA's `aplay` from a tone made here (no
// sound library is linked, and ALSA reaches PulseAudio and PipeWire through
// their ALSA plugins); where aplay is missing or fails, the window system's
// bell rings instead. The mute switch holds until the program ends.
class AlarmSound : public QObject {
    Q_OBJECT
public:
    static constexpr int kRepeatMs = 2000;
    using Ring = std::function<void()>;

    explicit AlarmSound(QObject* parent = nullptr);
    ~AlarmSound() override;

    // Whether anything calls for the tone (some alarm is unacknowledged).
    void setWanted(bool wanted);
    [[nodiscard]] bool wanted() const { return m_wanted; }
    // Muted for the rest of the program's life, in every window.
    static void setMuted(bool muted);
    [[nodiscard]] static bool muted();
    // Whether the tone is repeating now.
    [[nodiscard]] bool sounding() const;

    // What one ring does; tests count rings instead of hearing them.
    void setRing(Ring ring) { m_ring = std::move(ring); }
    // Rings once if the tone is due (the repeat timer calls it).
    void ringIfDue();

    // A 16-bit mono WAV of a short 880 Hz beep.
    [[nodiscard]] static QByteArray toneWave();

Q_SIGNALS:
    void mutedChanged(bool muted);

private:
    void update();
    void playTone();

    QTimer* m_repeat;
    QProcess* m_player = nullptr;
    bool m_wanted = false;
    bool m_playerFailed = false; // aplay missing or failing: the bell rings
    Ring m_ring;
};
