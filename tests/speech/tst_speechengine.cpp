// TSmarTalk with real synthesis into a capture folder: every station text gives
// non-silent audio of plausible length; speed, volume, pitch and quality move their
// measures the right way without clipping; each property reaches espeak with its mapped
// value; the phonemes never switch language; OnEVOUTEND comes once per utterance, in
// order, never before the audio could have been played, also with the silent output.
#include "EspeakVoice.h"
#include "JapaneseReading.h"
#include "SpeechEngine.h"
#include "SpeechMeasure.h"
#include "VoiceMapping.h"

#include <QtTest>

#include <espeak-ng/speak_lib.h>

#include <chrono>
#include <memory>

using namespace SpeechMeasure;

namespace
{

QString u(const char *s)
{
    return QString::fromUtf8(s);
}

// espeak-ng's phoneme mnemonics for a text of kana with the voice of SpeakerName 2 (male 1),
// every clause joined by blanks. A switch of language shows as "(en)".
QString phonemes(const QString &kana)
{
    TEspeakSession espeak;
    if (!espeak.ready() || !espeak.setVoice(VoiceMapping::speakerVoices(2).first().name))
        return QStringLiteral("(error: %1)").arg(espeak.error());
    const QByteArray utf8 = kana.toUtf8();
    const void *position = utf8.constData();
    QStringList parts;
    // One clause per call; position moves on, to null at the end.
    while (position) {
        const char *p = espeak_TextToPhonemes(&position, espeakCHARS_UTF8, 0);
        if (p && *p)
            parts << QString::fromUtf8(p).trimmed();
    }
    return parts.join(QLatin1Char(' '));
}

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Records what one control reports, on the GUI thread.
struct Listener {
    explicit Listener(TSmarTalk *talk)
    {
        QObject::connect(talk, &TSmarTalk::UtteranceDone, talk, [this](const TUtteranceReport &r) { reports << r; });
        QObject::connect(talk, &TSmarTalk::OnEVOUTEND, talk, [this](int top, int next) {
            events << qMakePair(top, next);
            eventNs << nowNs();
        });
    }
    QList<TUtteranceReport> reports;
    QList<QPair<int, int>> events;
    QList<qint64> eventNs;
};

// A control speaking silently into a capture folder, fast unless told otherwise.
std::unique_ptr<TSmarTalk> makeTalk(const QString &captureDir, int speed = 10)
{
    auto talk = std::make_unique<TSmarTalk>();
    talk->setCaptureDir(captureDir);
    talk->setAudioDevice(QString());
    talk->setSpeed(short(speed));
    talk->setVolume(5);
    talk->setSpeakerName(4);
    return talk;
}

// Speaks each text on a control of its own, all at once (the silent output takes real
// time, so this keeps the suite short), and returns the reports in text order.
QList<TUtteranceReport> speakInParallel(const QList<std::function<void(TSmarTalk &)>> &setups, const QString &text,
                                        const QString &captureDir)
{
    std::vector<std::unique_ptr<TSmarTalk>> talks;
    std::vector<std::unique_ptr<Listener>> listeners;
    for (const auto &setup : setups) {
        talks.push_back(makeTalk(captureDir));
        setup(*talks.back());
        listeners.push_back(std::make_unique<Listener>(talks.back().get()));
    }
    for (auto &t : talks)
        t->SpeakText(text);
    QList<TUtteranceReport> result;
    for (auto &l : listeners) {
        if (!QTest::qWaitFor([&] { return !l->reports.isEmpty(); }, 30000))
            return {};
        result << l->reports.first();
    }
    return result;
}

} // namespace

class TstSpeechEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyStationTextIsCaptured();
    void phonemesNeverSwitchLanguage();
    void voicesAreChecked_data();
    void voicesAreChecked();
    void settingsReachTheEngine_data();
    void settingsReachTheEngine();
    void speakersTakeTheirVoices_data();
    void speakersTakeTheirVoices();
    void fasterIsShorter();
    void louderIsLouderAndNeverClipped();
    void femaleIsHigherThanMale();
    void pitchAndQualityMoveTheVoice();
    void propertyWritesTakeEffectForTheNextUtterance();
    void endEventsInOrderNoSoonerThanTheAudio_data();
    void endEventsInOrderNoSoonerThanTheAudio();
    void emptyTextStillEnds();
    void prepareAndStartAreHarmless();
    void destroyedWhileSpeaking();
    void captureFolderFromTheSettingsFile();
    void latency();

private:
    QTemporaryDir m_capture;
};

void TstSpeechEngine::initTestCase()
{
    QVERIFY(m_capture.isValid());
    const QString ph = phonemes(u("いち"));
    QVERIFY2(!ph.startsWith(QLatin1String("(error")), qPrintable(ph));
}

void TstSpeechEngine::everyStationTextIsCaptured()
{
    // The announcements of both timing windows and the two voice-test texts.
    const QStringList texts = {
        u("167ﾊﾞﾝ,1時間23分31秒4"),   u("25ﾊﾞﾝ,5分35秒1"), u("8ﾊﾞﾝ,12分05秒1"),       u("12ﾊﾞﾝ,15分07秒1"),
        u("0012ﾊﾞﾝ,15分07秒1"),       u("3ﾊﾞﾝ,分45秒6"),   u("7ﾊﾞﾝ,12時間03分05秒4"), u("44ﾊﾞﾝ,1時間02分03秒4"),
        u("9999ﾊﾞﾝ,12時間00分05秒0"), u("167ﾊﾞﾝ "),        u("1時間23分31秒4"),
    };
    std::vector<std::unique_ptr<TSmarTalk>> talks;
    std::vector<std::unique_ptr<Listener>> listeners;
    for (const QString &text : texts) {
        talks.push_back(makeTalk(m_capture.path()));
        listeners.push_back(std::make_unique<Listener>(talks.back().get()));
        talks.back()->SpeakText(text);
    }
    for (int i = 0; i < texts.size(); ++i) {
        Listener &l = *listeners[size_t(i)];
        QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 1; }, 30000));
        const TUtteranceReport &r = l.reports.first();
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(r.output, QStringLiteral("silent"));
        QVERIFY(!r.capturePath.isEmpty());
        const Wav wav = readWav(r.capturePath);
        QVERIFY2(wav.ok, qPrintable(r.capturePath));
        QCOMPARE(wav.channels, 1);
        QCOMPARE(wav.sampleRate, 22050);
        QCOMPARE(qint64(wav.pcm.size()), r.samples);
        const double seconds = double(wav.pcm.size()) / wav.sampleRate;
        const int m = morae(r.kana);
        const double perMora = seconds / m;
        qInfo("%-28s %5.2f s %2d morae %3.0f ms/mora rms %5.0f peak %5d active %3.0f %%", qPrintable(texts[i]), seconds,
              m, 1000 * perMora, rms(wav.pcm), peak(wav.pcm), 100 * activeShare(wav.pcm, wav.sampleRate));
        // At 300 words per minute a mora takes about 50-80 ms (measured 60-70).
        QVERIFY2(perMora > 0.035 && perMora < 0.12, qPrintable(QString::number(perMora)));
        QVERIFY(rms(wav.pcm) > 1000);
        QVERIFY(activeShare(wav.pcm, wav.sampleRate) > 0.6);
        QVERIFY(peak(wav.pcm) < 32767);
    }
}

