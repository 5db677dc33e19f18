// TCuteButton: clicks swallowed while the handler runs, the delayed drop-down, the keyboard,
// the painted look (bevels, text inset, disabled face) and what the accessibility layer sees.
#include "CuteButton.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QtTest>
#include <stdexcept>

namespace
{

QColor pixel(const QImage &img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

// Leftmost and rightmost columns holding a pixel other than `face` (rows inside `band`).
QPair<int, int> inkColumns(const QImage &img, const QColor &face)
{
    int left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (pixel(img, x, y) != face) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
    return {left, right};
}

int countPixels(const QImage &img, const QColor &c, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pixel(img, x, y) == c)
                ++n;
    return n;
}

QImage grabImage(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void postClick(QWidget *w)
{
    const QPointF at(w->width() / 2, w->height() / 2);
    const QPointF global = w->mapToGlobal(at);
    QCoreApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

} // namespace

class TstCuteButton : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void marginsBelowMinusOneBecomeMinusOne_data();
    void marginsBelowMinusOneBecomeMinusOne();
    void doubleClickIsOneClick();
    void clickDuringHandler_data();
    void clickDuringHandler();
    void errorInHandlerLeavesButtonWorking();
    void dropDownReleaseBeforeDelayClicks();
    void dropDownHoldOpensMenuWithoutClick_data();
    void dropDownHoldOpensMenuWithoutClick();
    void keyboard_data();
    void keyboard();
    void lookFollowsMouseAndFocus();
    void flatRemovesInnerBevel();
    void textInset_data();
    void textInset();
    void disabledFace_data();
    void disabledFace();
    void disabledCaptionIsEngraved();
    void focusRectangle_data();
    void focusRectangle();
    void accessibleAsPushButton();

private:
    QWidget *m_window = nullptr;
    TCuteButton *m_button = nullptr;
    TCuteButton *m_other = nullptr;
};

void TstCuteButton::initTestCase()
{
    // Keep the pointer away from the buttons so no enter event changes their look.
    QCursor::setPos(3000, 3000);
}

void TstCuteButton::init()
{
    m_window = new QWidget;
    m_window->resize(300, 120);
    m_window->move(0, 0);
    m_button = new TCuteButton(m_window);
    m_button->setObjectName(QStringLiteral("CuteButton1"));
    m_button->setText(QStringLiteral("&Start"));
    m_button->move(10, 10);
    m_other = new TCuteButton(m_window);
    m_other->setObjectName(QStringLiteral("CuteButton2"));
    m_other->setText(QStringLiteral("Other"));
    m_other->move(100, 10);
    // The first button would take the focus, and with it the raised look.
    m_other->setFocus();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TstCuteButton::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TstCuteButton::marginsBelowMinusOneBecomeMinusOne_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::newRow("-5") << -5 << -1;
    QTest::newRow("-2") << -2 << -1;
    QTest::newRow("-1") << -1 << -1;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("7") << 7 << 7;
}

void TstCuteButton::marginsBelowMinusOneBecomeMinusOne()
{
    QFETCH(int, value);
    QFETCH(int, stored);
    m_button->setMarginX(value);
    m_button->setMarginY(value);
    QCOMPARE(m_button->MarginX(), stored);
    QCOMPARE(m_button->MarginY(), stored);
    QCOMPARE(m_button->property("MarginX").toInt(), stored);
}

void TstCuteButton::doubleClickIsOneClick()
{
    QSignalSpy spy(m_button, &QAbstractButton::clicked);
    // What a widget receives for a double click: press, release, double click, release.
    const QPointF at(10, 10);
    const QPointF global = m_button->mapToGlobal(at);
    QTest::mouseClick(m_button, Qt::LeftButton, {}, at.toPoint());
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_button, &dbl);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvLowered);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, at.toPoint());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvRaised);
    QTest::mouseClick(m_button, Qt::LeftButton, {}, at.toPoint());
    QCOMPARE(spy.count(), 2);
}

