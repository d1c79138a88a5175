#include "data/Query.h"

#include "data/Connection.h"
#include "data/DatabaseError.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"

#include <exception>

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Walks a statement and reports every parameter reference (":name" outside quoted text) with
// its position; "::" is a literal colon.
template <class F>
void scanParameters(const QString &text, F &&onParameter)
{
    QChar quote;
    const int n = int(text.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('[')) {
            quote = QLatin1Char(']');
        } else if (c == QLatin1Char(':')) {
            if (i + 1 < n && text.at(i + 1) == QLatin1Char(':')) {
                ++i;
                continue;
            }
            int j = i + 1;
            while (j < n && isNameChar(text.at(j)))
                ++j;
            if (j > i + 1)
                onParameter(i, j - i, text.mid(i + 1, j - i - 1));
            i = j - 1;
        }
    }
}

[[noreturn]] void closedDataSet()
{
    throw EDatabaseError(QStringLiteral("不能对已关闭的数据集执行此操作。"));
}

} // namespace

void SqlLines::Clear()
{
    m_lines.clear();
    m_owner->sqlChanged();
}

void SqlLines::Add(const QString &line)
{
    m_lines.append(line);
    m_owner->sqlChanged();
}

QString SqlLines::text() const
{
    QString s;
    for (const QString &line : m_lines) {
        s += line;
        s += QLatin1String("\r\n");
    }
    return s;
}

Query::Query(QObject *parent) : QObject(parent) {}

Query::~Query() = default;

void Query::setConnection(Connection *connection)
{
    m_connection = connection;
}

Connection *Query::connection() const
{
    return m_connection;
}

void Query::sqlChanged()
{
    // A new text means a new statement: an open result no longer belongs to it.
    Close();
    QVector<Parameter> params;
    scanParameters(m_sql.text(), [&](int, int, const QString &name) {
        for (const Parameter &p : params)
            if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
                return;
        Parameter p;
        p.Name = name;
        // A name still present keeps its value.
        for (const Parameter &old : m_params) {
            if (old.Name.compare(name, Qt::CaseInsensitive) == 0) {
                p.Value = old.Value;
                p.hasValue = old.hasValue;
                break;
            }
        }
        params.append(p);
    });
    m_params = params;
}

QStringList Query::parameterNames() const
{
    QStringList names;
    for (const Parameter &p : m_params)
        names << p.Name;
    return names;
}

Parameter *Query::ParamByName(const QString &name)
{
    for (Parameter &p : m_params)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    throw EDatabaseError(QStringLiteral("找不到参数 '%1'。").arg(name));
}

// A statement run for this query and what it gave; shared with the thread that runs it, which
// may end after the query has gone.
struct Query::Opening
{
    std::unique_ptr<ResultSet> result;
    std::exception_ptr error;
    bool taken = false;
};

void Query::Open()
{
    if (Active())
        return;
    if (!m_connection)
        throw EDatabaseError(QStringLiteral("缺少连接或连接字符串。"));
    if (const std::shared_ptr<Opening> running = m_opening) {
        // Called from the event loop while this query's statement runs: that one is the result.
        m_connection->waitForStatement();
        take(running);
        return;
    }
    // Another query's statement first (its wait may close the connection).
    m_connection->waitForStatement();
    m_connection->ensureOpen();

    QString statement;
    QStringList values;
    bindParameters(statement, values);
    auto opening = std::make_shared<Opening>();
    m_opening = opening;
    SqlEngine *engine = m_connection->engine();
    try {
        m_connection->runStatement([opening, engine, statement, values] {
            try {
                opening->result = engine->execute(statement, values);
            } catch (...) {
                opening->error = std::current_exception();
            }
        });
    } catch (...) {
        if (m_opening == opening)
            m_opening.reset();
        throw;
    }
    take(opening);
}

// Every reference becomes a numbered placeholder, so a parameter used twice binds one value.
void Query::bindParameters(QString &statement, QStringList &values) const
{
    const QString text = m_sql.text();
    int last = 0;
    QString missing;
    scanParameters(text, [&](int pos, int len, const QString &name) {
        int index = -1;
        for (int k = 0; k < m_params.size(); ++k)
            if (m_params[k].Name.compare(name, Qt::CaseInsensitive) == 0)
                index = k;
        statement += text.mid(last, pos - last);
        statement += QStringLiteral("?%1").arg(index + 1);
        last = pos + len;
        if (index >= 0 && !m_params[index].hasValue && missing.isEmpty())
            missing = name;
    });
    statement += text.mid(last);
    if (!missing.isEmpty())
        throw EDatabaseError(QStringLiteral("参数 '%1' 没有默认值。").arg(missing));
    for (const Parameter &p : m_params)
        values << p.Value;
}