void TstSpeechEngine::phonemesNeverSwitchLanguage()
{
    // Every text a window can build: each bib with "ﾊﾞﾝ,", and every hour, minute, second
    // and tenths digit in a time part (the front-end reads them word by word).
    QStringList texts;
    for (int bib = 1; bib <= 9999; ++bib)
        texts << QString::number(bib) + u("ﾊﾞﾝ,");
    for (int h = 0; h < 100; ++h)
        for (int m = 0; m < 60; ++m) {
            const int s = (h * 7 + m) % 60, d = (h + m) % 10;
            QString t = h > 0 ? QString::number(h) + u("時間") + QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0'))
                              : (m > 0 ? QString::number(m) : QString());
            texts << t + u("分") + QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0')) + u("秒") + QString::number(d);
        }
    for (int s = 0; s < 60; ++s)
        texts << u("分") + QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0')) + u("秒") + QString::number(s % 10);
    texts << u("167ﾊﾞﾝ ") << u("1時間23分31秒4");
    QElapsedTimer timer;
    timer.start();
    int checked = 0;
    for (const QString &text : texts) {
        const QString kana = JapaneseReading::toKana(text);
        const QString ph = phonemes(kana);
        if (ph.isEmpty() || ph.contains(QLatin1Char('(')))
            QFAIL(qPrintable(text + QStringLiteral(" -> ") + kana + QStringLiteral(" -> ") + ph));
        ++checked;
    }
    qInfo("%d texts, %lld ms", checked, timer.elapsed());
    // The check can fail: what the voice would get without the front-end switches to English.
    QVERIFY(phonemes(u("1時間23分31秒4")).contains(QLatin1String("(en)")));
    QVERIFY(phonemes(u("AB")).contains(QLatin1String("(en)")));
    QVERIFY(!phonemes(JapaneseReading::toKana(u("AB"))).contains(QLatin1Char('(')));
}

void TstSpeechEngine::voicesAreChecked_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::newRow("male 1") << "ja+m1" << true;
    QTest::newRow("female 2") << "ja+f2" << true;
    QTest::newRow("plain Japanese") << "ja" << true;
    // espeak answers OK and speaks plain "ja": refused all the same.
    QTest::newRow("misspelt variant") << "ja+fx9" << false;
    // espeak refuses and keeps the voice it had.
    QTest::newRow("unknown voice") << "xx" << false;
    QTest::newRow("another language") << "en" << false;
}

void TstSpeechEngine::voicesAreChecked()
{
    QFETCH(QString, name);
    TEspeakSession espeak;
    QVERIFY(espeak.ready());
    QTEST(espeak.setVoice(name), "taken");
}

void TstSpeechEngine::settingsReachTheEngine_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("pitchForMan");
    QTest::addColumn<int>("intonation");
    QTest::addColumn<int>("voicechanger");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("espeakVolume");
    QTest::addColumn<int>("espeakPitch");
    QTest::addColumn<int>("range");
    QTest::addColumn<double>("factor");
    QTest::newRow("lowest") << 1 << 1 << 1 << 1 << 1 << 80 << 10 << 0 << 0 << 0.85;
    QTest::newRow("defaults") << 6 << 5 << 6 << 5 << 5 << 202 << 50 << 56 << 80 << 1.0;
    QTest::newRow("chip-tag speed 9") << 9 << 10 << 9 << 3 << 7 << 276 << 100 << 89 << 40 << 1.06;
    QTest::newRow("highest") << 10 << 10 << 10 << 6 << 10 << 300 << 100 << 100 << 100 << 1.15;
    QTest::newRow("out of range is clamped") << 12 << 0 << -3 << 7 << 11 << 300 << 10 << 0 << 100 << 1.15;
}