void TstCuteButton::clickDuringHandler_data()
{
    QTest::addColumn<bool>("egnore");
    QTest::addColumn<bool>("nestedLoop");
    QTest::addColumn<int>("handlerRuns");
    // The handler runs an event loop of its own (as a message box does) while a click comes.
    QTest::newRow("nested loop, ignoring") << true << true << 1;
    QTest::newRow("nested loop, not ignoring") << false << true << 2;
    // The click is queued while the handler runs and delivered after it returned.
    QTest::newRow("queued, ignoring") << true << false << 1;
    QTest::newRow("queued, not ignoring") << false << false << 2;
}

void TstCuteButton::clickDuringHandler()
{
    QFETCH(bool, egnore);
    QFETCH(bool, nestedLoop);
    QFETCH(int, handlerRuns);
    m_button->setEgnoreContClick(egnore);
    int runs = 0;
    connect(m_button, &QAbstractButton::clicked, this, [&] {
        if (++runs > 1)
            return;
        postClick(m_button);
        if (nestedLoop) {
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
    });
    QTest::mouseClick(m_button, Qt::LeftButton);
    QTest::qWait(200);
    QCOMPARE(runs, handlerRuns);

    // The button takes clicks again once the handler has finished.
    QTest::mouseClick(m_button, Qt::LeftButton);
    QCOMPARE(runs, handlerRuns + 1);
}

void TstCuteButton::errorInHandlerLeavesButtonWorking()
{
    m_button->setEgnoreContClick(true);
    int runs = 0;
    connect(m_button, &QAbstractButton::clicked, this, [&] {
        if (++runs == 1)
            throw std::runtime_error("handler failed");
    });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_button->Click());
    m_button->Click();
    QCOMPARE(runs, 2);
}

void TstCuteButton::dropDownReleaseBeforeDelayClicks()
{
    QMenu menu;
    menu.addAction(QStringLiteral("item"));
    int shown = 0;
    connect(&menu, &QMenu::aboutToShow, this, [&] {
        ++shown;
        QTimer::singleShot(50, &menu, &QMenu::close);
    });
    m_button->setDropDownMenu(&menu);
    m_button->setDropDownDelay(500);
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);

    // A slow machine may stall past the delay; such a try proves nothing, so try again.
    bool conclusive = false;
    for (int attempt = 0; attempt < 5 && !conclusive; ++attempt) {
        clicks.clear();
        shown = 0;
        QElapsedTimer held;
        QTest::mousePress(m_button, Qt::LeftButton);
        held.start();
        QTest::qWait(200);
        const qint64 ms = held.elapsed();
        QTest::mouseRelease(m_button, Qt::LeftButton);
        conclusive = ms < 450 && shown == 0;
        if (conclusive) {
            QCOMPARE(clicks.count(), 1);
            // The timer was freed by the release: nothing opens later.
            QTest::qWait(600);
            QCOMPARE(shown, 0);
            QCOMPARE(clicks.count(), 1);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!menu.isVisible(), 5000);
        }
    }
    QVERIFY2(conclusive, "the machine never managed a 200 ms press within the 500 ms delay");
}

void TstCuteButton::dropDownHoldOpensMenuWithoutClick_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("keyboard");
    QTest::newRow("mouse, delay 500") << 500 << false;
    QTest::newRow("mouse, pure menu button") << 0 << false;
    QTest::newRow("space, delay 500") << 500 << true;
    QTest::newRow("space, pure menu button") << 0 << true;
}