// Opens the query with a finished statement's result, or throws its error; once only, and not
// after the query was closed (or its text changed) meanwhile.
void Query::take(const std::shared_ptr<Opening> &opening)
{
    if (m_opening != opening || opening->taken)
        return;
    m_opening.reset();
    opening->taken = true;
    if (opening->error)
        std::rethrow_exception(opening->error);
    m_result = std::move(opening->result);
    if (m_result->rowCount() > 0) {
        m_recNo = 0;
        m_bof = true;
        m_eof = false;
    } else {
        m_recNo = -1;
        m_bof = m_eof = true;
    }
    Q_EMIT activeChanged(true);
    Q_EMIT currentChanged(m_recNo);
}

void Query::Stream(const std::function<void(const QStringList &, const SqlEngine::ValueTypes &)> &begin,
                   const SqlEngine::RowSink &row)
{
    if (!m_connection)
        throw EDatabaseError(QStringLiteral("缺少连接或连接字符串。"));
    m_connection->ensureOpen();
    QString statement;
    QStringList values;
    bindParameters(statement, values);
    m_connection->engine()->stream(statement, values, begin, row);
}

void Query::warmUp(const QStringList &statementTexts)
{
    if (m_connection)
        m_connection->warmUp(statementTexts);
}

void Query::Close()
{
    m_opening.reset(); // a statement still running: its result is not this query's any more
    if (!m_result)
        return;
    m_result.reset();
    m_recNo = -1;
    m_bof = m_eof = true;
    Q_EMIT activeChanged(false);
}

bool Query::Active() const
{
    return m_result != nullptr;
}

int Query::RecordCount() const
{
    return m_result ? m_result->rowCount() : 0;
}

bool Query::Bof() const
{
    return m_bof;
}

bool Query::Eof() const
{
    return m_eof;
}

void Query::First()
{
    if (!m_result)
        closedDataSet();
    if (m_result->rowCount() == 0)
        return;
    m_recNo = 0;
    m_bof = true;
    m_eof = false;
    Q_EMIT currentChanged(m_recNo);
}

void Query::Last()
{
    if (!m_result)
        closedDataSet();
    if (m_result->rowCount() == 0)
        return;
    m_recNo = m_result->rowCount() - 1;
    m_bof = false;
    m_eof = true;
    Q_EMIT currentChanged(m_recNo);
}

void Query::Prior()
{
    if (!m_result)
        closedDataSet();
    if (m_result->rowCount() == 0)
        return;
    m_bof = m_eof = false;
    if (m_recNo == 0)
        m_bof = true;
    else
        --m_recNo;
    Q_EMIT currentChanged(m_recNo);
}

void Query::Next()
{
    if (!m_result)
        closedDataSet();
    if (m_result->rowCount() == 0)
        return;
    m_bof = m_eof = false;
    if (m_recNo == m_result->rowCount() - 1)
        m_eof = true;
    else
        ++m_recNo;
    Q_EMIT currentChanged(m_recNo);
}

int Query::RecNo() const
{
    return m_recNo;
}

void Query::MoveTo(int row)
{
    if (!m_result)
        closedDataSet();
    if (m_result->rowCount() == 0 || row < 0 || row >= m_result->rowCount())
        return;
    if (row == m_recNo)
        return;
    m_recNo = row;
    m_bof = m_eof = false;
    Q_EMIT currentChanged(m_recNo);
}

QString Query::FieldByName(const QString &name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw EDatabaseError(QStringLiteral("找不到字段 '%1'。").arg(name));
    return m_result->value(m_recNo, index);
}

QStringList Query::fieldNames() const
{
    return m_result ? m_result->fieldNames() : QStringList();
}

int Query::fieldIndex(const QString &name) const
{
    return m_result ? m_result->fieldIndex(name) : -1;
}

QString Query::value(int row, int field) const
{
    return m_result ? m_result->value(row, field) : QString();
}

std::string_view Query::bytes(int row, int field) const
{
    return m_result ? m_result->bytes(row, field) : std::string_view();
}
