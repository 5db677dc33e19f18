#include "PassingTransaction.h"

#include "Errors.h"
#include "Database.h"
#include "SessionStatements.h"

#include <QRandomGenerator>
#include <QThread>

#include <mysqld_error.h>

QString TPassingTransaction::LockTimeoutMessage(int waitSeconds)
{
    return QStringLiteral("通過データを書込めません。別の中間計時局が%1秒以上書込みを続けています。"
                          "その局とデータベースの状態を確かめてください。")
        .arg(waitSeconds);
}

TPassingTransaction::TPassingTransaction(TDatabase *db) : m_db(db)
{
    const int wait = m_db->LockWaitSeconds();
    const TResultSet got = m_db->execute(PassingLockSql(wait));
    // 1: taken; 0: the wait ran out; NULL: an error of the server (the session was killed).
    if (got.values.isEmpty() || got.values.first().first() != QLatin1String("1"))
        throw EDatabaseError(LockTimeoutMessage(wait));
    try {
        m_db->StartTransaction();
    } catch (...) {
        release();
        throw;
    }
}

TPassingTransaction::~TPassingTransaction()
{
    if (m_done)
        return;
    try {
        m_db->Rollback();
    } catch (...) {
        // The connection broke: the server rolled back with it.
    }
    release();
}

void TPassingTransaction::Commit()
{
    m_db->Commit();
    m_done = true;
    release();
}

void TPassingTransaction::release() noexcept
{
    // Only on the connection that took the lock: after a lost connection the lock went
    // with the session, and a new connection must not be made for nothing.
    if (!m_db->Connected() || m_db->InTransaction())
        return;
    try {
        m_db->execute(PassingUnlockSql());
    } catch (...) {
    }
}

bool IsConflict(const EDatabaseError &error)
{
    return error.code() == ER_LOCK_DEADLOCK || error.code() == ER_LOCK_WAIT_TIMEOUT ||
           error.message().contains(QLatin1String("WSREP"));
}

void RunPassing(TDatabase *db, const std::function<void()> &statements)
{
    for (int attempt = 1;; ++attempt) {
        try {
            TPassingTransaction whole(db);
            statements();
            whole.Commit();
            return;
        } catch (const EDatabaseError &e) {
            if (attempt >= PassingAttempts || !IsConflict(e))
                throw;
        }
        // The other transaction usually commits within milliseconds. A pause of varying
        // length keeps two stations that collided from colliding again in step.
        QThread::msleep(20 * attempt + QRandomGenerator::global()->bounded(30));
    }
}
