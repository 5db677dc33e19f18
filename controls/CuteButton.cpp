// TCuteButton: look, painting, click, keyboard, mouse and drop-down of the station's push
// button. See CuteButton.h for the outline.
#include "CuteButton.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QSignalBlocker>

TCuteButtonTimer::TCuteButtonTimer(TCuteButton *button) : QTimer(button), Button(button) {}

namespace
{

// Draws `width` one-pixel frames, each inside the previous one, and shrinks `r` by them:
// top and left in `top`, right and bottom (including both bottom corners and the top-right
// one) in `bottom`, as the classic 3-D frame of the Windows toolkit does.
void frame3D(QPainter &p, QRect &r, const QColor &top, const QColor &bottom, int width)
{
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
        p.fillRect(QRect(l, t, rr - l, 1), top);
        p.fillRect(QRect(l, t, 1, b - t), top);
        p.fillRect(QRect(rr, t, 1, b - t + 1), bottom);
        p.fillRect(QRect(l, b, rr - l + 1, 1), bottom);
        r.adjust(1, 1, -1, -1);
    }
}

void drawBevel(QPainter &p, QRect &r, TCuteButton::TBevelCut cut, const QColor &light, const QColor &dark, int width)
{
    if (cut == TCuteButton::bvRaised)
        frame3D(p, r, light, dark, width);
    else if (cut == TCuteButton::bvLowered)
        frame3D(p, r, dark, light, width);
}

// The accelerator of a caption: the character after a single "&" ("&&" is a literal "&").
QChar accelerator(const QString &caption)
{
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption.at(i) != QLatin1Char('&'))
            continue;
        if (caption.at(i + 1) == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return caption.at(i + 1);
    }
    return QChar();
}

} // namespace

TCuteButton::TCuteButton(QWidget *parent) : QAbstractButton(parent)
{
    const QPalette pal = palette();
    m_bevelHighlightColor = pal.color(QPalette::Active, QPalette::Light);
    m_bevelShadowColor = pal.color(QPalette::Active, QPalette::Dark);
    m_color = pal.color(QPalette::Active, QPalette::Button);
    m_fontColor = pal.color(QPalette::Active, QPalette::ButtonText);
    setTabStop(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(75, 25);
}

TCuteButton::~TCuteButton() = default;

// --- property setters -------------------------------------------------------------------

void TCuteButton::setBevelHighlightColor(const QColor &c)
{
    if (c == m_bevelHighlightColor)
        return;
    m_bevelHighlightColor = c;
    update();
}

void TCuteButton::setBevelShadowColor(const QColor &c)
{
    if (c == m_bevelShadowColor)
        return;
    m_bevelShadowColor = c;
    update();
}

void TCuteButton::setDisabledColor(const QColor &c)
{
    if (c == m_disabledColor)
        return;
    m_disabledColor = c;
    if (!isEnabled())
        update();
}

void TCuteButton::setUseDisabledColor(bool on)
{
    if (on == m_useDisabledColor)
        return;
    m_useDisabledColor = on;
    if (!isEnabled())
        update();
}

void TCuteButton::setDropDownMenu(QMenu *menu)
{
    if (menu == m_dropDownMenu)
        return;
    m_dropDownMenu = menu;
    update();
}

void TCuteButton::setFlat(bool on)
{
    if (on == m_flat)
        return;
    m_flat = on;
    setBevelInner(on ? bvNone : bvRaised);
    update();
}

void TCuteButton::setLayout(TTextLayout layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    update();
}

void TCuteButton::setMarginX(int margin)
{
    margin = qMax(margin, -1);
    if (margin == m_marginX)
        return;
    m_marginX = margin;
    update();
}

void TCuteButton::setMarginY(int margin)
{
    margin = qMax(margin, -1);
    if (margin == m_marginY)
        return;
    m_marginY = margin;
    update();
}

void TCuteButton::setShowFocusRect(bool on)
{
    if (on == m_showFocusRect)
        return;
    m_showFocusRect = on;
    update();
}

void TCuteButton::setColor(const QColor &c)
{
    if (c == m_color)
        return;
    m_color = c;
    update();
}

void TCuteButton::setFontColor(const QColor &c)
{
    if (c == m_fontColor)
        return;
    m_fontColor = c;
    update();
}

void TCuteButton::setAlignment(TAlignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    update();
}

void TCuteButton::setBevelWidth(int width)
{
    width = qMax(width, 1);
    if (width == m_bevelWidth)
        return;
    m_bevelWidth = width;
    update();
}

void TCuteButton::setBevelOuter(TBevelCut cut)
{
    if (cut == m_bevelOuter)
        return;
    m_bevelOuter = cut;
    update();
}

void TCuteButton::setBevelInner(TBevelCut cut)
{
    if (cut == m_bevelInner)
        return;
    m_bevelInner = cut;
    update();
}

// --- painting ---------------------------------------------------------------------------

void TCuteButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, (m_useDisabledColor && !isEnabled()) ? m_disabledColor : m_color);
    drawBevel(p, r, m_bevelOuter, m_bevelHighlightColor, m_bevelShadowColor, m_bevelWidth);
    drawBevel(p, r, m_bevelInner, m_bevelHighlightColor, m_bevelShadowColor, m_bevelWidth);

    const int inset = m_flat ? m_bevelWidth : 2 * m_bevelWidth;
    QRect tr = rect().adjusted(inset, inset, -inset, -inset);
    int flags = Qt::TextSingleLine | Qt::TextShowMnemonic;
    switch (m_alignment) {
    case taLeftJustify:
        flags |= Qt::AlignLeft;
        if (m_marginX != -1)
            tr.setLeft(tr.left() + m_marginX);
        break;
    case taRightJustify:
        flags |= Qt::AlignRight;
        if (m_marginX != -1)
            tr.setRight(tr.right() - m_marginX);
        break;
    case taCenter:
        flags |= Qt::AlignHCenter;
        break;
    }
    switch (m_layout) {
    case tlTop:
        flags |= Qt::AlignTop;
        if (m_marginY != -1)
            tr.setTop(tr.top() + m_marginY);
        break;
    case tlBottom:
        flags |= Qt::AlignBottom;
        if (m_marginY != -1)
            tr.setBottom(tr.bottom() - m_marginY);
        break;
    case tlCenter:
        flags |= Qt::AlignVCenter;
        break;
    }
    if (m_bevelOuter == bvLowered) {
        tr.setLeft(tr.left() + 2);
        tr.setTop(tr.top() + 2);
    }

    p.setFont(font());
    if (isEnabled()) {
        p.setPen(m_fontColor);
        p.drawText(tr, flags, text());
    } else {
        // Engraved: a light copy one pixel right and down, the dark text over it.
        p.setPen(m_bevelHighlightColor);
        p.drawText(tr.translated(1, 1), flags, text());
        p.setPen(m_bevelShadowColor);
        p.drawText(tr, flags, text());
    }

    if (m_showFocusRect && hasFocus()) {
        const QRect fr = tr.adjusted(2, 2, -2, -2);
        QPen pen(m_fontColor, 1, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(fr.adjusted(0, 0, -1, -1));
    }
}

