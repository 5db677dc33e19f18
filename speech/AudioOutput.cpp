// ALSA playback with a silent stand-in that keeps real time.
#include "AudioOutput.h"

#include <alsa/asoundlib.h>

#include <algorithm>

namespace
{

// ALSA prints its configuration errors to stderr ("Unknown PCM default") on every failed
// open; the station reports the output it used instead.
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

struct QuietAlsaOnce {
    QuietAlsaOnce() { snd_lib_error_set_handler(quietAlsa); }
};

} // namespace

TAudioOutput::TAudioOutput(const QString &device) : m_device(device)
{
    static QuietAlsaOnce quiet;
    (void)quiet;
}

TAudioOutput::~TAudioOutput()
{
    closeDevice();
}

void TAudioOutput::abort()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_aborted = true;
    }
    m_wake.notify_all();
}

bool TAudioOutput::openDevice(int sampleRate)
{
    if (m_pcm && m_rate == sampleRate)
        return true;
    closeDevice();
    if (m_device.isEmpty())
        return false;
    snd_pcm_t *pcm = nullptr;
    int rc = snd_pcm_open(&pcm, m_device.toLocal8Bit().constData(), SND_PCM_STREAM_PLAYBACK, 0);
    if (rc < 0)
        return false;
    // 16-bit mono at espeak's rate, ALSA resampling if the card wants another rate;
    // 100 ms of latency keeps writes short enough to abort promptly.
    rc = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, unsigned(sampleRate), 1,
                            100000);
    if (rc < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    m_pcm = pcm;
    m_rate = sampleRate;
    return true;
}

void TAudioOutput::closeDevice()
{
    if (m_pcm) {
        snd_pcm_close(m_pcm);
        m_pcm = nullptr;
    }
}

bool TAudioOutput::writeAlsa(const std::vector<int16_t> &pcm)
{
    // Chunks of 50 ms, so an abort is seen soon.
    const size_t chunk = size_t(std::max(1, m_rate / 20));
    size_t done = 0;
    while (done < pcm.size()) {
        if (m_aborted) {
            snd_pcm_drop(m_pcm);
            snd_pcm_prepare(m_pcm);
            return true;
        }
        const size_t n = std::min(chunk, pcm.size() - done);
        snd_pcm_sframes_t w = snd_pcm_writei(m_pcm, pcm.data() + done, snd_pcm_uframes_t(n));
        if (w < 0) {
            // An underrun (EPIPE) or a suspend (ESTRPIPE) is recovered; anything else
            // loses the device.
            const int rc = snd_pcm_recover(m_pcm, int(w), 1);
            if (rc < 0)
                return false;
            continue;
        }
        done += size_t(w);
    }
    const int rc = snd_pcm_drain(m_pcm); // blocks until the last sample has been played
    snd_pcm_prepare(m_pcm);
    return rc >= 0;
}

void TAudioOutput::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_until(lock, deadline, [this] { return m_aborted.load(); });
}

bool TAudioOutput::tryOpen(int sampleRate)
{
    const bool open = openDevice(sampleRate);
    m_lastName = open ? QStringLiteral("alsa:") + m_device : QStringLiteral("silent");
    return open;
}

void TAudioOutput::play(const std::vector<int16_t> &pcm, int sampleRate,
                        std::chrono::steady_clock::time_point *firstSample)
{
    const auto duration =
        std::chrono::microseconds(sampleRate > 0 ? (long long)(pcm.size()) * 1000000LL / sampleRate : 0);
    const bool alsa = !pcm.empty() && openDevice(sampleRate);
    const auto start = std::chrono::steady_clock::now();
    if (firstSample)
        *firstSample = start;
    m_lastName = alsa ? QStringLiteral("alsa:") + m_device : QStringLiteral("silent");
    if (alsa && !writeAlsa(pcm)) {
        // The device went away in the middle: the rest of the utterance is silent, and the
        // next utterance tries to open it again.
        closeDevice();
        m_lastName = QStringLiteral("silent");
    }
    waitUntil(start + duration);
}
