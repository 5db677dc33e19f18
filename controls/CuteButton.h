// TCuteButton: the station's push button. A flat button painted entirely by itself whose
// outer bevel follows the mouse and the focus (none when idle, raised under the mouse or
// when focused, lowered while pressed), with its own bevel and disabled colours, an
// optional drop-down menu that can open after a hold delay, and an option that swallows
// clicks arriving while the previous click's handler still runs.
//
// It is a QAbstractButton, so focus, mnemonics ("&" in the caption) and the accessibility
// layer treat it as any push button (role Button, named by its caption, "Press" action).
// The click handler is the `clicked` signal. Every click route (mouse, space, Enter,
// accelerator, the accessible press action, `click()` on a TCuteButton) goes through
// `Click()`, which applies `EgnoreContClick` and the drop-down's click suppression. The
// second press of a double click does not click again: a double click is one click.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QMenu>
#include <QPointer>
#include <QTimer>

class TCuteButton;

// The delayed drop-down's timer: a plain timer that knows its button.
class TCuteButtonTimer : public QTimer
{
    Q_OBJECT
public:
    explicit TCuteButtonTimer(TCuteButton *button);
    TCuteButton *Button;
};

class TCuteButton : public QAbstractButton
{
    Q_OBJECT
    // Own properties.
    Q_PROPERTY(QColor BevelHighlightColor READ BevelHighlightColor WRITE setBevelHighlightColor)
    Q_PROPERTY(QColor BevelShadowColor READ BevelShadowColor WRITE setBevelShadowColor)
    Q_PROPERTY(QColor DisabledColor READ DisabledColor WRITE setDisabledColor)
    Q_PROPERTY(bool UseDisabledColor READ UseDisabledColor WRITE setUseDisabledColor)
    Q_PROPERTY(QMenu *DropDownMenu READ DropDownMenu WRITE setDropDownMenu)
    Q_PROPERTY(int DropDownDelay READ DropDownDelay WRITE setDropDownDelay)
    Q_PROPERTY(bool EgnoreContClick READ EgnoreContClick WRITE setEgnoreContClick)
    Q_PROPERTY(bool Flat READ Flat WRITE setFlat)
    Q_PROPERTY(TTextLayout Layout READ Layout WRITE setLayout)
    Q_PROPERTY(int MarginX READ MarginX WRITE setMarginX)
    Q_PROPERTY(int MarginY READ MarginY WRITE setMarginY)
    Q_PROPERTY(bool ShowFocusRect READ ShowFocusRect WRITE setShowFocusRect)
    Q_PROPERTY(bool TabFocusUp READ TabFocusUp WRITE setTabFocusUp)
    // The panel properties the button paints with.
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(QColor FontColor READ FontColor WRITE setFontColor)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE setBevelWidth)
    Q_PROPERTY(TBevelCut BevelOuter READ BevelOuter WRITE setBevelOuter)
    Q_PROPERTY(TBevelCut BevelInner READ BevelInner WRITE setBevelInner)
    Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)

