#pragma once

#include "data/SqlEngine.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <string_view>

class Connection;
class Query;
class ResultSet;

// The SQL text of a query as a list of lines. Every change re-reads the named parameters.
class SqlLines
{
public:
    void Clear();
    void Add(const QString &line);
    int Count() const { return m_lines.size(); }
    const QStringList &lines() const { return m_lines; }
    // The statement as sent: every line followed by CR LF.
    QString text() const;

private:
    friend class Query;
    explicit SqlLines(Query *owner) : m_owner(owner) {}
    Query *m_owner;
    QStringList m_lines;
};

// A named parameter (":name" in the SQL text), compared as text.
class Parameter
{
public:
    QString Name;
    QString Value;
    bool hasValue = false;
    void setValue(const QString &value)
    {
        Value = value;
        hasValue = true;
    }
};

// A query object with a static cursor: the result is complete and counted when it opens.
class Query : public QObject
{
    Q_OBJECT
public:
    explicit Query(QObject *parent = nullptr);
    ~Query() override;

    void setConnection(Connection *connection);
    Connection *connection() const;

    SqlLines &SQL() { return m_sql; }
    const SqlLines &SQL() const { return m_sql; }

    // Parameters declared by the current SQL text, in order of first appearance.
    QStringList parameterNames() const;
    // Throws EDatabaseError when the text declares no such parameter (name without regard to case).
    Parameter *ParamByName(const QString &name);

    // Runs the statement (through Connection::runStatement: with a window's wait, off the
    // calling thread while its event loop runs). On failure throws EDatabaseError and the query
    // stays closed. An Open of this query from the event loop meanwhile waits for the same
    // statement and opens the query with its result; the first call then has nothing left to
    // do. A Close meanwhile (or new SQL text) drops the result on its way.
    void Open();
    // Runs the statement and hands its rows to `row` as they are made, keeping none (see
    // SqlEngine::stream); the query stays closed. Throws EDatabaseError.
    void Stream(const std::function<void(const QStringList &names, const SqlEngine::ValueTypes &types)> &begin,
                const SqlEngine::RowSink &row);
    // Lets the connection decode now what these statement texts will read (a window opening).
    void warmUp(const QStringList &statementTexts);
    void Close();
    bool Active() const;

    int RecordCount() const; // 0 when closed
    bool Bof() const;        // at-beginning flag; set on a closed or empty query
    bool Eof() const;        // at-end flag; set on a closed or empty query
    void First();
    void Last();
    void Prior();
    void Next();
    int RecNo() const;    // current record, 0-based; -1 when there is none
    void MoveTo(int row); // makes a record current (a click in the grid); clears both flags
                          // unless the result is empty

    // Field of the current record as text (null reads as ""); throws when the result lacks it.
    QString FieldByName(const QString &name) const;
    QStringList fieldNames() const;                   // result's fields in select-list order
    int fieldIndex(const QString &name) const;        // 0-based, -1 when absent (without regard to case)
    QString value(int row, int field) const;          // any record, for the grid
    std::string_view bytes(int row, int field) const; // the same as UTF-8, without a copy
    // The result itself (null when closed), for reading it off the GUI thread: held, it outlives
    // the query's taking another one meanwhile.
    std::shared_ptr<const ResultSet> result() const { return m_result; }

Q_SIGNALS:
    void activeChanged(bool active); // opened or closed: the result changed entirely
    void currentChanged(int row);    // the current record moved

private:
    friend class SqlLines;
    void sqlChanged();
    struct Opening;
    void take(const std::shared_ptr<Opening> &opening);
    void bindParameters(QString &statement, QStringList &values) const;

    Connection *m_connection = nullptr;
    SqlLines m_sql{this};
    QVector<Parameter> m_params;
    std::shared_ptr<const ResultSet> m_result;
    std::shared_ptr<Opening> m_opening; // the statement running for this query, if any
    int m_recNo = -1;
    bool m_bof = true;
    bool m_eof = true;
};