// --- click ------------------------------------------------------------------------------

void TCuteButton::Click()
{
    if (SuppressClick) {
        SuppressClick = false;
        return;
    }
    // While the handlers of an EgnoreContClick click run, the button has no handler: a
    // click arriving now (from a nested event loop of the handler) is lost.
    if (m_handlerDetached)
        return;
    if (!m_egnoreContClick) {
        emit clicked(isChecked());
        return;
    }
    // Re-attached however the handlers end, also by an error escaping them: a button that
    // stayed detached would never click again.
    struct Reattach {
        QPointer<TCuteButton> button;
        ~Reattach()
        {
            if (button)
                button->m_handlerDetached = false;
        }
    } reattach{this};
    m_handlerDetached = true;
    emit clicked(isChecked());
    // Clicks queued while the handlers ran are delivered now and find no handler.
    if (reattach.button)
        QCoreApplication::processEvents();
}

bool TCuteButton::IsActiveControl() const
{
    const QWidget *w = window();
    return w && w->focusWidget() == this;
}

void TCuteButton::RestoreLook()
{
    setBevelOuter(m_tabFocusUp ? bvRaised : bvNone);
}

int TCuteButton::CurrentShiftState()
{
    int shift = 0;
    const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    if (mods & Qt::ShiftModifier)
        shift |= ssShift;
    if (mods & Qt::AltModifier)
        shift |= ssAlt;
    if (mods & Qt::ControlModifier)
        shift |= ssCtrl;
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}

// --- mouse ------------------------------------------------------------------------------

void TCuteButton::mousePressEvent(QMouseEvent *e)
{
    MouseDown(e, true);
}

// The second press of a double click is a press like any other, except that its release
// does not click: a hurried double click on a mode button opens its window once.
void TCuteButton::mouseDoubleClickEvent(QMouseEvent *e)
{
    MouseDown(e, false);
}

