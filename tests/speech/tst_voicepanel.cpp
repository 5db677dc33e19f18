// The voice panel with a real engine: the speaker list, the bars (run by the program
// too, clamped), the reset, the voice test of each window, the chip-tag speed on show and
// the voice switch. A recording control logs every property write and method call the
// panel makes, in order, and still speaks.
#include "CuteButton.h"
#include "VoicePanel.h"
#include "SpeechEngine.h"
#include "RadioGroup.h"
#include "ProgramSettings.h"

#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QtTest>

namespace
{

QString u(const char *s)
{
    return QString::fromUtf8(s);
}

class TRecordingSmarTalk : public TSmarTalk
{
public:
    TRecordingSmarTalk()
    {
        setAudioDevice(QString());
        setCaptureDir(QString());
        connect(this, &TSmarTalk::UtteranceDone, this, [this](const TUtteranceReport &r) { reports << r; });
    }
    QStringList calls;
    QList<TUtteranceReport> reports;

    void setNumRead(short v) override { log("NumRead", v), TSmarTalk::setNumRead(v); }
    void setVolume(short v) override { log("Volume", v), TSmarTalk::setVolume(v); }
    void setPitchForMan(short v) override { log("PitchForMan", v), TSmarTalk::setPitchForMan(v); }
    void setPitchForWoman(short v) override { log("PitchForWoman", v), TSmarTalk::setPitchForWoman(v); }
    void setSpeed(short v) override { log("Speed", v), TSmarTalk::setSpeed(v); }
    void setIntonation(short v) override { log("Intonation", v), TSmarTalk::setIntonation(v); }
    void setSymbolRangeSpace(bool v) override
    {
        log("SymbolRangeSpace", v ? -1 : 0), TSmarTalk::setSymbolRangeSpace(v);
    }
    void setSpeakerName(short v) override { log("SpeakerName", v), TSmarTalk::setSpeakerName(v); }
    void setVoicechanger(short v) override { log("Voicechanger", v), TSmarTalk::setVoicechanger(v); }
    short SpeakText(const QString &text) override
    {
        calls << QStringLiteral("SpeakText ") + text;
        return TSmarTalk::SpeakText(text);
    }
    short PrepareSpeech() override
    {
        calls << QStringLiteral("PrepareSpeech");
        return TSmarTalk::PrepareSpeech();
    }
    short StartSpeech() override
    {
        calls << QStringLiteral("StartSpeech");
        return TSmarTalk::StartSpeech();
    }

private:
    void log(const char *name, int v) { calls << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(v); }
};

const QStringList kSetst1 = {"StartSpeech",   "PrepareSpeech",    "SymbolRangeSpace=-1",
                             "NumRead=2",     "Voicechanger=%1",  "SpeakerName=%2",
                             "Intonation=%3", "PitchForWoman=%4", "PitchForMan=%5"};

QStringList setst1Calls(int type, int speakerName, int intonation, int woman, int man)
{
    QStringList c = kSetst1;
    c[4] = c[4].arg(type);
    c[5] = c[5].arg(speakerName);
    c[6] = c[6].arg(intonation);
    c[7] = c[7].arg(woman);
    c[8] = c[8].arg(man);
    return c;
}

QStringList speakCalls(const QString &text)
{
    return {"PrepareSpeech", "SymbolRangeSpace=-1", "NumRead=2", "SpeakText " + text, "StartSpeech"};
}

} // namespace

class TstVoicePanel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void designPositionsAndNames();
    void choosingASpeaker();
    void barsStoreAndApply_data();
    void barsStoreAndApply();
    void savedValuesOutsideABarAreClamped_data();
    void savedValuesOutsideABarAreClamped();
    void resetGivesTheStationVoice();
    void chipTagShowForcesSpeedNine();
    void photocellOpenedFirstKeepsTheSavedSpeed();
    void loadedVoiceIsTheVoiceHeard();
    void chipTagVoiceTest();
    void photocellVoiceTestRepeatsTheLastText();
    void chipTagVoiceSwitch();
    void photocellVoiceSwitch();
};

void TstVoicePanel::init()
{
    ProgramSettings = TProgramSettings();
}