void TstSpeechEngine::settingsReachTheEngine()
{
    QFETCH(int, speed);
    QFETCH(int, volume);
    QFETCH(int, pitchForMan);
    QFETCH(int, intonation);
    QFETCH(int, voicechanger);
    auto talk = makeTalk(QString());
    Listener l(talk.get());
    talk->setSpeed(short(speed));
    talk->setVolume(short(volume));
    talk->setPitchForMan(short(pitchForMan));
    talk->setPitchForWoman(1); // male 2 is speaking: the female pitch must not be used
    talk->setIntonation(short(intonation));
    talk->setVoicechanger(short(voicechanger));
    talk->SpeakText(u("1"));
    QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 1; }, 10000));
    const TUtteranceReport &r = l.reports.first();
    QCOMPARE(r.voices, QStringList({QStringLiteral("jpx/ja+m2")}));
    QTEST(r.rate, "rate");
    QTEST(r.volume, "espeakVolume");
    QTEST(r.pitch, "espeakPitch");
    QTEST(r.range, "range");
    QFETCH(double, factor);
    QVERIFY2(qAbs(r.qualityFactor - factor) < 0.005, qPrintable(QString::number(r.qualityFactor)));
}

void TstSpeechEngine::speakersTakeTheirVoices_data()
{
    QTest::addColumn<int>("speakerName");
    QTest::addColumn<QStringList>("voices");
    QTest::addColumn<int>("pitch"); // espeak pitch used for the last clause
    // PitchForMan 2 (espeak 11), PitchForWoman 9 (espeak 89).
    QTest::newRow("1 male 1 & female 1") << 1 << QStringList{"jpx/ja+m1", "jpx/ja+f1"} << 89;
    QTest::newRow("2 male 1") << 2 << QStringList{"jpx/ja+m1"} << 11;
    QTest::newRow("3 female 1") << 3 << QStringList{"jpx/ja+f1"} << 89;
    QTest::newRow("4 male 2") << 4 << QStringList{"jpx/ja+m2"} << 11;
    QTest::newRow("5 female 2") << 5 << QStringList{"jpx/ja+f2"} << 89;
    QTest::newRow("0 clamped to 1") << 0 << QStringList{"jpx/ja+m1", "jpx/ja+f1"} << 89;
    QTest::newRow("9 clamped to 5") << 9 << QStringList{"jpx/ja+f2"} << 89;
}

void TstSpeechEngine::speakersTakeTheirVoices()
{
    QFETCH(int, speakerName);
    auto talk = makeTalk(QString());
    Listener l(talk.get());
    talk->setSpeakerName(short(speakerName));
    talk->setPitchForMan(2);
    talk->setPitchForWoman(9);
    talk->SpeakText(u("1ﾊﾞﾝ,1"));
    QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 1; }, 10000));
    QVERIFY2(l.reports.first().error.isEmpty(), qPrintable(l.reports.first().error));
    QTEST(l.reports.first().voices, "voices");
    QTEST(l.reports.first().pitch, "pitch");
}

void TstSpeechEngine::fasterIsShorter()
{
    QList<std::function<void(TSmarTalk &)>> setups;
    for (int speed : {1, 4, 7, 10})
        setups << [speed](TSmarTalk &t) { t.setSpeed(short(speed)); };
    const QList<TUtteranceReport> r = speakInParallel(setups, u("167ﾊﾞﾝ"), m_capture.path());
    QCOMPARE(r.size(), 4);
    for (int i = 0; i < r.size(); ++i)
        qInfo("speed %d: %.0f ms", 1 + 3 * i, r[i].durationMs);
    for (int i = 1; i < r.size(); ++i)
        QVERIFY(r[i].durationMs < r[i - 1].durationMs * 0.9);
    QVERIFY(r[3].durationMs < r[0].durationMs / 2);
}