void TCuteButton::MouseDown(QMouseEvent *e, bool armClick)
{
    e->accept();
    if (focusPolicy() & Qt::ClickFocus)
        setFocus(Qt::MouseFocusReason);
    const bool left = e->button() == Qt::LeftButton;
    if (left) {
        setBevelOuter(bvLowered);
        m_captured = true;
        m_clickArmed = armClick;
        setDown(true);
        emit pressed();
    }
    if (m_dropDownMenu && left) {
        KeyDropDown = false;
        DropDownClick();
    }
}

void TCuteButton::mouseMoveEvent(QMouseEvent *e)
{
    e->accept();
    if (m_captured)
        setDown(hitButton(e->position().toPoint()));
}

void TCuteButton::mouseReleaseEvent(QMouseEvent *e)
{
    e->accept();
    if (e->button() == Qt::LeftButton)
        LeftMouseUp(e->position().toPoint());
}

void TCuteButton::LeftMouseUp(const QPoint &pos)
{
    const bool inside = hitButton(pos);
    setBevelOuter((inside || (m_tabFocusUp && IsActiveControl())) ? bvRaised : bvNone);
    const bool wasCaptured = m_captured;
    const bool armed = m_clickArmed;
    m_captured = false;
    m_clickArmed = false;
    QPointer<TCuteButton> guard(this);
    if (wasCaptured) {
        setDown(false);
        emit released();
        if (guard && armed && inside)
            Click();
    }
    if (guard)
        FreeDropDownTimer();
}

void TCuteButton::enterEvent(QEnterEvent *e)
{
    QAbstractButton::enterEvent(e);
    // Another control is dragging the mouse: the button shows nothing.
    QWidget *grabber = QWidget::mouseGrabber();
    if (grabber && grabber != this)
        return;
    const QPoint pos = e->position().toPoint();
    emit OnMouseEnter(this, CurrentShiftState(), pos.x(), pos.y());
    setBevelOuter((QGuiApplication::mouseButtons() & Qt::LeftButton) ? bvLowered : bvRaised);
}

void TCuteButton::leaveEvent(QEvent *e)
{
    QAbstractButton::leaveEvent(e);
    const QPoint pos = mapFromGlobal(QCursor::pos());
    emit OnMouseLeave(this, CurrentShiftState(), pos.x(), pos.y());
    if (!(hasFocus() && m_tabFocusUp))
        setBevelOuter(bvNone);
}

// --- focus and state --------------------------------------------------------------------

void TCuteButton::focusInEvent(QFocusEvent *e)
{
    QAbstractButton::focusInEvent(e);
    if (m_tabFocusUp)
        setBevelOuter(bvRaised);
}

void TCuteButton::focusOutEvent(QFocusEvent *e)
{
    QAbstractButton::focusOutEvent(e);
    // A space press whose release goes elsewhere is over; the drop-down menu's own popup
    // takes the focus in the middle of a press and leaves it alone.
    if (e->reason() != Qt::PopupFocusReason)
        SpaceDown = false;
    setBevelOuter(bvNone);
}

void TCuteButton::changeEvent(QEvent *e)
{
    QAbstractButton::changeEvent(e);
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::PaletteChange)
        update();
}

// --- keyboard ---------------------------------------------------------------------------

void TCuteButton::keyPressEvent(QKeyEvent *e)
{
    if (!isEnabled())
        return;
    const int key = e->key();
    const Qt::KeyboardModifiers commandMods =
        e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key == Qt::Key_Space && !commandMods) {
        e->accept();
        if (e->isAutoRepeat())
            return;
        SpaceDown = true;
        setBevelOuter(bvLowered);
        setDown(true);
        emit pressed();
        if (m_dropDownMenu) {
            KeyDropDown = true;
            DropDownClick();
        }
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !commandMods) {
        e->accept();
        PressWithoutRelease();
        return;
    }
    if (SpaceDown) {
        SpaceDown = false;
        setDown(false);
        RestoreLook();
    }
    // A plain character that is the accelerator of a button of this window presses that
    // button, as on the platform the station comes from (no Alt needed while a button has
    // the focus).
    if (!commandMods && !e->text().isEmpty() && e->text().at(0).isPrint()) {
        const QChar c = e->text().at(0);
        QWidget *w = window();
        const QList<TCuteButton *> buttons = w ? w->findChildren<TCuteButton *>() : QList<TCuteButton *>();
        for (TCuteButton *b : buttons) {
            if (b->window() == w && b->DialogChar(c)) {
                e->accept();
                return;
            }
        }
    }
    QAbstractButton::keyPressEvent(e);
}

