// TSmarTalk and its worker thread: kana reading, espeak synthesis, voice quality, capture
// and playback, one utterance after the other.
#include "SpeechEngine.h"

#include "AudioOutput.h"
#include "EspeakVoice.h"
#include "JapaneseReading.h"
#include "ProfileFile.h"
#include "StationFolders.h"
#include "VoiceMapping.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

qint64 ns(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}
double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The properties as they stood at SpeakText.
struct Job {
    int top = 0;
    QString text;
    int numRead = 2;
    int volume = 5;
    int pitchForMan = 6;
    int pitchForWoman = 6;
    int speed = 6;
    int intonation = 5;
    int speakerName = 4;
    int voicechanger = 5;
    QString captureDir;
    QString audioDevice;
    Clock::time_point requested;
    bool check = false; // CheckOutput: try the device and the voice, speak nothing
};

} // namespace

class TSmarTalkWorker
{
public:
    explicit TSmarTalkWorker(TSmarTalk *owner) : m_owner(owner)
    {
        m_thread = std::thread([this] { run(); });
    }

    ~TSmarTalkWorker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            if (m_output)
                m_output->abort();
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void push(Job job)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_all();
    }

private:
    void run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
                if (m_stop)
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            TUtteranceReport report = job.check ? check(job) : speak(job);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_stop)
                    return;
            }
            // Hand the report to the GUI thread; dropped if the control is gone by then.
            TSmarTalk *owner = m_owner;
            if (job.check)
                QMetaObject::invokeMethod(
                    owner, [owner, report] { owner->probed(report); }, Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(
                    owner, [owner, report] { owner->finished(report); }, Qt::QueuedConnection);
        }
    }

    TAudioOutput &output(const QString &device)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_output || m_outputDevice != device) {
            m_output.reset(new TAudioOutput(device));
            m_outputDevice = device;
            if (m_stop)
                m_output->abort();
        }
        return *m_output;
    }

    std::vector<int16_t> synthesize(const Job &job, const QString &kana, TUtteranceReport &report,
                                    Clock::time_point *firstSample)
    {
        std::vector<int16_t> pcm;
        if (kana.isEmpty())
            return pcm;
        TEspeakSession espeak;
        if (!espeak.ready()) {
            report.error = espeak.error();
            return pcm;
        }
        report.sampleRate = espeak.sampleRate();
        const QList<VoiceMapping::Voice> voices = VoiceMapping::speakerVoices(job.speakerName);
        // One voice reads the whole text; two (male 1 & female 1) take turns by clause,
        // starting with male 1, and a one-clause text takes the voice after the last one.
        QStringList parts;
        if (voices.size() == 1) {
            parts << kana;
        } else {
            parts = JapaneseReading::clauses(kana);
        }
        int voiceIndex = 0;
        if (voices.size() > 1 && parts.size() == 1)
            voiceIndex = (m_mixTurn++) % voices.size();
        const int rate = VoiceMapping::espeakRate(job.speed);
        for (int i = 0; i < parts.size(); ++i) {
            const VoiceMapping::Voice &voice = voices.at((voiceIndex + i) % voices.size());
            const int pitch = VoiceMapping::espeakPitch(voice.female ? job.pitchForWoman : job.pitchForMan);
            if (!espeak.setVoice(voice.name) ||
                !espeak.setParameters(rate, VoiceMapping::espeakVolume(job.volume), pitch,
                                      VoiceMapping::espeakRange(job.intonation))) {
                report.error = espeak.error();
                return {};
            }
            if (!report.voices.contains(espeak.currentVoiceIdentifier()))
                report.voices << espeak.currentVoiceIdentifier();
            report.rate = espeak.parameter(espeakRATE);
            report.volume = espeak.parameter(espeakVOLUME);
            report.pitch = espeak.parameter(espeakPITCH);
            report.range = espeak.parameter(espeakRANGE);
            if (i > 0) {
                // The pause of the comma between two voices' clauses, shorter when faster.
                const double pause = 0.2 * 175.0 / rate;
                pcm.insert(pcm.end(), size_t(pause * report.sampleRate), 0);
            }
            if (!espeak.synthesize(parts.at(i), pcm, firstSample)) {
                report.error = espeak.error();
                return {};
            }
        }
        return pcm;
    }

    // Whether an utterance would be heard: the voices of the speaker set, and the audio
    // device opened (and kept open for the next utterance).
    TUtteranceReport check(const Job &job)
    {
        TUtteranceReport report;
        report.requestedNs = ns(job.requested);
        int sampleRate = 22050;
        {
            TEspeakSession espeak;
            if (!espeak.ready()) {
                report.error = espeak.error();
            } else {
                sampleRate = espeak.sampleRate();
                for (const VoiceMapping::Voice &voice : VoiceMapping::speakerVoices(job.speakerName)) {
                    if (!espeak.setVoice(voice.name)) {
                        report.error = espeak.error();
                        break;
                    }
                }
            }
        }
        report.sampleRate = sampleRate;
        TAudioOutput &out = output(job.audioDevice);
        out.tryOpen(sampleRate);
        report.output = out.lastOutputName();
        return report;
    }

    TUtteranceReport speak(const Job &job)
    {
        TUtteranceReport report;
        report.top = job.top;
        report.text = job.text;
        report.requestedNs = ns(job.requested);
        report.kana = JapaneseReading::toKana(job.text, job.numRead != 1);

        Clock::time_point firstSample = Clock::now();
        const Clock::time_point synthStart = Clock::now();
        std::vector<int16_t> pcm = synthesize(job, report.kana, report, &firstSample);
        report.qualityFactor = VoiceMapping::qualityFactor(job.voicechanger);
        pcm = VoiceMapping::resample(pcm, report.qualityFactor);
        report.synthMs = msBetween(synthStart, Clock::now());
        report.firstSampleMs = pcm.empty() ? 0 : msBetween(job.requested, firstSample);
        if (report.sampleRate == 0)
            report.sampleRate = 22050;

        report.samples = qint64(pcm.size());
        report.durationMs = 1000.0 * double(pcm.size()) / report.sampleRate;
        double sum = 0;
        for (int16_t s : pcm) {
            report.peak = std::max(report.peak, std::abs(int(s)));
            sum += double(s) * s;
        }
        report.rms = pcm.empty() ? 0 : std::sqrt(sum / double(pcm.size()));

        if (!job.captureDir.isEmpty()) {
            QDir dir(job.captureDir);
            // Time of day, then a number counted across the process, so that two controls
            // (or two runs) never write the same file.
            static std::atomic<unsigned> captures{0};
            const QString name = QStringLiteral("%1-%2.wav")
                                     .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                                     .arg(++captures, 5, 10, QLatin1Char('0'));
            const QString path = dir.filePath(name);
            if (dir.mkpath(QStringLiteral(".")) &&
                VoiceMapping::writeWav(path, pcm, report.sampleRate, job.text + QLatin1Char('\n') + report.kana))
                report.capturePath = QFileInfo(path).absoluteFilePath();
            else if (report.error.isEmpty())
                report.error = QStringLiteral("cannot write %1").arg(path);
        }

        TAudioOutput &out = output(job.audioDevice);
        Clock::time_point started;
        out.play(pcm, report.sampleRate, &started);
        const Clock::time_point ended = Clock::now();
        report.output = out.lastOutputName();
        report.startedNs = ns(started);
        report.endedNs = ns(ended);
        report.outputMs = msBetween(job.requested, started);
        return report;
    }

    TSmarTalk *m_owner;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stop = false;
    std::unique_ptr<TAudioOutput> m_output;
    QString m_outputDevice;
    unsigned m_mixTurn = 0;
};

