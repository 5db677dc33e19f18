#include "Query.h"

#include "Errors.h"

int TField::AsInteger() const
{
    if (m_null)
        return 0;
    bool ok = false;
    const QString text = m_value.trimmed();
    const int value = text.toInt(&ok);
    if (ok)
        return value;
    const double real = text.toDouble(&ok);
    if (ok)
        return int(real);
    throw EDatabaseError(NotIntegerMessage(m_value));
}

TQuery::TQuery(TDatabase *database, const QString &name, QObject *parent) : QObject(parent), m_db(database)
{
    setObjectName(name);
    connect(m_db, &TDatabase::closing, this, &TQuery::Close);
}

void TQuery::SQLClear()
{
    Close();
    m_sql.clear();
}

void TQuery::SQLAdd(const QString &line)
{
    Close();
    m_sql << line;
}

void TQuery::setSQL(const QStringList &lines)
{
    Close();
    m_sql = lines;
}

void TQuery::setFieldDefs(const QList<TFieldDef> &defs)
{
    Close();
    m_defs = defs;
}

void TQuery::Open()
{
    if (m_active)
        return;
    TResultSet rows = m_db->execute(SQLText());
    if (!rows.hasRows)
        throw EDatabaseError(QStringLiteral("%1: 結果セットを返さない SQL は開けません。").arg(objectName()));
    for (const TFieldDef &def : m_defs) {
        if (!def.calc && !rows.names.contains(def.name, Qt::CaseInsensitive))
            throw EDatabaseError(QStringLiteral("%1: フィールド '%2' が見つかりません。").arg(objectName(), def.name));
    }
    m_rows = std::move(rows);
    m_active = true;
    m_row = 0;
    m_eof = m_rows.values.isEmpty();
    emit afterOpen();
}

void TQuery::Close()
{
    if (!m_active)
        return;
    emit beforeClose();
    m_active = false;
    m_rows = TResultSet();
    m_row = 0;
    m_eof = true;
    emit afterClose();
}

qulonglong TQuery::ExecSQL()
{
    return m_db->execute(SQLText()).affected;
}

void TQuery::First()
{
    MoveTo(0);
}

void TQuery::Next()
{
    if (!m_active)
        return;
    if (m_row + 1 < RecordCount()) {
        ++m_row;
        emit rowChanged();
    } else {
        m_eof = true;
    }
}

void TQuery::MoveTo(int row)
{
    if (!m_active)
        return;
    m_row = qBound(0, row, qMax(0, RecordCount() - 1));
    m_eof = RecordCount() == 0;
    emit rowChanged();
}

int TQuery::resultColumn(const QString &name) const
{
    for (int c = 0; c < m_rows.names.size(); ++c)
        if (m_rows.names[c].compare(name, Qt::CaseInsensitive) == 0)
            return c;
    // A column without alias is found by its bare function name too: max for max(zek).
    for (int c = 0; c < m_rows.names.size(); ++c) {
        const QString &column = m_rows.names[c];
        const int paren = column.indexOf(QLatin1Char('('));
        if (paren > 0 && column.left(paren).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

int TQuery::FieldIndex(const QString &name) const
{
    return resultColumn(name);
}

void TQuery::checkActive() const
{
    if (!m_active)
        throw EDatabaseError(QStringLiteral("%1: データセットが開いていません。").arg(objectName()));
}

TField TQuery::FieldByName(const QString &name) const
{
    checkActive();
    for (int f = 0; f < m_defs.size(); ++f) {
        if (m_defs[f].name.compare(name, Qt::CaseInsensitive) == 0) {
            if (m_eof && RecordCount() == 0)
                return TField(QString(), true);
            return TField(value(m_row, f), isNull(m_row, f));
        }
    }
    const int c = m_defs.isEmpty() ? resultColumn(name) : -1;
    if (c < 0)
        throw EDatabaseError(QStringLiteral("%1: フィールド '%2' が見つかりません。").arg(objectName(), name));
    if (RecordCount() == 0)
        return TField(QString(), true);
    return TField(m_rows.values[m_row][c], m_rows.nulls[m_row][c]);
}

int TQuery::FieldCount() const
{
    return m_defs.isEmpty() ? int(m_rows.names.size()) : int(m_defs.size());
}

QString TQuery::FieldName(int column) const
{
    if (m_defs.isEmpty())
        return column >= 0 && column < m_rows.names.size() ? m_rows.names[column] : QString();
    return column >= 0 && column < m_defs.size() ? m_defs[column].name : QString();
}

int TQuery::resultColumnOfField(int column) const
{
    if (m_defs.isEmpty())
        return column;
    if (column < 0 || column >= m_defs.size() || m_defs[column].calc)
        return -1;
    return resultColumn(m_defs[column].name);
}

QString TQuery::value(int row, int column) const
{
    if (!m_active || row < 0 || row >= RecordCount())
        return QString();
    if (!m_defs.isEmpty() && column >= 0 && column < m_defs.size() && m_defs[column].calc)
        return m_defs[column].calc(*this, row);
    const int c = resultColumnOfField(column);
    return c >= 0 && c < m_rows.names.size() ? m_rows.values[row][c] : QString();
}

QString TQuery::valueOf(int row, const QString &fieldName) const
{
    for (int f = 0; f < m_defs.size(); ++f)
        if (m_defs[f].name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return value(row, f);
    const int c = resultColumn(fieldName);
    if (!m_active || row < 0 || row >= RecordCount() || c < 0)
        return QString();
    return m_rows.values[row][c];
}

bool TQuery::isNull(int row, int column) const
{
    if (!m_active || row < 0 || row >= RecordCount())
        return true;
    const int c = resultColumnOfField(column);
    return c < 0 || c >= m_rows.names.size() || m_rows.nulls[row][c];
}

void TQuery::setValue(int row, int column, const QString &value)
{
    const int c = resultColumnOfField(column);
    if (!m_active || row < 0 || row >= RecordCount() || c < 0)
        return;
    m_rows.values[row][c] = value;
    m_rows.nulls[row][c] = false;
    emit dataChanged(row, column);
}