void TstVoicePanel::designPositionsAndNames()
{
    TRecordingSmarTalk st1;
    QWidget window;
    // The names of the panel, the list and the buttons, and the buttons' captions, are in
    // tst_forms.
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::ChipTag, &window);
    QVERIFY(panel.isHidden());
    QCOMPARE(panel.CBspeaker->currentIndex(), 0);
    QCOMPARE(panel.CBspeaker->count(), 5);
    QCOMPARE(panel.CBspeaker->itemText(4), u("女性２"));
    struct Bar {
        const char *name;
        int max, position;
    } bars[] = {{"TB1", 10, 10},     {"TBvol", 10, 1}, {"TBvoicem", 10, 1},
                {"TBvoicew", 10, 1}, {"TBint", 6, 1},  {"TBtype", 10, 1}};
    for (const Bar &b : bars) {
        auto *bar = panel.findChild<QSlider *>(QLatin1String(b.name));
        QVERIFY2(bar, b.name);
        QCOMPARE(bar->minimum(), 1);
        QCOMPARE(bar->maximum(), b.max);
        QCOMPARE(bar->value(), b.position);
    }
    QVERIFY(st1.calls.isEmpty()); // building the panel speaks to no engine
}

void TstVoicePanel::choosingASpeaker()
{
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::Photocell);
    panel.show();
    // The operator picks "女性２" from the list.
    panel.CBspeaker->setFocus();
    panel.CBspeaker->setCurrentIndex(4);
    emit panel.CBspeaker->activated(4);
    QCOMPARE(ProgramSettings.Speaker, 4);
    QCOMPARE(st1.SpeakerName(), short(5));
    QCOMPARE(st1.calls, QStringList{"SpeakerName=5"} + setst1Calls(5, 5, 5, 6, 6));
    // A program change of the item runs no handler.
    st1.calls.clear();
    panel.CBspeaker->setCurrentIndex(1);
    QCOMPARE(ProgramSettings.Speaker, 4);
    QVERIFY(st1.calls.isEmpty());
}

void TstVoicePanel::barsStoreAndApply_data()
{
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("speed") << "TB1" << 3 << QStringList{"Speed=3"};
    QTest::newRow("volume") << "TBvol" << 8 << QStringList{"Volume=8"};
    QTest::newRow("male pitch") << "TBvoicem" << 2 << setst1Calls(5, 4, 5, 6, 2);
    QTest::newRow("female pitch") << "TBvoicew" << 9 << setst1Calls(5, 4, 5, 9, 6);
    QTest::newRow("intonation") << "TBint" << 4 << setst1Calls(5, 4, 4, 6, 6);
    QTest::newRow("quality") << "TBtype" << 7 << setst1Calls(7, 4, 5, 6, 6);
}

void TstVoicePanel::barsStoreAndApply()
{
    QFETCH(QString, bar);
    QFETCH(int, position);
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::ChipTag);
    auto *slider = panel.findChild<QSlider *>(bar);
    slider->setValue(position);
    QTEST(st1.calls, "calls");
    auto saved = [&bar] {
        const QMap<QString, int> values = {{"TB1", ProgramSettings.Speed},       {"TBvol", ProgramSettings.Vol},
                                           {"TBvoicem", ProgramSettings.Voicem}, {"TBvoicew", ProgramSettings.Voicew},
                                           {"TBint", ProgramSettings.Voiceint},  {"TBtype", ProgramSettings.Voicetype}};
        return values.value(bar);
    };
    QCOMPARE(saved(), position);
    // The operator's key moves the bar one step, through the same handler.
    st1.calls.clear();
    QTest::keyClick(slider, Qt::Key_Left);
    QCOMPARE(slider->value(), position - 1);
    QCOMPARE(saved(), position - 1);
    QCOMPARE(st1.calls.size(),
             QTest::currentDataTag() == QByteArray("speed") || QTest::currentDataTag() == QByteArray("volume") ? 1 : 9);
}

void TstVoicePanel::savedValuesOutsideABarAreClamped_data()
{
    QTest::addColumn<bool>("chipTag");
    QTest::newRow("chip-tag window") << true;
    QTest::newRow("photocell window") << false;
}

void TstVoicePanel::savedValuesOutsideABarAreClamped()
{
    QFETCH(bool, chipTag);
    ProgramSettings.Voiceint = 7;
    ProgramSettings.Vol = 0;
    ProgramSettings.Voicetype = 12;
    ProgramSettings.Speaker = 9;
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, chipTag ? TOnseiPanel::TVariant::ChipTag : TOnseiPanel::TVariant::Photocell);
    if (chipTag) {
        panel.setChipTagSpeed();
        panel.loadChipTag();
    } else {
        panel.loadPhotocell();
    }
    QCOMPARE(panel.TBint->value(), 6);
    QCOMPARE(ProgramSettings.Voiceint, 6);
    QCOMPARE(st1.Intonation(), short(6));
    QCOMPARE(panel.TBtype->value(), 10);
    QCOMPARE(ProgramSettings.Voicetype, 10);
    QCOMPARE(st1.Voicechanger(), short(10));
    // Volume 0 shows as 1, the bar's design position: no handler runs, yet the engine
    // speaks at the volume shown.
    QCOMPARE(panel.TBvol->value(), 1);
    QCOMPARE(st1.Volume(), short(1));
    QCOMPARE(panel.CBspeaker->currentIndex(), 4);
}