void TCuteButton::keyReleaseEvent(QKeyEvent *e)
{
    if (!isEnabled())
        return;
    if (e->isAutoRepeat()) {
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Space) {
        e->accept();
        SpaceKeyUp();
        return;
    }
    FreeDropDownTimer();
    e->ignore();
}

void TCuteButton::SpaceKeyUp()
{
    FreeDropDownTimer();
    if (!SpaceDown)
        return;
    SpaceDown = false;
    setDown(false);
    emit released();
    QPointer<TCuteButton> guard(this);
    Click();
    if (guard)
        RestoreLook();
}

// Enter, the accelerator and the accessible press: a press and release in one, which opens
// the menu of a pure menu button instead of clicking.
void TCuteButton::PressWithoutRelease()
{
    setBevelOuter(bvLowered);
    repaint();
    QPointer<TCuteButton> guard(this);
    if (m_dropDownMenu && m_dropDownDelay <= 0) {
        KeyDropDown = true;
        ShowDropDownMenu();
    } else {
        Click();
    }
    if (guard)
        RestoreLook();
}

bool TCuteButton::DialogChar(QChar c)
{
    const QChar accel = accelerator(text());
    if (accel.isNull() || accel.toUpper() != c.toUpper())
        return false;
    const QWidget *parent = parentWidget();
    if (!isEnabled() || !isVisible() || (parent && !parent->isVisible()))
        return false;
    PressWithoutRelease();
    return true;
}

bool TCuteButton::event(QEvent *e)
{
    if (e->type() == QEvent::Shortcut) {
        // The caption's mnemonic (Alt + the character after "&").
        auto *se = static_cast<QShortcutEvent *>(e);
        if (se->isAmbiguous())
            return QAbstractButton::event(e);
        if (isEnabled() && isVisible())
            PressWithoutRelease();
        return true;
    }
    return QAbstractButton::event(e);
}

// QAbstractButton::animateClick (used by the accessibility layer's press action) ends in
// a timer event whose click would bypass Click(): let the base class finish the animation
// with signals blocked, then click the station's way.
void TCuteButton::timerEvent(QTimerEvent *e)
{
    const bool wasDown = isDown();
    {
        const QSignalBlocker blocker(this);
        QAbstractButton::timerEvent(e);
    }
    if (wasDown && !isDown() && !m_captured && !SpaceDown) {
        emit released();
        PressWithoutRelease();
    }
}

// --- drop-down --------------------------------------------------------------------------

void TCuteButton::DropDownClick()
{
    if (m_dropDownDelay <= 0) {
        ShowDropDownMenu();
        return;
    }
    if (FDropDownTimer)
        return;
    FDropDownTimer = new TCuteButtonTimer(this);
    FDropDownTimer->setSingleShot(true);
    FDropDownTimer->setTimerType(Qt::PreciseTimer);
    FDropDownTimer->setInterval(m_dropDownDelay);
    connect(FDropDownTimer, &QTimer::timeout, this, &TCuteButton::DropDownTimerFired);
    FDropDownTimer->start();
}

void TCuteButton::FreeDropDownTimer()
{
    if (!FDropDownTimer)
        return;
    FDropDownTimer->stop();
    FDropDownTimer->deleteLater();
    FDropDownTimer = nullptr;
}

void TCuteButton::DropDownTimerFired()
{
    FreeDropDownTimer();
    if (KeyDropDown) {
        ShowDropDownMenu();
    } else if (m_captured) {
        // Still held down: the hold opens the menu and the press ends without a click.
        QPointer<TCuteButton> guard(this);
        ShowDropDownMenu();
        if (guard)
            m_captured = false;
    }
}

void TCuteButton::ShowDropDownMenu()
{
    if (!m_dropDownMenu)
        return;
    QPointer<TCuteButton> guard(this);
    SuppressClick = true;
    QCoreApplication::processEvents();
    if (!guard)
        return;
    if (m_dropDownMenu)
        m_dropDownMenu->exec(mapToGlobal(QPoint(0, height())));
    if (!guard)
        return;
    // Finish the press as if released; the click this makes is the one SuppressClick drops.
    if (KeyDropDown)
        SpaceKeyUp();
    else
        LeftMouseUp(QPoint(0, 0));
    if (guard)
        SuppressClick = false;
}
