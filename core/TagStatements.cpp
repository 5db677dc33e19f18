#include "TagStatements.h"

#include "SqlEscape.h"

QStringList TagSnapshotSql(const QString &tcode)
{
    return {QStringLiteral("select zek,term,time,count as cont from tag_rec"),
            QStringLiteral("where tcode = '") + SqlEscape(tcode) +
                QStringLiteral("'and use_mid=0 and term = 'C1' order by time")};
}

QStringList TagClaimSql(const QString &tcode, const QString &zek, const QString &term, int count)
{
    // A locking read inside the passing's transaction: the passing is still there and
    // untaken (another station may have taken it since the snapshot), and it stays so
    // until this transaction ends.
    return {QStringLiteral("select use_mid from tag_rec"),
            QStringLiteral("where tcode='") + SqlEscape(tcode) + QStringLiteral("' and zek = '") + SqlEscape(zek) +
                QStringLiteral("'"),
            QStringLiteral("and term = '") + SqlEscape(term) + QStringLiteral("' and count = ") +
                QString::number(count) + QStringLiteral(" and use_mid=0"),
            QStringLiteral("for update")};
}

QStringList TagTakenMarkSql(const QString &tcode, const QString &zek, const QString &term, int count)
{
    // The count line matters: without it every record of the bib at the antenna is
    // marked, so a passing written by the chip-tag program while this pass runs (after the
    // snapshot) would be marked taken without ever being read: a lost mid time. Counts
    // run upward per tag and antenna, so "up to this count" still marks every earlier
    // record the lap rule skipped, and leaves the later ones for the next pass.
    return {QStringLiteral("update tag_rec set use_mid=1"),
            QStringLiteral("where tcode='") + SqlEscape(tcode) + QStringLiteral("' and zek = '") + SqlEscape(zek) +
                QStringLiteral("'"),
            QStringLiteral("and term = '") + SqlEscape(term) + QStringLiteral("'"),
            QStringLiteral("and count <= ") + QString::number(count)};
}

QStringList TagReadingInsertSql(const QString &tcode, const QString &zek, const QString &time, int count)
{
    return {QStringLiteral("insert into tag_rec (tcode,zek,term,time,count,use_mid) values ('") + SqlEscape(tcode) +
            QStringLiteral("','") + SqlEscape(zek) + QStringLiteral("','C1','") + SqlEscape(time) +
            QStringLiteral("',") + QString::number(count) + QStringLiteral(",0)")};
}
