// Fuzz target: SqlEscape, the one quoting helper of every statement, on any Unicode text
// (the input read as UTF-16, so lone surrogates and the yen sign come too).
//
// Checks, besides the sanitizers: a statement with the escaped value between quotes,
// encoded in Shift-JIS as it is sent, holds exactly one string literal as the server reads
// it, and that literal is the value's own Shift-JIS bytes: no text closes the quote early.
#include "FuzzCheck.h"
#include "SqlEscape.h"
#include "Sjis.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString value = QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    const QString statement =
        QStringLiteral("select * from result where zek='") + SqlEscape(value) + QStringLiteral("' and tcode='R1'");
    QList<QByteArray> literals;
    FUZZ_CHECK(CountLiterals(Sjis::encode(statement), &literals) == 2, "the value changed the statement's literals");
    FUZZ_CHECK(literals[0] == Sjis::encode(value), "the literal is not the value");
    FUZZ_CHECK(literals[1] == "R1", "the literal after the value changed");
    return 0;
}