void TstCuteButton::dropDownHoldOpensMenuWithoutClick()
{
    QFETCH(int, delay);
    QFETCH(bool, keyboard);
    QMenu menu;
    menu.addAction(QStringLiteral("item"));
    int shown = 0;
    QPoint shownAt;
    QElapsedTimer held;
    qint64 openedAfter = -1;
    connect(&menu, &QMenu::aboutToShow, this, [&] {
        ++shown;
        openedAfter = held.elapsed();
        QTimer::singleShot(100, &menu, [&] {
            shownAt = menu.pos();
            menu.close();
        });
    });
    m_button->setDropDownMenu(&menu);
    m_button->setDropDownDelay(delay);
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);

    held.start();
    if (keyboard) {
        m_button->setFocus();
        QTest::keyPress(m_button, Qt::Key_Space);
    } else {
        QTest::mousePress(m_button, Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(shown == 1 && !menu.isVisible(), 10000);
    QVERIFY2(openedAfter >= delay, qPrintable(QString::number(openedAfter)));
    QCOMPARE(shownAt, m_button->mapToGlobal(QPoint(0, m_button->height())));
    if (keyboard)
        QTest::keyRelease(m_button, Qt::Key_Space);
    else
        QTest::mouseRelease(m_button, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(shown, 1);

    // The press after the menu is a normal one again.
    if (delay > 0) {
        QTest::mouseClick(m_button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
    }
}

void TstCuteButton::keyboard_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("focusOther");
    // Keys as a script: "+X" presses, "-X" releases, "X" both; S=space, R=Return,
    // E=keypad Enter, A=Alt+s, s=plain s, x=plain x; F moves the focus away and back.
    QTest::newRow("space") << "S" << 1 << false;
    QTest::newRow("space held, nothing yet") << "+S" << 0 << false;
    QTest::newRow("other key cancels space") << "+S x -S" << 0 << false;
    QTest::newRow("return") << "R" << 1 << false;
    QTest::newRow("keypad enter") << "E" << 1 << false;
    QTest::newRow("alt accelerator") << "A" << 1 << true;
    QTest::newRow("plain accelerator from another button") << "s" << 1 << true;
    QTest::newRow("plain other character") << "x" << 0 << true;
    QTest::newRow("space on the other button") << "S" << 0 << true;
    // The focus goes away (a click elsewhere) and comes back while space is held.
    QTest::newRow("space pressed, focus away and back") << "+S F -S" << 0 << false;
}

void TstCuteButton::keyboard()
{
    QFETCH(QString, keys);
    QFETCH(int, clicks);
    QFETCH(bool, focusOther);
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    TCuteButton *focused = focusOther ? m_other : m_button;
    focused->setFocus();
    QTRY_VERIFY(focused->hasFocus());
    QSignalSpy spy(m_button, &QAbstractButton::clicked);
    for (const QString &step : keys.split(QLatin1Char(' '))) {
        const QChar mode = step.size() > 1 ? step.at(0) : QChar();
        const QChar k = step.at(step.size() - 1);
        Qt::Key key = Qt::Key_unknown;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        switch (k.toLatin1()) {
        case 'S':
            key = Qt::Key_Space;
            break;
        case 'R':
            key = Qt::Key_Return;
            break;
        case 'E':
            key = Qt::Key_Enter;
            mods = Qt::KeypadModifier;
            break;
        case 'A':
            key = Qt::Key_S;
            mods = Qt::AltModifier;
            break;
        case 's':
            key = Qt::Key_S;
            break;
        case 'x':
            key = Qt::Key_X;
            break;
        case 'F':
            m_other->setFocus(Qt::MouseFocusReason);
            QTRY_VERIFY(m_other->hasFocus());
            m_button->setFocus(Qt::MouseFocusReason);
            QTRY_VERIFY(m_button->hasFocus());
            continue;
        }
        const char ch = (k == QLatin1Char('s') || k == QLatin1Char('x')) ? k.toLatin1() : 0;
        // Key events go to the focus widget, past the shortcut map, as a real keyboard's do.
        QWidget *const focus = nullptr;
        if (mode == QLatin1Char('+'))
            ch ? QTest::keyPress(focus, ch) : QTest::keyPress(focus, key, mods);
        else if (mode == QLatin1Char('-'))
            ch ? QTest::keyRelease(focus, ch) : QTest::keyRelease(focus, key, mods);
        else
            ch ? QTest::keyClick(focus, ch) : QTest::keyClick(focus, key, mods);
    }
    QTest::qWait(20);
    QCOMPARE(spy.count(), clicks);
}

void TstCuteButton::lookFollowsMouseAndFocus()
{
    QSignalSpy enter(m_button, &TCuteButton::OnMouseEnter);
    QSignalSpy leave(m_button, &TCuteButton::OnMouseLeave);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvNone);

    QEnterEvent in(QPointF(4, 6), QPointF(4, 6), m_button->mapToGlobal(QPointF(4, 6)));
    QApplication::sendEvent(m_button, &in);
    QCOMPARE(enter.count(), 1);
    QCOMPARE(enter.at(0).at(0).value<QObject *>(), m_button);
    QCOMPARE(enter.at(0).at(2).toInt(), 4);
    QCOMPARE(enter.at(0).at(3).toInt(), 6);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvRaised);

    QEvent out(QEvent::Leave);
    QApplication::sendEvent(m_button, &out);
    QCOMPARE(leave.count(), 1);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvNone);

    // Entering with the left button held (a press that began elsewhere) shows it pressed,
    // and the shift state says so.
    QTest::mousePress(m_other, Qt::LeftButton);
    QApplication::sendEvent(m_button, &in);
    QVERIFY(enter.at(1).at(1).toInt() & TCuteButton::ssLeft);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvLowered);
    QTest::mouseRelease(m_other, Qt::LeftButton);
    QApplication::sendEvent(m_button, &out);

    // The focus keeps the raised look while TabFocusUp is set, also when the mouse leaves.
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_button->setFocus();
    QTRY_COMPARE(m_button->BevelOuter(), TCuteButton::bvRaised);
    QApplication::sendEvent(m_button, &out);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvRaised);
    m_other->setFocus();
    QTRY_COMPARE(m_button->BevelOuter(), TCuteButton::bvNone);

    m_button->setTabFocusUp(false);
    m_button->setFocus();
    QTRY_VERIFY(m_button->hasFocus());
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvNone);
}

