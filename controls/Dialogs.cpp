// Message boxes with Japanese buttons, and the seam tests use to answer them.
#include "Dialogs.h"

#include "Errors.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

namespace Dialogs
{

static Responder &responder()
{
    static Responder r;
    return r;
}

void setResponder(Responder r)
{
    responder() = std::move(r);
}

static QString applicationTitle()
{
    const QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("Vidadiva Application") : title;
}

static QWidget *parentWindow()
{
    return QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow();
}

// A box with the application's title and one OK button: a plain message or an error.
static void showOkBox(Kind kind, QMessageBox::Icon icon, const QString &text)
{
    if (responder()) {
        responder()(kind, applicationTitle(), text);
        return;
    }
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::NoButton, parentWindow());
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

void showMessage(const QString &text)
{
    showOkBox(Kind::Message, QMessageBox::NoIcon, text);
}

bool askYesNo(const QString &title, const QString &text)
{
    if (responder())
        return responder()(Kind::Question, title, text);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parentWindow());
    QPushButton *yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void showError(const QString &text)
{
    showOkBox(Kind::Error, QMessageBox::Critical, text);
}

void showException(const std::exception &e)
{
    if (auto station = dynamic_cast<const EStationError *>(&e))
        showError(station->message());
    else
        showError(QString::fromLocal8Bit(e.what()));
}

} // namespace Dialogs

static THandlerRun *&innermostHandler()
{
    static THandlerRun *innermost = nullptr;
    return innermost;
}

THandlerRun::THandlerRun() : m_outer(innermostHandler()), m_loopLevel(QThread::currentThread()->loopLevel())
{
    innermostHandler() = this;
}

THandlerRun::~THandlerRun()
{
    innermostHandler() = m_outer;
}

THandlerRun *THandlerRun::running()
{
    THandlerRun *innermost = innermostHandler();
    return innermost && innermost->m_loopLevel == QThread::currentThread()->loopLevel() ? innermost : nullptr;
}

void THandlerRun::failed()
{
    if (m_outer && m_outer->m_loopLevel == m_loopLevel)
        m_outer->m_nestedFailed = true;
}