void TstVoicePanel::resetGivesTheStationVoice()
{
    ProgramSettings.Vol = 3;
    ProgramSettings.Speaker = 0;
    ProgramSettings.Voicem = 1;
    ProgramSettings.Voicew = 10;
    ProgramSettings.Voiceint = 2;
    ProgramSettings.Voicetype = 9;
    ProgramSettings.Speed = 6; // TB1 already there after loading: no handler, still speed 6
    TRecordingSmarTalk st1;
    QWidget window;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::ChipTag, &window);
    panel.setChipTagSpeed();
    panel.loadChipTag();
    window.show();
    panel.show();
    QTest::mouseClick(panel.CuteButton48, Qt::LeftButton);
    QCOMPARE(ProgramSettings.Vol, 10);
    QCOMPARE(ProgramSettings.Speaker, 3);
    QCOMPARE(ProgramSettings.Speed, 6);
    QCOMPARE(ProgramSettings.Voicem, 6);
    QCOMPARE(ProgramSettings.Voicew, 6);
    QCOMPARE(ProgramSettings.Voiceint, 5);
    QCOMPARE(ProgramSettings.Voicetype, 5);
    QCOMPARE(panel.CBspeaker->currentText(), u("男性２"));
    QCOMPARE(panel.TB1->value(), 6);
    QCOMPARE(panel.TBvol->value(), 10);
    QCOMPARE(st1.Volume(), short(10));
    QCOMPARE(st1.SpeakerName(), short(4));
    QCOMPARE(st1.Speed(), short(6));
    QCOMPARE(st1.PitchForMan(), short(6));
    QCOMPARE(st1.PitchForWoman(), short(6));
    QCOMPARE(st1.Intonation(), short(5));
    QCOMPARE(st1.Voicechanger(), short(5));
    QCOMPARE(st1.calls.mid(st1.calls.size() - 9), setst1Calls(5, 4, 5, 6, 6));
}

void TstVoicePanel::chipTagShowForcesSpeedNine()
{
    ProgramSettings.Speed = 4;
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::ChipTag);
    panel.setChipTagSpeed();
    QCOMPARE(st1.calls, QStringList({"Speed=9", "Speed=9"}));
    QCOMPARE(ProgramSettings.Speed, 9);
    st1.calls.clear();
    panel.loadChipTag();
    QCOMPARE(st1.calls.mid(0, 4), QStringList({"StartSpeech", "PrepareSpeech", "SymbolRangeSpace=-1", "NumRead=2"}));
    QCOMPARE(panel.TB1->value(), 9);
    QCOMPARE(st1.Speed(), short(9));
    QCOMPARE(ProgramSettings.Speed, 9);
    QVERIFY(panel.isHidden());
}

void TstVoicePanel::photocellOpenedFirstKeepsTheSavedSpeed()
{
    ProgramSettings.Speed = 4;
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::Photocell);
    panel.loadPhotocell();
    QCOMPARE(panel.TB1->value(), 4);
    QCOMPARE(st1.Speed(), short(4));
    QCOMPARE(ProgramSettings.Speed, 4);
    QCOMPARE(st1.calls.mid(st1.calls.size() - 9), setst1Calls(5, 4, 5, 6, 6));
}

void TstVoicePanel::loadedVoiceIsTheVoiceHeard()
{
    // Female 2 at pitch 9, speed 10, volume 10, quality 6: what espeak gets.
    ProgramSettings.Speaker = 4;
    ProgramSettings.Voicew = 9;
    ProgramSettings.Speed = 10;
    ProgramSettings.Vol = 10;
    ProgramSettings.Voicetype = 6;
    ProgramSettings.Voiceint = 3;
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::Photocell);
    panel.loadPhotocell();
    panel.speak(u("1"));
    QVERIFY(QTest::qWaitFor([&] { return st1.reports.size() == 1; }, 10000));
    const TUtteranceReport &r = st1.reports.first();
    QCOMPARE(r.voices, QStringList{"jpx/ja+f2"});
    QCOMPARE(r.pitch, 89);
    QCOMPARE(r.rate, 300);
    QCOMPARE(r.volume, 100);
    QCOMPARE(r.range, 40);
    QVERIFY(qAbs(r.qualityFactor - 1.03) < 0.001);
}

