// Property values to espeak settings, voice quality resampling and WAV capture files.
#include "VoiceMapping.h"

#include "WholeFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace VoiceMapping
{

namespace
{
int clampTo(int v, int lo, int hi)
{
    return std::min(std::max(v, lo), hi);
}
} // namespace

int espeakRate(int speed)
{
    return int(std::lround(80 + (clampTo(speed, 1, 10) - 1) * 220.0 / 9.0));
}
int espeakVolume(int volume)
{
    return clampTo(volume, 1, 10) * 10;
}
int espeakPitch(int pitch)
{
    return int(std::lround((clampTo(pitch, 1, 10) - 1) * 100.0 / 9.0));
}
int espeakRange(int intonation)
{
    return (clampTo(intonation, 1, 6) - 1) * 20;
}

double qualityFactor(int voicechanger)
{
    const int q = clampTo(voicechanger, 1, 10);
    return q <= 5 ? 1.0 - (5 - q) * 0.0375 : 1.0 + (q - 5) * 0.03;
}

QList<Voice> speakerVoices(int speakerName)
{
    const Voice m1{QStringLiteral("ja+m1"), false}, f1{QStringLiteral("ja+f1"), true};
    switch (clampTo(speakerName, 1, 5)) {
    case 1:
        return {m1, f1};
    case 2:
        return {m1};
    case 3:
        return {f1};
    case 4:
        return {{QStringLiteral("ja+m2"), false}};
    default:
        return {{QStringLiteral("ja+f2"), true}};
    }
}

std::vector<int16_t> resample(const std::vector<int16_t> &pcm, double factor)
{
    if (std::fabs(factor - 1.0) < 1e-9 || pcm.empty())
        return pcm;
    constexpr int a = 6; // Lanczos lobes
    const double cutoff = std::min(1.0, 1.0 / factor);
    const size_t outLength = size_t(std::floor(pcm.size() / factor));
    const int width = int(std::ceil(a / cutoff));
    std::vector<int16_t> out(outLength);
    auto sinc = [](double x) {
        if (std::fabs(x) < 1e-12)
            return 1.0;
        const double px = M_PI * x;
        return std::sin(px) / px;
    };
    for (size_t i = 0; i < outLength; ++i) {
        const double pos = i * factor;
        const long centre = long(std::floor(pos));
        double sum = 0, weights = 0;
        for (long k = centre - width + 1; k <= centre + width; ++k) {
            const double x = (pos - k) * cutoff;
            if (std::fabs(x) >= a)
                continue;
            const double w = sinc(x) * sinc(x / a);
            weights += w;
            if (k >= 0 && size_t(k) < pcm.size())
                sum += w * pcm[size_t(k)];
        }
        const double v = weights > 0 ? sum / weights : 0;
        out[i] = int16_t(std::clamp(std::lround(v), -32767L, 32767L));
    }
    return out;
}

namespace
{
void put16(QByteArray &b, uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void put32(QByteArray &b, uint32_t v)
{
    put16(b, uint16_t(v & 0xFFFF));
    put16(b, uint16_t(v >> 16));
}
} // namespace

bool writeWav(const QString &path, const std::vector<int16_t> &pcm, int sampleRate, const QString &comment)
{
    QByteArray info;
    if (!comment.isEmpty()) {
        QByteArray text = comment.toUtf8();
        text.append('\0');
        if (text.size() % 2)
            text.append('\0');
        info.append("INFO");
        info.append("ICMT");
        put32(info, uint32_t(text.size()));
        info.append(text);
    }
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    QByteArray b;
    b.append("RIFF");
    put32(b, 4 + 8 + 16 + 8 + dataBytes + (info.isEmpty() ? 0 : 8 + uint32_t(info.size())));
    b.append("WAVE");
    b.append("fmt ");
    put32(b, 16);
    put16(b, 1); // PCM
    put16(b, 1); // mono
    put32(b, uint32_t(sampleRate));
    put32(b, uint32_t(sampleRate * 2));
    put16(b, 2);
    put16(b, 16);
    b.append("data");
    put32(b, dataBytes);
    for (int16_t s : pcm)
        put16(b, uint16_t(s));
    if (!info.isEmpty()) {
        b.append("LIST");
        put32(b, uint32_t(info.size()));
        b.append(info);
    }
    return WriteWholeFile(path, b);
}

} // namespace VoiceMapping