void TstSpeechEngine::louderIsLouderAndNeverClipped()
{
    // Every speaker at volume 1, 5 and 10, with the highest pitch, intonation and quality
    // (the worst case for peaks).
    for (int speaker = 1; speaker <= 5; ++speaker) {
        QList<std::function<void(TSmarTalk &)>> setups;
        for (int volume : {1, 5, 10})
            setups << [volume, speaker](TSmarTalk &t) {
                t.setVolume(short(volume));
                t.setSpeakerName(short(speaker));
                t.setPitchForMan(10);
                t.setPitchForWoman(10);
                t.setIntonation(6);
                t.setVoicechanger(10);
            };
        const QList<TUtteranceReport> r = speakInParallel(setups, u("12ﾊﾞﾝ,1分05秒1"), m_capture.path());
        QCOMPARE(r.size(), 3);
        QList<double> levels;
        for (const TUtteranceReport &x : r) {
            const Wav wav = readWav(x.capturePath);
            QVERIFY(wav.ok);
            levels << rms(wav.pcm);
            int full = 0;
            for (int16_t s : wav.pcm)
                full += (s >= 32767 || s <= -32767) ? 1 : 0;
            QCOMPARE(full, 0);
            QVERIFY2(peak(wav.pcm) < 32000, qPrintable(QString::number(peak(wav.pcm))));
        }
        qInfo("speaker %d rms at volume 1/5/10: %.0f %.0f %.0f; peak at 10: %d", speaker, levels[0], levels[1],
              levels[2], r[2].peak);
        QVERIFY(levels[1] > levels[0] * 2);
        QVERIFY(levels[2] > levels[1] * 1.5);
    }
}

void TstSpeechEngine::femaleIsHigherThanMale()
{
    QList<std::function<void(TSmarTalk &)>> setups;
    for (int speaker : {2, 3, 4, 5}) // male 1, female 1, male 2, female 2, all at pitch 6
        setups << [speaker](TSmarTalk &t) {
            t.setSpeakerName(short(speaker));
            t.setSpeed(6);
        };
    const QList<TUtteranceReport> r = speakInParallel(setups, u("1時間"), m_capture.path());
    QCOMPARE(r.size(), 4);
    QList<double> f0;
    for (const TUtteranceReport &x : r) {
        const Wav wav = readWav(x.capturePath);
        f0 << medianF0(wav.pcm, wav.sampleRate);
    }
    qInfo("median F0: male 1 %.0f, female 1 %.0f, male 2 %.0f, female 2 %.0f Hz", f0[0], f0[1], f0[2], f0[3]);
    QVERIFY(f0[0] > 60 && f0[2] > 60);
    QVERIFY(f0[1] > f0[0] * 1.3);
    QVERIFY(f0[3] > f0[2] * 1.3);
    QVERIFY(f0[1] > f0[2] * 1.3);
    QVERIFY(f0[3] > f0[0] * 1.3);
}

void TstSpeechEngine::pitchAndQualityMoveTheVoice()
{
    QList<std::function<void(TSmarTalk &)>> setups;
    setups << [](TSmarTalk &t) { t.setPitchForMan(1); } << [](TSmarTalk &t) { t.setPitchForMan(10); } <<
        [](TSmarTalk &t) {
            t.setPitchForWoman(1);
            t.setSpeakerName(5);
        } <<
        [](TSmarTalk &t) {
            t.setPitchForWoman(10);
            t.setSpeakerName(5);
        }
           << [](TSmarTalk &t) { t.setVoicechanger(1); } << [](TSmarTalk &t) { t.setVoicechanger(10); }
           << [](TSmarTalk &t) { t.setIntonation(1); } << [](TSmarTalk &t) { t.setIntonation(6); };
    const QList<TUtteranceReport> r = speakInParallel(setups, u("1時間23分"), m_capture.path());
    QCOMPARE(r.size(), setups.size());
    QList<double> f0, spread;
    for (const TUtteranceReport &x : r) {
        const Wav wav = readWav(x.capturePath);
        f0 << medianF0(wav.pcm, wav.sampleRate);
        spread << f0Spread(wav.pcm, wav.sampleRate);
    }
    qInfo("male pitch 1/10: %.0f/%.0f Hz; female pitch 1/10: %.0f/%.0f Hz; quality 1/10: %.0f/%.0f Hz %.0f/%.0f ms; "
          "intonation 1/6 spread %.0f/%.0f Hz",
          f0[0], f0[1], f0[2], f0[3], f0[4], f0[5], r[4].durationMs, r[5].durationMs, spread[6], spread[7]);
    QVERIFY(f0[1] > f0[0] * 1.2);
    QVERIFY(f0[3] > f0[2] * 1.2);
    QVERIFY(f0[5] > f0[4] * 1.2);
    QVERIFY(r[5].durationMs < r[4].durationMs * 0.85);
    QVERIFY(spread[7] > spread[6]);
}