void TstCuteButton::flatRemovesInnerBevel()
{
    const QColor light(250, 240, 0), dark(0, 0, 200), face(0, 160, 0);
    m_button->setText(QString());
    m_button->setBevelHighlightColor(light);
    m_button->setBevelShadowColor(dark);
    m_button->setColor(face);
    m_button->setBevelWidth(2);
    QCOMPARE(m_button->BevelOuter(), TCuteButton::bvNone);
    const int w = m_button->width(), h = m_button->height();

    QImage img = grabImage(m_button);
    for (const QPoint &p : {QPoint(0, 0), QPoint(1, 1), QPoint(w / 2, 0), QPoint(0, h / 2)})
        QCOMPARE(pixel(img, p.x(), p.y()), light);
    for (const QPoint &p : {QPoint(w - 1, h - 1), QPoint(w - 2, h - 2), QPoint(w / 2, h - 1), QPoint(w - 1, 0)})
        QCOMPARE(pixel(img, p.x(), p.y()), dark);
    QCOMPARE(pixel(img, 2, 2), face);

    m_button->setFlat(true);
    QCOMPARE(m_button->BevelInner(), TCuteButton::bvNone);
    img = grabImage(m_button);
    QCOMPARE(countPixels(img, face, img.rect()), w * h);

    m_button->setFlat(false);
    QCOMPARE(m_button->BevelInner(), TCuteButton::bvRaised);
    QCOMPARE(pixel(grabImage(m_button), 0, 0), light);
}