void TstVoicePanel::chipTagVoiceTest()
{
    ProgramSettings.Speed = 10;
    TRecordingSmarTalk st1;
    QSignalSpy ends(&st1, &TSmarTalk::OnEVOUTEND);
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::ChipTag);
    panel.loadChipTag();
    panel.show();
    st1.calls.clear();
    QVERIFY(!panel.lNotice->isVisible());
    QTest::mouseClick(panel.CuteButton65, Qt::LeftButton);
    QCOMPARE(st1.calls, speakCalls(u("167ﾊﾞﾝ ")) + speakCalls(u("1時間23分31秒4")));
    QVERIFY(QTest::qWaitFor([&] { return ends.size() == 2; }, 15000));
    // Spoken without a device: the panel says the test was not heard.
    QVERIFY(panel.lNotice->isVisible());
    QCOMPARE(panel.lNotice->text(), TSmarTalk::NoDeviceNotice(false));
    QCOMPARE(st1.reports[0].kana, u("ひゃくろくじゅうななばん"));
    QCOMPARE(st1.reports[1].kana, u("いちじかん にじゅうさんぷん さんじゅういちびょー よん"));
    QVERIFY(st1.reports[0].samples > 0 && st1.reports[1].samples > 0);
}

void TstVoicePanel::photocellVoiceTestRepeatsTheLastText()
{
    ProgramSettings.Speed = 10;
    TRecordingSmarTalk st1;
    QSignalSpy ends(&st1, &TSmarTalk::OnEVOUTEND);
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::Photocell);
    panel.loadPhotocell();
    st1.calls.clear();
    panel.CuteButton65Click(); // before any announcement: an empty text first
    QCOMPARE(st1.calls, speakCalls(QString()) + speakCalls(u("1時間23分31秒4")));
    panel.speak(u("12ﾊﾞﾝ,15分07秒1"));
    QCOMPARE(panel.CurrentText(), u("12ﾊﾞﾝ,15分07秒1"));
    st1.calls.clear();
    panel.CuteButton65Click();
    QCOMPARE(st1.calls, speakCalls(u("12ﾊﾞﾝ,15分07秒1")) + speakCalls(u("1時間23分31秒4")));
    QVERIFY(QTest::qWaitFor([&] { return ends.size() == 5; }, 20000));
    QCOMPARE(st1.reports[0].samples, qint64(0));
    QCOMPARE(st1.reports[3].text, u("12ﾊﾞﾝ,15分07秒1"));
}

void TstVoicePanel::chipTagVoiceSwitch()
{
    ProgramSettings.Onsei = 1;
    TRecordingSmarTalk st1;
    QWidget window;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::ChipTag, &window);
    TRadioGroup *rgoto = TOnseiPanel::makeVoiceSwitch(1, &window);
    QCOMPARE(rgoto->objectName(), QStringLiteral("RGoto"));
    QCOMPARE(rgoto->Items(), QStringList({u("無し"), u("有り")}));
    connect(rgoto, &TRadioGroup::Click, &panel, [&] { panel.voiceSwitchChipTag(rgoto->ItemIndex()); });
    rgoto->setItemIndex(0);
    QCOMPARE(ProgramSettings.Onsei, 0);
    QVERIFY(st1.calls.isEmpty());
    rgoto->setItemIndex(1);
    QCOMPARE(ProgramSettings.Onsei, 1);
    QCOMPARE(st1.calls, QStringList({"PrepareSpeech", "SymbolRangeSpace=-1", "NumRead=2"}));
}

void TstVoicePanel::photocellVoiceSwitch()
{
    ProgramSettings.Onsei = 1;
    TRecordingSmarTalk st1;
    TOnseiPanel panel(&st1, TOnseiPanel::TVariant::Photocell);
    QVERIFY(panel.voiceSwitchPhotocell(1));
    QCOMPARE(st1.calls, QStringList({"PrepareSpeech", "SymbolRangeSpace=-1", "NumRead=2"}));
    st1.calls.clear();
    QVERIFY(!panel.voiceSwitchPhotocell(0));
    QVERIFY(st1.calls.isEmpty());
    QCOMPARE(ProgramSettings.Onsei, 1); // the photocell window does not store the switch
}

QTEST_MAIN(TstVoicePanel)
#include "tst_voicepanel.moc"
