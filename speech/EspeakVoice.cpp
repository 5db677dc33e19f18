// libespeak-ng behind one lock, with checked voices and return codes.
#include "EspeakVoice.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <cstring>

namespace
{

std::mutex g_lock;
bool g_initialised = false;
int g_sampleRate = 0;
QString g_initError;

// Where the synth callback puts PCM; only touched under g_lock.
std::vector<int16_t> *g_sink = nullptr;
std::chrono::steady_clock::time_point *g_firstSample = nullptr;
bool g_sawSample = false;

int synthCallback(short *wav, int numsamples, espeak_EVENT *)
{
    if (wav && numsamples > 0 && g_sink) {
        if (!g_sawSample && g_firstSample)
            *g_firstSample = std::chrono::steady_clock::now();
        g_sawSample = true;
        g_sink->insert(g_sink->end(), wav, wav + numsamples);
    }
    return 0; // continue
}

QString statusText(espeak_ng_STATUS status)
{
    char buffer[512] = {0};
    espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
    return QString::fromLocal8Bit(buffer);
}

} // namespace

TEspeakSession::TEspeakSession() : m_lock(g_lock)
{
    if (!g_initialised && g_initError.isEmpty()) {
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        espeak_ng_STATUS status = espeak_ng_Initialize(&context);
        if (status != ENS_OK) {
            g_initError = QStringLiteral("espeak_ng_Initialize: ") + statusText(status);
            espeak_ng_ClearErrorContext(&context);
        } else {
            // Synchronous: espeak_ng_Synthesize returns when the text is synthesised, the PCM
            // having gone through the callback in pieces. Buffer length 0 takes espeak's
            // smallest pieces (about 50 ms); measured: the end of an utterance is padded to a
            // whole piece, so larger pieces add up to their length of silence at the end.
            status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
            if (status != ENS_OK) {
                g_initError = QStringLiteral("espeak_ng_InitializeOutput: ") + statusText(status);
            } else {
                espeak_SetSynthCallback(synthCallback);
                g_sampleRate = espeak_ng_GetSampleRate();
                g_initialised = true;
            }
        }
    }
    m_ready = g_initialised;
    m_error = g_initError;
    m_sampleRate = g_sampleRate;
}

TEspeakSession::~TEspeakSession() = default;

bool TEspeakSession::setVoice(const QString &name)
{
    if (!m_ready)
        return false;
    const espeak_ng_STATUS status = espeak_ng_SetVoiceByName(name.toUtf8().constData());
    if (status != ENS_OK) {
        m_error = QStringLiteral("voice %1: %2").arg(name, statusText(status));
        return false;
    }
    const espeak_VOICE *voice = espeak_GetCurrentVoice();
    // languages is a priority byte followed by the language name.
    const QString language = voice && voice->languages ? QString::fromUtf8(voice->languages + 1) : QString();
    const QString identifier = currentVoiceIdentifier();
    const int plus = name.indexOf(QLatin1Char('+'));
    const QString variant = plus >= 0 ? name.mid(plus) : QString();
    if (language != QLatin1String("ja") || !identifier.endsWith(QStringLiteral("/ja") + variant)) {
        m_error = QStringLiteral("voice %1 gave %2 (%3)").arg(name, identifier, language);
        return false;
    }
    return true;
}

QString TEspeakSession::currentVoiceIdentifier() const
{
    const espeak_VOICE *voice = espeak_GetCurrentVoice();
    return voice && voice->identifier ? QString::fromUtf8(voice->identifier) : QString();
}

bool TEspeakSession::setParameters(int rate, int volume, int pitch, int range)
{
    if (!m_ready)
        return false;
    const struct {
        espeak_PARAMETER which;
        int value;
    } settings[] = {{espeakRATE, rate}, {espeakVOLUME, volume}, {espeakPITCH, pitch}, {espeakRANGE, range}};
    for (const auto &s : settings) {
        const espeak_ng_STATUS status = espeak_ng_SetParameter(s.which, s.value, 0);
        if (status != ENS_OK) {
            m_error = QStringLiteral("parameter %1 = %2: %3").arg(int(s.which)).arg(s.value).arg(statusText(status));
            return false;
        }
    }
    return true;
}

int TEspeakSession::parameter(int which) const
{
    return espeak_GetParameter(espeak_PARAMETER(which), 1);
}

bool TEspeakSession::synthesize(const QString &text, std::vector<int16_t> &pcm,
                                std::chrono::steady_clock::time_point *firstSample)
{
    if (!m_ready)
        return false;
    const QByteArray utf8 = text.toUtf8();
    g_sink = &pcm;
    g_firstSample = firstSample;
    g_sawSample = false;
    const espeak_ng_STATUS status = espeak_ng_Synthesize(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                                                         espeakCHARS_UTF8, nullptr, nullptr);
    g_sink = nullptr;
    g_firstSample = nullptr;
    if (status != ENS_OK) {
        m_error = QStringLiteral("espeak_ng_Synthesize: ") + statusText(status);
        return false;
    }
    return true;
}
