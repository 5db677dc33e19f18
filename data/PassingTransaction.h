// One passing written whole or not at all, by one station at a time.
//
// The statements of one passing (chip-tag: mid time, taken mark, ranking, display row;
// photocell: mid time, display row) run in one transaction, so a pass stopped between
// them (server crash, kill, network cut) leaves nothing behind, and the passing is
// retaken whole. Several stations may work on one race database (a hot backup, other
// mid points, chip-tag and photocell windows on different machines): each passing
// transaction first takes a named lock of the server, one per database, so the passings
// of all stations are written one after the other. That keeps CHAKU numbers (highest NUM
// plus 1) distinct and lets a claim inside the transaction see every passing another
// station has committed. The lock lives in the server's session: a station that dies or
// loses its connection releases it with the session.
#pragma once

#include <QString>

#include <functional>

class EDatabaseError;
class TDatabase;

class TPassingTransaction
{
public:
    // Waits for the lock (up to the connection's lock-wait timeout), then starts the
    // transaction. Raises EDatabaseError when the lock does not come.
    explicit TPassingTransaction(TDatabase *db);
    // Without Commit: rolls back and releases the lock. Never raises (it runs while an
    // error unwinds); a connection that is gone has lost both already.
    ~TPassingTransaction();
    TPassingTransaction(const TPassingTransaction &) = delete;
    TPassingTransaction &operator=(const TPassingTransaction &) = delete;

    // Makes the passing take effect, then lets the next station write.
    void Commit();

    // What the operator reads when another station holds the lock too long.
    static QString LockTimeoutMessage(int waitSeconds);

private:
    void release() noexcept;
    TDatabase *m_db;
    bool m_done = false;
};

// A refusal the server gives one of two transactions that got in each other's way: a
// deadlock (1213), a lock wait that ran out (1205), or, on a Galera cluster, a write set
// that failed certification against another node's commit (reported as 1213, or with a
// "WSREP" message). Running the transaction again is the cure the server itself names.
bool IsConflict(const EDatabaseError &error);

// How often a passing runs at most when the server refuses it as a conflict.
constexpr int PassingAttempts = 5;

// Runs `statements` as one passing: the lock, the transaction, the statements, the commit.
// When the server refuses it as a conflict (IsConflict) it is rolled back, and after a
// short pause run again whole, up to PassingAttempts times; the last refusal, and every
// other error, is raised as it came (the transaction rolled back). `statements` must
// therefore begin from scratch each time (the claim first) and leave what happens
// after the commit to the caller.
void RunPassing(TDatabase *db, const std::function<void()> &statements);