void TstSpeechEngine::propertyWritesTakeEffectForTheNextUtterance()
{
    auto talk = makeTalk(QString());
    Listener l(talk.get());
    talk->setSpeed(10);
    talk->SpeakText(u("1"));
    talk->setSpeed(9);
    talk->setVolume(9);
    talk->SpeakText(u("2"));
    talk->setSpeed(8); // written while both are still waiting or speaking
    QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 2; }, 10000));
    QCOMPARE(l.reports[0].rate, 300);
    QCOMPARE(l.reports[0].volume, 50);
    QCOMPARE(l.reports[1].rate, 276);
    QCOMPARE(l.reports[1].volume, 90);
}

void TstSpeechEngine::endEventsInOrderNoSoonerThanTheAudio_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("output");
    QTest::newRow("silent output") << QString() << "silent";
    // ALSA's null device takes samples faster than real time: the engine waits it out.
    // clang-format off
    QTest::newRow("ALSA null device") << "null" << "alsa:null";
    // clang-format on
    // "default": whatever the machine has (none on build machines: the silent output).
    QTest::newRow("ALSA default") << "default" << QString();
}

void TstSpeechEngine::endEventsInOrderNoSoonerThanTheAudio()
{
    QFETCH(QString, device);
    QFETCH(QString, output);
    auto talk = makeTalk(QString());
    talk->setAudioDevice(device);
    Listener l(talk.get());
    const QStringList texts = {u("1ﾊﾞﾝ,"), u("2ﾊﾞﾝ,分01秒2"), u("3"), u("4ﾊﾞﾝ")};
    const qint64 t0 = nowNs();
    for (const QString &t : texts)
        talk->SpeakText(t);
    QCOMPARE(talk->Pending(), 4);
    QVERIFY(QTest::qWaitFor([&] { return l.events.size() == texts.size(); }, 20000));
    QTest::qWait(300); // nothing more may come
    QCOMPARE(l.events.size(), texts.size());
    QCOMPARE(talk->Pending(), 0);
    double total = 0;
    for (int i = 0; i < texts.size(); ++i) {
        const TUtteranceReport &r = l.reports[i];
        QCOMPARE(r.text, texts[i]);
        QCOMPARE(l.events[i].first, i + 1);
        QCOMPARE(l.events[i].second, i + 1 < texts.size() ? i + 2 : 0);
        if (!output.isEmpty())
            QCOMPARE(r.output, output);
        QVERIFY(r.durationMs > 100);
        // Played for no less than its duration, after the previous one ended.
        QVERIFY((r.endedNs - r.startedNs) / 1e6 >= r.durationMs - 1);
        if (i > 0)
            QVERIFY(r.startedNs >= l.reports[i - 1].endedNs);
        total += r.durationMs;
        // The event reached the GUI thread no sooner than all audio so far could be played.
        QVERIFY2((l.eventNs[i] - t0) / 1e6 >= total - 1,
                 qPrintable(QStringLiteral("%1 ms < %2 ms").arg((l.eventNs[i] - t0) / 1e6).arg(total)));
    }
    qInfo("%s: %d utterances, %.0f ms of audio, last event after %.0f ms", qPrintable(l.reports[0].output),
          int(texts.size()), total, (l.eventNs.last() - t0) / 1e6);
}