void TstCuteButton::textInset_data()
{
    QTest::addColumn<int>("alignment");
    QTest::addColumn<bool>("flat");
    QTest::addColumn<int>("marginX");
    QTest::addColumn<bool>("lowered");
    QTest::addColumn<int>("shift"); // of the caption against flat, no margin, not lowered
    const int left = TCuteButton::taLeftJustify, right = TCuteButton::taRightJustify;
    // Bevel width 3: the inset is 3 when flat and 6 when not.
    QTest::newRow("left, not flat") << left << false << -1 << false << 3;
    QTest::newRow("left, margin 10") << left << true << 10 << false << 10;
    QTest::newRow("left, margin 0") << left << true << 0 << false << 0;
    QTest::newRow("left, margin 4, not flat") << left << false << 4 << false << 7;
    QTest::newRow("left, pressed") << left << true << -1 << true << 2;
    QTest::newRow("right, not flat") << right << false << -1 << false << -3;
    QTest::newRow("right, margin 10") << right << true << 10 << false << -10;
    QTest::newRow("right, pressed") << right << true << -1 << true << 0;
}

void TstCuteButton::textInset()
{
    QFETCH(int, alignment);
    QFETCH(bool, flat);
    QFETCH(int, marginX);
    QFETCH(bool, lowered);
    QFETCH(int, shift);
    const QColor face(Qt::white);
    // Bevels in the face colour: only the caption differs from the face.
    m_button->setColor(face);
    m_button->setBevelHighlightColor(face);
    m_button->setBevelShadowColor(face);
    m_button->setFontColor(Qt::black);
    m_button->setText(QStringLiteral("HIH"));
    m_button->setBevelWidth(3);
    m_button->setAlignment(TCuteButton::TAlignment(alignment));

    m_button->setFlat(true);
    const QPair<int, int> base = inkColumns(grabImage(m_button), face);
    QVERIFY(base.second > base.first);

    m_button->setFlat(flat);
    m_button->setMarginX(marginX);
    if (lowered)
        m_button->setBevelOuter(TCuteButton::bvLowered);
    const QPair<int, int> ink = inkColumns(grabImage(m_button), face);
    QCOMPARE(ink.first, base.first + shift);
    QCOMPARE(ink.second, base.second + shift);
}

void TstCuteButton::disabledFace_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("useDisabledColor");
    QTest::addColumn<bool>("expectDisabledColor");
    QTest::newRow("disabled, not using it") << false << false << false;
    QTest::newRow("disabled, using it") << false << true << true;
    QTest::newRow("enabled, using it") << true << true << false;
}

void TstCuteButton::disabledFace()
{
    QFETCH(bool, enabled);
    QFETCH(bool, useDisabledColor);
    QFETCH(bool, expectDisabledColor);
    const QColor face(200, 220, 255);
    m_button->setText(QString());
    m_button->setColor(face);
    QCOMPARE(m_button->DisabledColor(), QColor(128, 128, 128));
    m_button->setUseDisabledColor(useDisabledColor);
    m_button->setEnabled(enabled);
    const QImage img = grabImage(m_button);
    const QRect inside = img.rect().adjusted(4, 4, -4, -4);
    const QColor expected = expectDisabledColor ? QColor(128, 128, 128) : face;
    QCOMPARE(pixel(img, inside.center().x(), inside.center().y()), expected);
    QCOMPARE(countPixels(img, expected, inside), inside.width() * inside.height());

    // A new disabled colour shows at once on a disabled button that uses it.
    m_button->setDisabledColor(QColor(90, 0, 0));
    const QColor now = expectDisabledColor ? QColor(90, 0, 0) : face;
    QCOMPARE(pixel(grabImage(m_button), inside.center().x(), inside.center().y()), now);
}

