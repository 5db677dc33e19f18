// TSmarTalk: the speech control both timing windows speak through (the class keeps the
// name of the control it stands in for). It is our own engine: the Japanese reading
// front-end (JapaneseReading.h), libespeak-ng's Japanese voice on one worker thread, and
// the audio output (AudioOutput.h) with an optional capture folder of WAV files.
//
// Use it from the GUI thread only. The properties and methods are virtual so that a test
// can record the calls a window makes, in order, around the real engine. Property writes take effect for the next
// utterance (each SpeakText takes a snapshot of them). OnEVOUTEND comes on the GUI thread exactly once per SpeakText,
// in order, when that utterance's audio has finished playing.
#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// What became of one utterance: reported with UtteranceDone just before OnEVOUTEND.
struct TUtteranceReport {
    int top = 0;        // the utterance's number (1, 2, ... per control)
    QString text;       // as handed to SpeakText
    QString kana;       // the front-end's reading
    QStringList voices; // espeak voice identifiers used ("jpx/ja+m1")
    int rate = 0;       // espeak's settings read back after setting them
    int volume = 0;
    int pitch = 0;
    int range = 0;
    double qualityFactor = 1.0; // the voice quality's resampling factor
    int sampleRate = 0;
    qint64 samples = 0;       // PCM samples played (after resampling)
    double durationMs = 0;    // samples / sampleRate
    int peak = 0;             // largest absolute sample
    double rms = 0;           // root mean square of the samples
    QString capturePath;      // the WAV file, empty without a capture folder
    QString output;           // "alsa:default" or "silent"
    QString error;            // empty when all went well
    double synthMs = 0;       // time espeak took for the whole utterance
    double firstSampleMs = 0; // SpeakText to espeak's first PCM sample
    double outputMs = 0;      // SpeakText to the first sample handed to the output
    qint64 requestedNs = 0;   // steady-clock times (ns): SpeakText, playback start and end
    qint64 startedNs = 0;
    qint64 endedNs = 0;
};
Q_DECLARE_METATYPE(TUtteranceReport)

class QTimer;
class TSmarTalkWorker;

class TSmarTalk : public QObject
{
    Q_OBJECT
    Q_PROPERTY(short NumRead READ NumRead WRITE setNumRead)
    Q_PROPERTY(short Volume READ Volume WRITE setVolume)
    Q_PROPERTY(short PitchForMan READ PitchForMan WRITE setPitchForMan)
    Q_PROPERTY(short PitchForWoman READ PitchForWoman WRITE setPitchForWoman)
    Q_PROPERTY(short Speed READ Speed WRITE setSpeed)
    Q_PROPERTY(short Intonation READ Intonation WRITE setIntonation)
    Q_PROPERTY(bool SymbolRangeSpace READ SymbolRangeSpace WRITE setSymbolRangeSpace)
    Q_PROPERTY(short SpeakerName READ SpeakerName WRITE setSpeakerName)
    Q_PROPERTY(short Voicechanger READ Voicechanger WRITE setVoicechanger)
    Q_PROPERTY(QString CaptureDir READ CaptureDir WRITE setCaptureDir)
    Q_PROPERTY(QString AudioDevice READ AudioDevice WRITE setAudioDevice)
public:
    // Starts the worker thread. CaptureDir starts as the settings file's [Talk] CaptureDir
    // (CaptureDirFromSettings); AudioDevice as "default".
    explicit TSmarTalk(QObject *parent = nullptr);
    // Stops at once: the utterance playing is cut, queued ones are dropped, no more events.
    ~TSmarTalk() override;

