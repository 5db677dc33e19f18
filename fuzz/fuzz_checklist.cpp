// Fuzz target: the check list's statements, built from an event code, a bib and typed
// cells that may hold anything (the operator types into the grid). The input is cut at
// 0x1F into event, bib, then pairs of column and value; a column byte picks one of the
// mid times or a name that is not one.
//
// Checks, besides the sanitizers: a column that is not a mid time is refused (and only
// then); every statement, encoded in Shift-JIS as it is sent, holds exactly its own
// literals in order, each the value's own bytes; the list's query holds the event alone.
#include "Errors.h"
#include "FuzzCheck.h"
#include "MidPoints.h"
#include "ResultStatements.h"
#include "Sjis.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> fields = QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\x1f');
    const QString tcode = Sjis::decode(fields.value(0));
    const QString zek = Sjis::decode(fields.value(1));
    const QStringList columns = MidTimeColumns();
    QList<QPair<QString, QString>> changes;
    bool unknown = false;
    for (int i = 2; i + 1 < fields.size(); i += 2) {
        const quint8 pick = fields[i].isEmpty() ? 0 : quint8(fields[i][0]);
        // Each mid time, then two names that are not one.
        const int kind = pick % (MidPointCount + 2);
        const QString column = kind < MidPointCount    ? columns[kind]
                               : kind == MidPointCount ? QStringLiteral("zek")
                                                       : QStringLiteral("midtime1'--");
        unknown = unknown || kind >= MidPointCount;
        changes.append({pick & 0x80 ? column.toUpper() : column, Sjis::decode(fields[i + 1])});
    }

    QList<QByteArray> literals;
    const QByteArray query =
        Sjis::encode(CheckListSql(QStringLiteral("select *"), tcode).join(QStringLiteral("\r\n")));
    FUZZ_CHECK(CountLiterals(query, &literals) == 1 && literals[0] == Sjis::encode(tcode), "query literals");

    QStringList update;
    try {
        update = CheckListUpdateSql(tcode, zek, changes);
    } catch (const EStationError &) {
        FUZZ_CHECK(unknown, "a mid-time column was refused");
        return 0;
    }
    FUZZ_CHECK(!unknown, "a column that is not a mid time was written");
    QList<QByteArray> expected;
    for (const auto &change : changes)
        expected << Sjis::encode(change.second);
    expected << Sjis::encode(tcode) << Sjis::encode(zek);
    literals.clear();
    const int count = CountLiterals(Sjis::encode(update.join(QStringLiteral("\r\n"))), &literals);
    FUZZ_CHECK(count == expected.size() && literals == expected, "update literals are not the values");
    return 0;
}