public:
    enum TBevelCut { bvNone, bvLowered, bvRaised };
    Q_ENUM(TBevelCut)
    enum TTextLayout { tlTop, tlCenter, tlBottom };
    Q_ENUM(TTextLayout)
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    // Shift state of the enter/leave events, built from the keyboard and mouse of the moment.
    enum TShiftStateBit { ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04, ssLeft = 0x08, ssRight = 0x10, ssMiddle = 0x20 };
    Q_ENUM(TShiftStateBit)

    explicit TCuteButton(QWidget *parent = nullptr);
    ~TCuteButton() override;

    QColor BevelHighlightColor() const { return m_bevelHighlightColor; }
    void setBevelHighlightColor(const QColor &c);
    QColor BevelShadowColor() const { return m_bevelShadowColor; }
    void setBevelShadowColor(const QColor &c);
    QColor DisabledColor() const { return m_disabledColor; }
    void setDisabledColor(const QColor &c);
    bool UseDisabledColor() const { return m_useDisabledColor; }
    void setUseDisabledColor(bool on);
    QMenu *DropDownMenu() const { return m_dropDownMenu; }
    void setDropDownMenu(QMenu *menu);
    int DropDownDelay() const { return m_dropDownDelay; }
    void setDropDownDelay(int ms) { m_dropDownDelay = ms; }
    bool EgnoreContClick() const { return m_egnoreContClick; }
    void setEgnoreContClick(bool on) { m_egnoreContClick = on; }
    bool Flat() const { return m_flat; }
    void setFlat(bool on);
    TTextLayout Layout() const { return m_layout; }
    void setLayout(TTextLayout layout);
    // -1 means no extra inset; anything below -1 is stored as -1.
    int MarginX() const { return m_marginX; }
    void setMarginX(int margin);
    int MarginY() const { return m_marginY; }
    void setMarginY(int margin);
    bool ShowFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool on);
    bool TabFocusUp() const { return m_tabFocusUp; }
    void setTabFocusUp(bool on) { m_tabFocusUp = on; }

    QString Caption() const { return text(); }
    void setCaption(const QString &caption) { setText(caption); }
    QColor Color() const { return m_color; }
    void setColor(const QColor &c);
    QColor FontColor() const { return m_fontColor; }
    void setFontColor(const QColor &c);
    TAlignment Alignment() const { return m_alignment; }
    void setAlignment(TAlignment alignment);
    int BevelWidth() const { return m_bevelWidth; }
    void setBevelWidth(int width);
    TBevelCut BevelOuter() const { return m_bevelOuter; }
    void setBevelOuter(TBevelCut cut);
    TBevelCut BevelInner() const { return m_bevelInner; }
    void setBevelInner(TBevelCut cut);
    bool TabStop() const { return focusPolicy() & Qt::TabFocus; }
    void setTabStop(bool on) { setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus); }

    // Starts the drop-down: at once when DropDownDelay is 0 or less, else after the delay.
    virtual void DropDownClick();
    // Opens DropDownMenu below the button and waits until it has closed.
    virtual void ShowDropDownMenu();

    QSize sizeHint() const override { return QSize(75, 25); }

public slots:
    // The click of the button: runs the `clicked` handlers unless a drop-down just closed,
    // and with EgnoreContClick drops clicks that arrive while the handlers run.
    virtual void Click();
    // Hides QAbstractButton::click(), so that code clicking a TCuteButton gets Click().
    void click() { Click(); }

signals:
    void OnMouseEnter(QObject *Sender, int Shift, int X, int Y);
    void OnMouseLeave(QObject *Sender, int Shift, int X, int Y);

protected:
    void paintEvent(QPaintEvent *e) override;
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void changeEvent(QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;

private:
    void DropDownTimerFired();
    void FreeDropDownTimer();
    // The caption's accelerator: press, click (or open a pure menu), restore the look.
    bool DialogChar(QChar c);
    void PressWithoutRelease();
    void RestoreLook();
    bool IsActiveControl() const;
    static int CurrentShiftState();
    void MouseDown(QMouseEvent *e, bool armClick);
    void LeftMouseUp(const QPoint &pos);
    void SpaceKeyUp();

    QColor m_bevelHighlightColor;
    QColor m_bevelShadowColor;
    QColor m_disabledColor{128, 128, 128};
    bool m_useDisabledColor = false;
    QPointer<QMenu> m_dropDownMenu;
    int m_dropDownDelay = 0;
    bool m_egnoreContClick = false;
    bool m_flat = false;
    TTextLayout m_layout = tlCenter;
    int m_marginX = -1;
    int m_marginY = -1;
    bool m_showFocusRect = false;
    bool m_tabFocusUp = true;

    QColor m_color;
    QColor m_fontColor;
    TAlignment m_alignment = taCenter;
    int m_bevelWidth = 1;
    TBevelCut m_bevelOuter = bvNone;
    TBevelCut m_bevelInner = bvRaised;

    bool SuppressClick = false; // a drop-down menu is open: drop the click its closing makes
    bool SpaceDown = false;     // the space bar went down on the button
    bool KeyDropDown = false;   // the pending drop-down was started from the keyboard
    TCuteButtonTimer *FDropDownTimer = nullptr;
    bool m_captured = false;        // a left press began on the button and is still held
    bool m_clickArmed = false;      // ... and was a single press, whose release inside clicks
    bool m_handlerDetached = false; // EgnoreContClick: the handlers run, further clicks are lost
};
