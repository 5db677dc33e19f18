// Independent measures of captured speech.
#include "SpeechMeasure.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace SpeechMeasure
{

namespace
{
uint32_t le32(const QByteArray &b, int at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t le16(const QByteArray &b, int at)
{
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

std::vector<double> f0Track(const std::vector<int16_t> &pcm, int sr)
{
    std::vector<double> track;
    const int frame = 1024, hop = 256;
    const double level = rms(pcm);
    const int minLag = sr / 500, maxLag = sr / 60;
    for (size_t start = 0; start + frame + maxLag < pcm.size(); start += hop) {
        double e0 = 0;
        for (int i = 0; i < frame; ++i)
            e0 += double(pcm[start + i]) * pcm[start + i];
        if (std::sqrt(e0 / frame) < 0.3 * level)
            continue;
        double best = 0;
        int bestLag = 0;
        for (int lag = minLag; lag <= maxLag; ++lag) {
            double c = 0, e1 = 0;
            for (int i = 0; i < frame; ++i) {
                c += double(pcm[start + i]) * pcm[start + i + lag];
                e1 += double(pcm[start + i + lag]) * pcm[start + i + lag];
            }
            const double r = c / std::sqrt(e0 * e1 + 1e-9);
            if (r > best) {
                best = r;
                bestLag = lag;
            }
        }
        if (best > 0.6 && bestLag > 0)
            track.push_back(double(sr) / bestLag);
    }
    std::sort(track.begin(), track.end());
    return track;
}
} // namespace

Wav readWav(const QString &path)
{
    Wav w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return w;
    const QByteArray b = f.readAll();
    if (b.size() < 12 || b.left(4) != "RIFF" || b.mid(8, 4) != "WAVE")
        return w;
    int at = 12;
    bool haveFormat = false;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const uint32_t size = le32(b, at + 4);
        const int body = at + 8;
        if (body + int(size) > b.size())
            return w;
        if (id == "fmt ") {
            if (le16(b, body) != 1)
                return w;
            w.channels = le16(b, body + 2);
            w.sampleRate = int(le32(b, body + 4));
            w.bits = le16(b, body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat || w.bits != 16)
                return w;
            w.pcm.resize(size / 2);
            for (uint32_t i = 0; i < size / 2; ++i)
                w.pcm[i] = int16_t(le16(b, body + int(2 * i)));
            w.ok = true;
        }
        at = body + int(size) + int(size % 2);
    }
    return w;
}

double rms(const std::vector<int16_t> &pcm)
{
    double s = 0;
    for (int16_t x : pcm)
        s += double(x) * x;
    return pcm.empty() ? 0 : std::sqrt(s / double(pcm.size()));
}

int peak(const std::vector<int16_t> &pcm)
{
    int p = 0;
    for (int16_t x : pcm)
        p = std::max(p, std::abs(int(x)));
    return p;
}

double activeShare(const std::vector<int16_t> &pcm, int sr)
{
    const size_t frame = size_t(sr / 50);
    int frames = 0, active = 0;
    for (size_t start = 0; start + frame <= pcm.size(); start += frame) {
        double s = 0;
        for (size_t i = 0; i < frame; ++i)
            s += double(pcm[start + i]) * pcm[start + i];
        ++frames;
        if (std::sqrt(s / double(frame)) > 327.67) // -40 dBFS
            ++active;
    }
    return frames ? double(active) / frames : 0;
}

double medianF0(const std::vector<int16_t> &pcm, int sr)
{
    const std::vector<double> t = f0Track(pcm, sr);
    return t.empty() ? 0 : t[t.size() / 2];
}

double f0Spread(const std::vector<int16_t> &pcm, int sr)
{
    const std::vector<double> t = f0Track(pcm, sr);
    if (t.size() < 10)
        return 0;
    return t[t.size() * 9 / 10] - t[t.size() / 10];
}

int morae(const QString &kana)
{
    static const QString small = QString::fromUtf8("ゃゅょぁぃぅぇぉャュョァィゥェォ");
    int n = 0;
    for (QChar c : kana) {
        const ushort x = c.unicode();
        const bool kanaChar = (x >= 0x3041 && x <= 0x3096) || (x >= 0x30A1 && x <= 0x30FA) || x == 0x30FC;
        if (kanaChar && !small.contains(c))
            ++n;
    }
    return n;
}

} // namespace SpeechMeasure
