// The voice panel and the speaking sequence shared by both timing windows.
#include "VoicePanel.h"

#include "CuteButton.h"
#include "Dialogs.h"
#include "NoticeLine.h"
#include "SpeechEngine.h"
#include "RadioGroup.h"
#include "ProgramSettings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include <algorithm>

namespace
{

QSlider *makeBar(QWidget *parent, const char *name, int maximum, int position, int row, const QString &caption,
                 QGridLayout *grid)
{
    auto *bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(QLatin1String(name));
    bar->setRange(1, maximum);
    bar->setPageStep(1);
    bar->setSingleStep(1);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(1);
    bar->setValue(position);
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QStringLiteral("L") + QLatin1String(name));
    label->setBuddy(bar);
    grid->addWidget(label, row, 0);
    grid->addWidget(bar, row, 1);
    return bar;
}

} // namespace

TOnseiPanel::TOnseiPanel(TSmarTalk *st1, TVariant variant, QWidget *parent)
    : QFrame(parent), St1(st1), m_variant(variant)
{
    setObjectName(QStringLiteral("pOnseiTest"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    auto *grid = new QGridLayout(this);

    CBspeaker = new QComboBox(this);
    CBspeaker->setObjectName(QStringLiteral("CBspeaker"));
    CBspeaker->addItems({QStringLiteral("男性１&女性１"), QStringLiteral("男性１"), QStringLiteral("女性１"),
                         QStringLiteral("男性２"), QStringLiteral("女性２")});
    CBspeaker->setCurrentIndex(0);
    auto *speakerLabel = new QLabel(QStringLiteral("声質"), this);
    speakerLabel->setObjectName(QStringLiteral("LCBspeaker"));
    speakerLabel->setBuddy(CBspeaker);
    grid->addWidget(speakerLabel, 0, 0);
    grid->addWidget(CBspeaker, 0, 1);

    TB1 = makeBar(this, "TB1", 10, 10, 1, QStringLiteral("読み上げ速度"), grid);
    TBvol = makeBar(this, "TBvol", 10, 1, 2, QStringLiteral("ボリューム"), grid);
    TBvoicem = makeBar(this, "TBvoicem", 10, 1, 3, QStringLiteral("高低（男性）"), grid);
    TBvoicew = makeBar(this, "TBvoicew", 10, 1, 4, QStringLiteral("高低（女性）"), grid);
    TBint = makeBar(this, "TBint", 6, 1, 5, QStringLiteral("抑揚"), grid);
    TBtype = makeBar(this, "TBtype", 10, 1, 6, QStringLiteral("声質"), grid);

    CuteButton65 = new TCuteButton(this);
    CuteButton65->setObjectName(QStringLiteral("CuteButton65"));
    CuteButton65->setCaption(QStringLiteral("音声テスト"));
    CuteButton48 = new TCuteButton(this);
    CuteButton48->setObjectName(QStringLiteral("CuteButton48"));
    CuteButton48->setCaption(QStringLiteral("初期化"));
    grid->addWidget(CuteButton65, 7, 0);
    grid->addWidget(CuteButton48, 7, 1, Qt::AlignRight);

    lNotice = MakeNoticeLine(QStringLiteral("lNotice"), this);
    lNotice->setWordWrap(true);
    grid->addWidget(lNotice, 8, 0, 1, 2);
    showNotice(St1->OutputNotice());
    connect(St1, &TSmarTalk::OutputNoticeChanged, this, &TOnseiPanel::showNotice);

    // The list's handler runs for the operator's choice only (activated); a program
    // change of the item runs none. A bar's handler runs on every change of its position,
    // by the operator or by the program, after the bar has clamped the value to its range.
    connect(CBspeaker, &QComboBox::activated, this, [this] { RunHandler([this] { CBspeakerChange(); }); });
    connect(TB1, &QSlider::valueChanged, this, [this] { RunHandler([this] { TB1Change(); }); });
    connect(TBvol, &QSlider::valueChanged, this, [this] { RunHandler([this] { TBvolChange(); }); });
    connect(TBvoicem, &QSlider::valueChanged, this, [this] { RunHandler([this] { TBvoicemChange(); }); });
    connect(TBvoicew, &QSlider::valueChanged, this, [this] { RunHandler([this] { TBvoicewChange(); }); });
    connect(TBint, &QSlider::valueChanged, this, [this] { RunHandler([this] { TBintChange(); }); });
    connect(TBtype, &QSlider::valueChanged, this, [this] { RunHandler([this] { TBtypeChange(); }); });
    connect(CuteButton65, &QAbstractButton::clicked, this, [this] { RunHandler([this] { CuteButton65Click(); }); });
    connect(CuteButton48, &QAbstractButton::clicked, this, [this] { RunHandler([this] { CuteButton48Click(); }); });

    hide();
}

TRadioGroup *TOnseiPanel::makeVoiceSwitch(int itemIndex, QWidget *parent)
{
    auto *group = new TRadioGroup(QStringLiteral("音声"), {QStringLiteral("無し"), QStringLiteral("有り")}, parent);
    group->setObjectName(QStringLiteral("RGoto"));
    group->setItemIndex(itemIndex);
    return group;
}

void TOnseiPanel::toggle()
{
    setVisible(!isVisible());
    if (isVisible())
        raise();
}

void TOnseiPanel::readyEngine()
{
    St1->PrepareSpeech();
    St1->setSymbolRangeSpace(true);
    St1->setNumRead(2);
}

void TOnseiPanel::speak(const QString &text)
{
    if (m_variant == TVariant::Photocell)
        m_currentText = text;
    readyEngine();
    St1->SpeakText(text);
    St1->StartSpeech();
}

void TOnseiPanel::setst1()
{
    St1->StartSpeech();
    St1->PrepareSpeech();
    St1->setSymbolRangeSpace(true);
    St1->setNumRead(2);
    St1->setVoicechanger(short(ProgramSettings.Voicetype));
    St1->setSpeakerName(short(ProgramSettings.Speaker + 1));
    St1->setIntonation(short(ProgramSettings.Voiceint));
    St1->setPitchForWoman(short(ProgramSettings.Voicew));
    St1->setPitchForMan(short(ProgramSettings.Voicem));
}

void TOnseiPanel::CBspeakerChange()
{
    ProgramSettings.Speaker = CBspeaker->currentIndex();
    St1->setSpeakerName(short(ProgramSettings.Speaker + 1));
    setst1();
}

void TOnseiPanel::TB1Change()
{
    St1->setSpeed(short(TB1->value()));
    ProgramSettings.Speed = TB1->value();
}

void TOnseiPanel::TBvolChange()
{
    ProgramSettings.Vol = TBvol->value();
    St1->setVolume(short(ProgramSettings.Vol));
}

void TOnseiPanel::TBvoicemChange()
{
    ProgramSettings.Voicem = TBvoicem->value();
    setst1();
}

void TOnseiPanel::TBvoicewChange()
{
    ProgramSettings.Voicew = TBvoicew->value();
    setst1();
}

void TOnseiPanel::TBintChange()
{
    ProgramSettings.Voiceint = TBint->value();
    setst1();
}

void TOnseiPanel::TBtypeChange()
{
    ProgramSettings.Voicetype = TBtype->value();
    setst1();
}

void TOnseiPanel::showNotice(const QString &notice)
{
    ShowNotice(lNotice, notice);
    // The panel is placed by hand over the window's grids, not by a layout: it grows and
    // shrinks with the notice itself, so a notice is never cut at the panel's edge.
    adjustSize();
}

void TOnseiPanel::CuteButton65Click()
{
    if (m_variant == TVariant::ChipTag)
        speak(QStringLiteral("167ﾊﾞﾝ "));
    else
        speak(m_currentText);
    speak(QStringLiteral("1時間23分31秒4"));
}

void TOnseiPanel::CuteButton48Click()
{
    ProgramSettings.Vol = 10; // not the settings file's default of 5
    ProgramSettings.Speaker = 3;
    ProgramSettings.Voicem = 6;
    ProgramSettings.Voicew = 6;
    ProgramSettings.Voiceint = 5;
    ProgramSettings.Voicetype = 5;
    ProgramSettings.Speed = 6;
    CBspeaker->setCurrentIndex(3);
    TBvol->setValue(ProgramSettings.Vol);
    TBvoicem->setValue(ProgramSettings.Voicem);
    TBvoicew->setValue(ProgramSettings.Voicew);
    TBint->setValue(ProgramSettings.Voiceint);
    TBtype->setValue(ProgramSettings.Voicetype);
    TB1->setValue(ProgramSettings.Speed);
    syncEngine();
    setst1();
}

void TOnseiPanel::setChipTagSpeed()
{
    TB1->setValue(9);
    St1->setSpeed(9);
}

void TOnseiPanel::loadBars()
{
    // A saved speaker outside the list shows the nearest item (the engine takes the
    // nearest speaker for such a value too); the saved value itself is left alone.
    CBspeaker->setCurrentIndex(std::clamp(ProgramSettings.Speaker, 0, CBspeaker->count() - 1));
    TB1->setValue(ProgramSettings.Speed);
    TBvol->setValue(ProgramSettings.Vol);
    TBvoicem->setValue(ProgramSettings.Voicem);
    TBvoicew->setValue(ProgramSettings.Voicew);
    TBint->setValue(ProgramSettings.Voiceint);
    TBtype->setValue(ProgramSettings.Voicetype);
}

// A bar whose saved value equals its position does not run its handler, so the engine
// would keep its own start values for speed and volume (and, in the chip-tag window,
// for the whole voice): set them from what the panel shows, so the voice heard is the
// voice shown.
void TOnseiPanel::syncEngine()
{
    St1->setSpeed(short(TB1->value()));
    St1->setVolume(short(TBvol->value()));
    St1->setVoicechanger(short(ProgramSettings.Voicetype));
    St1->setSpeakerName(short(ProgramSettings.Speaker + 1));
    St1->setIntonation(short(ProgramSettings.Voiceint));
    St1->setPitchForWoman(short(ProgramSettings.Voicew));
    St1->setPitchForMan(short(ProgramSettings.Voicem));
}

void TOnseiPanel::loadChipTag()
{
    St1->StartSpeech();
    readyEngine();
    loadBars();
    syncEngine();
    hide();
}

void TOnseiPanel::loadPhotocell()
{
    loadBars();
    syncEngine();
    setst1();
}

void TOnseiPanel::voiceSwitchChipTag(int itemIndex)
{
    ProgramSettings.Onsei = itemIndex;
    if (itemIndex == 1)
        readyEngine();
}

bool TOnseiPanel::voiceSwitchPhotocell(int itemIndex)
{
    if (itemIndex != 1)
        return false;
    readyEngine();
    return true;
}