TSmarTalk::TSmarTalk(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<TUtteranceReport>();
    m_captureDir = CaptureDirFromSettings();
    m_recheck = new QTimer(this);
    m_recheck->setInterval(RecheckMs);
    // Between utterances only: an utterance tries the device itself.
    connect(m_recheck, &QTimer::timeout, this, [this] {
        if (m_queued.isEmpty())
            CheckOutput();
    });
    m_worker = std::make_unique<TSmarTalkWorker>(this);
}

TSmarTalk::~TSmarTalk()
{
    m_worker.reset();
}

short TSmarTalk::SpeakText(const QString &text)
{
    Job job;
    job.top = m_nextTop++;
    job.text = text;
    job.numRead = m_numRead;
    job.volume = m_volume;
    job.pitchForMan = m_pitchForMan;
    job.pitchForWoman = m_pitchForWoman;
    job.speed = m_speed;
    job.intonation = m_intonation;
    job.speakerName = m_speakerName;
    job.voicechanger = m_voicechanger;
    job.captureDir = m_captureDir;
    job.audioDevice = m_audioDevice;
    job.requested = Clock::now();
    m_queued << job.top;
    m_worker->push(std::move(job));
    return 0;
}

short TSmarTalk::PrepareSpeech()
{
    return 0;
}

short TSmarTalk::StartSpeech()
{
    return 0;
}

void TSmarTalk::CheckOutput()
{
    if (m_checking)
        return;
    m_checking = true;
    Job job;
    job.check = true;
    job.speakerName = m_speakerName;
    job.audioDevice = m_audioDevice;
    job.captureDir = m_captureDir;
    job.requested = Clock::now();
    m_worker->push(std::move(job));
}

QString TSmarTalk::NoDeviceNotice(bool capturing)
{
    return capturing ? QStringLiteral("音声出力装置がありません。WAVファイルのみ保存しています。")
                     : QStringLiteral("音声出力装置がありません。読み上げは聞こえません。");
}

QString TSmarTalk::NoVoiceNotice()
{
    return QStringLiteral("日本語の音声が使えません（espeak-ng の日本語データ）。読み上げは聞こえません。");
}

std::optional<QString> TSmarTalk::noticeFor(const TUtteranceReport &report, bool check) const
{
    // An utterance that synthesised nothing and failed could not use the voice; one that
    // synthesised nothing without an error (an empty text) says nothing about the output.
    if (!report.error.isEmpty() && (check || report.samples == 0))
        return NoVoiceNotice();
    if (!check && report.samples == 0)
        return std::nullopt;
    if (report.output == QLatin1String("silent"))
        return NoDeviceNotice(!m_captureDir.isEmpty());
    return QString();
}

void TSmarTalk::setNotice(const std::optional<QString> &notice)
{
    if (!notice || *notice == m_notice)
        return;
    m_notice = *notice;
    if (m_notice.isEmpty())
        m_recheck->stop();
    else if (!m_recheck->isActive())
        m_recheck->start();
    emit OutputNoticeChanged(m_notice);
}

void TSmarTalk::probed(const TUtteranceReport &report)
{
    m_checking = false;
    setNotice(noticeFor(report, true));
}

void TSmarTalk::finished(const TUtteranceReport &report)
{
    m_queued.removeOne(report.top);
    const int next = m_queued.isEmpty() ? 0 : m_queued.first();
    setNotice(noticeFor(report, false));
    emit UtteranceDone(report);
    emit OnEVOUTEND(report.top, next);
}

QString TSmarTalk::CaptureDirFromSettings()
{
    const QString dir =
        ProfileFile::ReadString(StationFolders::SettingsFile(), QStringLiteral("Talk"), QStringLiteral("CaptureDir"));
    if (dir.isEmpty())
        return QString();
    return QDir::cleanPath(QDir::current().absoluteFilePath(dir));
}