void TstCuteButton::disabledCaptionIsEngraved()
{
    const QColor light(255, 255, 0), dark(0, 0, 160), face(Qt::white), fontColor(Qt::black);
    m_button->setColor(face);
    m_button->setBevelHighlightColor(light);
    m_button->setBevelShadowColor(dark);
    m_button->setFontColor(fontColor);
    m_button->setFlat(true);
    m_button->setText(QStringLiteral("HIH"));
    QFont f = m_button->font();
    f.setPixelSize(14);
    f.setStyleStrategy(QFont::NoAntialias);
    m_button->setFont(f);
    // The text area, clear of the one-pixel bevel.
    const QRect area = m_button->rect().adjusted(2, 2, -2, -2);

    QImage img = grabImage(m_button);
    QVERIFY(countPixels(img, fontColor, area) > 0);
    QCOMPARE(countPixels(img, light, area), 0);
    QCOMPARE(countPixels(img, dark, area), 0);

    m_button->setEnabled(false);
    img = grabImage(m_button);
    QCOMPARE(countPixels(img, fontColor, area), 0);
    QVERIFY(countPixels(img, light, area) > 0);
    QVERIFY(countPixels(img, dark, area) > 0);
    // The light copy lies one pixel right of the dark text: the rightmost light column is
    // one past the rightmost dark one.
    int lightRight = -1, darkRight = -1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            if (pixel(img, x, y) == light)
                lightRight = qMax(lightRight, x);
            if (pixel(img, x, y) == dark)
                darkRight = qMax(darkRight, x);
        }
    QCOMPARE(lightRight, darkRight + 1);
}

void TstCuteButton::focusRectangle_data()
{
    QTest::addColumn<bool>("showFocusRect");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("shown and focused") << true << true << true;
    QTest::newRow("shown, not focused") << true << false << false;
    QTest::newRow("focused, not shown") << false << true << false;
}

void TstCuteButton::focusRectangle()
{
    QFETCH(bool, showFocusRect);
    QFETCH(bool, focused);
    QFETCH(bool, drawn);
    const QColor face(Qt::white), ink(Qt::black);
    m_button->setText(QString());
    m_button->setColor(face);
    m_button->setBevelHighlightColor(face);
    m_button->setBevelShadowColor(face);
    m_button->setFontColor(ink);
    m_button->setShowFocusRect(showFocusRect);
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    (focused ? m_button : m_other)->setFocus();
    QTRY_COMPARE(m_button->hasFocus(), focused);
    // Bevel width 1, not flat: the text rectangle is inset by 2, the focus rectangle by 4.
    const QImage img = grabImage(m_button);
    const int w = img.width(), h = img.height();
    const int onEdges = countPixels(img, ink, QRect(4, 4, w - 8, 1)) + countPixels(img, ink, QRect(4, h - 5, w - 8, 1));
    QCOMPARE(onEdges > 0, drawn);
    QCOMPARE(countPixels(img, ink, img.rect()), onEdges + (drawn ? countPixels(img, ink, QRect(4, 5, 1, h - 10)) +
                                                                       countPixels(img, ink, QRect(w - 5, 5, 1, h - 10))
                                                                 : 0));
}

void TstCuteButton::accessibleAsPushButton()
{
    m_button->setText(QStringLiteral("開始(&S)"));
    m_button->setEgnoreContClick(true);
    QSignalSpy spy(m_button, &QAbstractButton::clicked);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(m_button);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Button);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("開始(S)"));
    QAccessibleActionInterface *actions = iface->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    // The press is a click of the button's own: one made while the handler still runs
    // is lost, as the button swallows clicks (EgnoreContClick).
    int runs = 0;
    connect(m_button, &QAbstractButton::clicked, this, [&] {
        if (++runs > 1)
            return;
        actions->doAction(QAccessibleActionInterface::pressAction());
        QEventLoop loop;
        QTimer::singleShot(400, &loop, &QEventLoop::quit);
        loop.exec();
    });
    actions->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(spy.count(), 1);
    QTest::qWait(600);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(runs, 1);
    QVERIFY(!m_button->isDown());

    m_button->setEnabled(false);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QTest::qWait(300);
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TstCuteButton)
#include "tst_cutebutton.moc"