void TstSpeechEngine::emptyTextStillEnds()
{
    // The photocell window's voice test speaks an empty text before the first announcement.
    auto talk = makeTalk(m_capture.path());
    Listener l(talk.get());
    talk->SpeakText(QString());
    talk->SpeakText(u("1時間23分31秒4"));
    QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 2; }, 10000));
    QCOMPARE(l.reports[0].samples, qint64(0));
    QVERIFY(l.reports[1].samples > 0);
    QCOMPARE(l.events[0], qMakePair(1, 2));
    QCOMPARE(l.events[1], qMakePair(2, 0));
}

void TstSpeechEngine::prepareAndStartAreHarmless()
{
    auto talk = makeTalk(QString());
    Listener l(talk.get());
    // The photocell window's tick with an empty queue, then its sequence with a text,
    // then the chip-tag window's bare SpeakText.
    QCOMPARE(talk->PrepareSpeech(), short(0));
    QCOMPARE(talk->StartSpeech(), short(0));
    QTest::qWait(100);
    QCOMPARE(l.events.size(), 0);
    talk->PrepareSpeech();
    talk->setSymbolRangeSpace(true);
    talk->setNumRead(2);
    talk->SpeakText(u("1"));
    talk->StartSpeech();
    talk->SpeakText(u("2"));
    QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 2; }, 10000));
}

void TstSpeechEngine::destroyedWhileSpeaking()
{
    auto talk = makeTalk(QString(), 1);
    Listener l(talk.get());
    talk->SpeakText(u("167ﾊﾞﾝ,1時間23分31秒4")); // about 10 s at speed 1
    talk->SpeakText(u("2"));
    QTest::qWait(200);
    QElapsedTimer timer;
    timer.start();
    talk.reset();
    QVERIFY(timer.elapsed() < 1000);
    QTest::qWait(100);
    QCOMPARE(l.events.size(), 0);
}

void TstSpeechEngine::captureFolderFromTheSettingsFile()
{
    QTemporaryDir work;
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    QCOMPARE(TSmarTalk::CaptureDirFromSettings(), QString());
    QFile ini(QStringLiteral("VidadIva.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[talk]\r\nSpeaker=3\r\ncapturedir=voice\r\n");
    ini.close();
    const QString expected = QDir(QDir::currentPath()).filePath(QStringLiteral("voice"));
    QCOMPARE(TSmarTalk::CaptureDirFromSettings(), expected);
    {
        TSmarTalk talk;
        QCOMPARE(talk.CaptureDir(), expected);
        talk.setAudioDevice(QString());
        talk.setSpeed(10);
        Listener l(&talk);
        talk.SpeakText(u("1"));
        QVERIFY(QTest::qWaitFor([&] { return l.events.size() == 1; }, 10000));
        QCOMPARE(QFileInfo(l.reports[0].capturePath).absolutePath(), expected);
        QVERIFY(readWav(l.reports[0].capturePath).ok);
    }
    QVERIFY(QDir::setCurrent(old));
}

void TstSpeechEngine::latency()
{
    // From SpeakText to espeak's first sample and to the first sample handed to the output,
    // for a whole announcement (sequential, so no other control holds espeak).
    auto talk = makeTalk(QString(), 10);
    Listener l(talk.get());
    const int n = 3;
    for (int i = 0; i < n; ++i) {
        talk->SpeakText(u("167ﾊﾞﾝ,1時間23分31秒4"));
        QVERIFY(QTest::qWaitFor([&] { return l.events.size() == i + 1; }, 10000));
    }
    double first = 0, out = 0, worst = 0, synth = 0;
    for (const TUtteranceReport &r : l.reports) {
        first += r.firstSampleMs / n;
        out += r.outputMs / n;
        synth += r.synthMs / n;
        worst = std::max(worst, r.outputMs);
    }
    qInfo("latency: first espeak sample %.1f ms, first sample to the output %.1f ms (worst %.1f), whole synthesis "
          "%.1f ms for %.0f ms of audio",
          first, out, worst, synth, l.reports[0].durationMs);
    QVERIFY(worst < 500);
}

QTEST_GUILESS_MAIN(TstSpeechEngine)
#include "tst_speechengine.moc"
