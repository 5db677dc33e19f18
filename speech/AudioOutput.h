// Where an utterance's PCM goes: the ALSA device "default" (which reaches PulseAudio or
// PipeWire on a desktop), or, where no device opens (measured: none on the build and CI
// machines), a silent output that takes the utterance's real duration, so the queue
// timing of the windows stays the same. Used only by the speech worker thread.
#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

struct _snd_pcm;

class TAudioOutput
{
public:
    // device: an ALSA PCM name ("default", "null", "hw:0"); empty means silent only.
    explicit TAudioOutput(const QString &device);
    ~TAudioOutput();
    TAudioOutput(const TAudioOutput &) = delete;
    TAudioOutput &operator=(const TAudioOutput &) = delete;

    // Plays pcm and returns when it has been played, and never sooner than its
    // duration after the first sample was handed over (a device that takes samples
    // faster than real time, like ALSA's "null", is waited out). Tries to open the
    // device first when it is not open (a device that appears later is used). Returns
    // early, playing nothing more, once abort() was called.
    void play(const std::vector<int16_t> &pcm, int sampleRate, std::chrono::steady_clock::time_point *firstSample);

    // Opens the device for sampleRate if it is not open yet, playing nothing; true when it
    // is open. The device stays open for the next play(). Sets lastOutputName().
    bool tryOpen(int sampleRate);

    // What the last play() or tryOpen() used: "alsa:default" or "silent".
    QString lastOutputName() const { return m_lastName; }

    // From any thread: ends a play() in progress and every later one at once.
    void abort();

private:
    bool openDevice(int sampleRate);
    void closeDevice();
    bool writeAlsa(const std::vector<int16_t> &pcm);
    void waitUntil(std::chrono::steady_clock::time_point deadline);

    QString m_device;
    _snd_pcm *m_pcm = nullptr;
    int m_rate = 0;
    QString m_lastName;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_aborted{false};
};
