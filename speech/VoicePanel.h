// The voice panel both timing windows host (pOnseiTest): speaker list, speed, volume,
// pitch, intonation and quality bars, the voice test and the reset. It keeps the saved
// voice settings (ProgramSettings) and the window's speech control St1 in step, and
// carries the speaking sequence `speak` and `setst1` that the windows use.
#pragma once

#include <QFrame>
#include <QString>

class QComboBox;
class QLabel;
class QSlider;
class TCuteButton;
class TRadioGroup;
class TSmarTalk;

class TOnseiPanel : public QFrame
{
    Q_OBJECT
public:
    // The window the panel sits in: the chip-tag window tests the voice with a fixed bib,
    // the photocell window with the last text it spoke.
    enum class TVariant { ChipTag, Photocell };

    // St1 is the window's speech control; it must outlive the panel. The panel starts
    // hidden, its controls at their design positions.
    TOnseiPanel(TSmarTalk *St1, TVariant variant, QWidget *parent = nullptr);

    // The voice switch "音声" (RGoto) with "無し" and "有り", at itemIndex. Its Click is the
    // window's to connect (voiceSwitchChipTag / voiceSwitchPhotocell do the speech part).
    static TRadioGroup *makeVoiceSwitch(int itemIndex, QWidget *parent);
    // The window's "音声パネル" button: shows the panel over the window's grids, or hides it.
    void toggle();

    // The speaking sequence: PrepareSpeech, SymbolRangeSpace and NumRead, SpeakText,
    // StartSpeech. The photocell panel remembers the text as its current speech text.
    void speak(const QString &text);
    // Applies the saved voice settings (speaker, intonation, pitches, quality) to St1.
    void setst1();

    // The photocell window's current speech text (the last text handed to SpeakText);
    // its queue stores what it speaks here too.
    QString CurrentText() const { return m_currentText; }
    void setCurrentText(const QString &text) { m_currentText = text; }

    // Chip-tag window, on show: first the speed (TB1 to 9, St1 to 9, so the saved speed
    // becomes 9), later the rest of the panel from the saved settings.
    void setChipTagSpeed();
    void loadChipTag();
    // Photocell window, on creation: the panel from the saved settings, then setst1.
    void loadPhotocell();

    // The voice switch's speech part. Chip-tag: stores Onsei; on "有り" readies St1.
    void voiceSwitchChipTag(int itemIndex);
    // Photocell (Onsei is not stored): on "有り" readies St1 and returns true, so the
    // window empties its queue and starts its timer; on "無し" returns false.
    bool voiceSwitchPhotocell(int itemIndex);

    QComboBox *CBspeaker;
    QSlider *TB1;
    QSlider *TBvol;
    QSlider *TBvoicem;
    QSlider *TBvoicew;
    QSlider *TBint;
    QSlider *TBtype;
    TCuteButton *CuteButton65;
    TCuteButton *CuteButton48;
    // Why the voice test (and every announcement) is not heard; hidden while it is.
    QLabel *lNotice;

public slots:
    void CBspeakerChange();
    void TB1Change();
    void TBvolChange();
    void TBvoicemChange();
    void TBvoicewChange();
    void TBintChange();
    void TBtypeChange();
    void CuteButton65Click();
    void CuteButton48Click();

private:
    void readyEngine();
    void loadBars();
    void syncEngine();
    void showNotice(const QString &notice);

    TSmarTalk *St1;
    TVariant m_variant;
    QString m_currentText;
};
