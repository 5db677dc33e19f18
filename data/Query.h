// A query object of the data module: SQL text as a list of lines (joined by CR LF when
// sent), opened for rows or executed, fields read by name without regard to case.
#pragma once

#include "Database.h"

#include <QObject>
#include <QStringList>
#include <functional>

class TQuery;

// A declared field of a query: what its grid shows, in this order.
struct TFieldDef {
    QString name;
    std::function<QString(const TQuery &, int row)> calc; // set for calculated fields
};

// The value of one field of the current row. NULL reads as "" or 0.
class TField
{
public:
    TField(const QString &value, bool null) : m_value(value), m_null(null) {}
    QString AsString() const { return m_value; }
    int AsInteger() const;
    bool IsNull() const { return m_null; }

private:
    QString m_value;
    bool m_null;
};

class TQuery : public QObject
{
    Q_OBJECT
public:
    TQuery(TDatabase *database, const QString &name, QObject *parent = nullptr);

    // Changing the text closes the query, as the next Open must run the new text.
    void SQLClear();
    void SQLAdd(const QString &line);
    void setSQL(const QStringList &lines);
    const QStringList &SQL() const { return m_sql; }
    QString SQLText() const { return SQLText(m_sql); }
    static QString SQLText(const QStringList &lines) { return lines.join(QStringLiteral("\r\n")); }

    // Declared fields restrict and order what FieldByName and the grids see; without
    // them every column of the result is a field.
    void setFieldDefs(const QList<TFieldDef> &defs);
    const QList<TFieldDef> &fieldDefs() const { return m_defs; }

    void Open(); // runs the text for rows; nothing when already open
    void Close();
    // Runs the text as a statement without rows; the rows it changed.
    qulonglong ExecSQL();
    bool Active() const { return m_active; }

    int RecordCount() const { return m_active ? int(m_rows.values.size()) : 0; }
    int RecNo() const { return m_row; } // 0-based current row
    bool Eof() const { return !m_active || m_eof; }
    void First();
    void Next();
    void MoveTo(int row);

    // Raises EDatabaseError when the query has no such field.
    TField FieldByName(const QString &name) const;
    int FieldIndex(const QString &name) const; // -1 when absent (result columns only)

    // Fields as the grids see them: declared fields, or every result column.
    int FieldCount() const;
    QString FieldName(int column) const;
    QString value(int row, int column) const;
    QString valueOf(int row, const QString &fieldName) const;
    bool isNull(int row, int column) const;
    // Changes a value held by the open query (the grid's edit, before it is written back).
    void setValue(int row, int column, const QString &value);

    const TResultSet &rows() const { return m_rows; }

signals:
    void afterOpen();
    void beforeClose();
    void afterClose();
    void rowChanged();
    void dataChanged(int row, int column);

private:
    int resultColumn(const QString &name) const;
    int resultColumnOfField(int column) const;
    void checkActive() const;

    TDatabase *m_db;
    QStringList m_sql;
    QList<TFieldDef> m_defs;
    TResultSet m_rows;
    bool m_active = false;
    bool m_eof = true;
    int m_row = 0;
};