    // The voice properties (16-bit values as the control keeps them).
    // NumRead: 1 reads numbers digit by digit, any other value (the program gives 2) by value.
    short NumRead() const { return m_numRead; }
    virtual void setNumRead(short v) { m_numRead = v; }
    // Volume 1..10 (clamped when used).
    short Volume() const { return m_volume; }
    virtual void setVolume(short v) { m_volume = v; }
    // Pitch 1..10 of the male voices and of the female voices.
    short PitchForMan() const { return m_pitchForMan; }
    virtual void setPitchForMan(short v) { m_pitchForMan = v; }
    short PitchForWoman() const { return m_pitchForWoman; }
    virtual void setPitchForWoman(short v) { m_pitchForWoman = v; }
    // Reading speed 1..10.
    short Speed() const { return m_speed; }
    virtual void setSpeed(short v) { m_speed = v; }
    // Intonation 1..6.
    short Intonation() const { return m_intonation; }
    virtual void setIntonation(short v) { m_intonation = v; }
    // Kept for the program's sake; blanks always part words in this engine.
    bool SymbolRangeSpace() const { return m_symbolRangeSpace; }
    virtual void setSymbolRangeSpace(bool v) { m_symbolRangeSpace = v; }
    // Speaker 1..5: 1 male 1 & female 1, 2 male 1, 3 female 1, 4 male 2, 5 female 2.
    short SpeakerName() const { return m_speakerName; }
    virtual void setSpeakerName(short v) { m_speakerName = v; }
    // Voice quality 1..10 (5 = the voice as espeak makes it).
    short Voicechanger() const { return m_voicechanger; }
    virtual void setVoicechanger(short v) { m_voicechanger = v; }

    // Folder receiving every utterance as a WAV file; empty for none. Created when needed.
    QString CaptureDir() const { return m_captureDir; }
    void setCaptureDir(const QString &dir) { m_captureDir = dir; }
    // ALSA PCM name; empty forces the silent output. A device that does not open gives
    // the silent output for that utterance (and is tried again for the next).
    QString AudioDevice() const { return m_audioDevice; }
    void setAudioDevice(const QString &device) { m_audioDevice = device; }

    // Queues text (plain station text, e.g. "167ﾊﾞﾝ,1時間23分31秒4") for speaking with the
    // current properties. Returns 0.
    virtual short SpeakText(const QString &text);
    // No data, and nothing to do: the worker runs from construction to destruction and
    // speaks each text as SpeakText hands it over, so texts handed over before or after
    // these are spoken all the same. Both return 0.
    virtual short PrepareSpeech();
    virtual short StartSpeech();

    // Utterances handed over whose OnEVOUTEND has not come yet.
    int Pending() const { return m_queued.size(); }

    // Why announcements are not heard, in words for the operator; empty while they are
    // played on the audio device. Set when an utterance (or CheckOutput) finds no device
    // open, so the utterance went to the silent output (and the capture folder, if set),
    // or finds the Japanese voice unusable. While it is set, the device and the voice are
    // tried again every RecheckMs without speaking, so it clears soon after they work.
    QString OutputNotice() const { return m_notice; }
    // Tries the audio device and the Japanese voice now, speaking nothing; the outcome
    // sets OutputNotice. Raises no OnEVOUTEND.
    void CheckOutput();
    static constexpr int RecheckMs = 5000;
    static QString NoDeviceNotice(bool capturing);
    static QString NoVoiceNotice();

    // The capture folder named by the settings file "VidadIva.ini" of the current working
    // folder: key CaptureDir of section [Talk]. A relative path is taken from that folder.
    // Empty when the file or key is missing.
    static QString CaptureDirFromSettings();

signals:
    // The utterance numbered top has finished playing; nexttop is the number of the next
    // one waiting, 0 when none.
    void OnEVOUTEND(int top, int nexttop);
    // Everything measured about the utterance, just before its OnEVOUTEND.
    void UtteranceDone(const TUtteranceReport &report);
    // OutputNotice changed (empty: announcements are heard again).
    void OutputNoticeChanged(const QString &notice);

private:
    friend class TSmarTalkWorker;
    void finished(const TUtteranceReport &report);
    void probed(const TUtteranceReport &report);
    // The notice an utterance's (or a check's) report calls for; none when it tells
    // nothing about the output, as an empty text does.
    std::optional<QString> noticeFor(const TUtteranceReport &report, bool check) const;
    void setNotice(const std::optional<QString> &notice);

    short m_numRead = 2;
    short m_volume = 5;
    short m_pitchForMan = 6;
    short m_pitchForWoman = 6;
    short m_speed = 6;
    short m_intonation = 5;
    bool m_symbolRangeSpace = true;
    short m_speakerName = 4;
    short m_voicechanger = 5;
    QString m_captureDir;
    QString m_audioDevice = QStringLiteral("default");

    QString m_notice;
    QTimer *m_recheck = nullptr;
    bool m_checking = false;

    int m_nextTop = 1;
    QList<int> m_queued;
    std::unique_ptr<TSmarTalkWorker> m_worker;
};
