// What the fuzz targets share: a check that ends the run with a report the fuzzer keeps
// (an abort is a crash to libFuzzer, and the input that caused it is saved), and a
// reader of SQL string literals as the server reads them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, what)                                                                                         \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

// The string literals of a statement as the server reads them in Shift-JIS: a lead byte
// (0x81-0x9F, 0xE0-0xFC) and the byte after it are one character, whatever that byte
// is (ソ and 表 end in 0x5C, which is no backslash there); a quote opens a
// literal, a doubled quote inside it is one quote, and a backslash escapes the next byte
// with the server's meanings (\0 \b \n \r \t \Z; \% and \_ keep their backslash; any
// other byte stands for itself). Returns -1 when a literal is left open.
inline int CountLiterals(const QByteArray &sql, QList<QByteArray> *values = nullptr)
{
    int count = 0;
    bool inside = false;
    QByteArray current;
    for (int i = 0; i < sql.size(); ++i) {
        const char c = sql.at(i);
        if (!inside) {
            if (c == '\'') {
                inside = true;
                current.clear();
            }
            continue;
        }
        const quint8 u = quint8(c);
        if (((u >= 0x81 && u <= 0x9F) || (u >= 0xE0 && u <= 0xFC)) && i + 1 < sql.size()) {
            current += c;
            current += sql.at(++i);
        } else if (c == '\\' && i + 1 < sql.size()) {
            const char e = sql.at(++i);
            switch (e) {
            case '0':
                current += '\0';
                break;
            case 'b':
                current += '\b';
                break;
            case 'n':
                current += '\n';
                break;
            case 'r':
                current += '\r';
                break;
            case 't':
                current += '\t';
                break;
            case 'Z':
                current += '\x1a';
                break;
            case '%':
                current += "\\%";
                break;
            case '_':
                current += "\\_";
                break;
            default:
                current += e;
                break;
            }
        } else if (c == '\'') {
            if (i + 1 < sql.size() && sql.at(i + 1) == '\'') {
                current += '\'';
                ++i;
            } else {
                inside = false;
                ++count;
                if (values)
                    values->append(current);
            }
        } else {
            current += c;
        }
    }
    return inside ? -1 : count;
}
