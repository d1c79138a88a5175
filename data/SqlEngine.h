#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class ResultSet;
class JetFile;
struct sqlite3;

// The statement engine of an open connection: an in-memory SQLite database that receives a
// copy of each table of the Jet file the first time a statement names it.
class SqlEngine
{
public:
    // Opens the Jet file read only and checks its database password. Throws EDatabaseError.
    SqlEngine(const QString &path, const QString &password);
    ~SqlEngine();
    SqlEngine(const SqlEngine &) = delete;
    SqlEngine &operator=(const SqlEngine &) = delete;

    // Runs one SELECT statement whose parameters are written as "?NNN" (1-based) and bound, in
    // order, to the given texts. Throws EDatabaseError with a Chinese message.
    std::unique_ptr<ResultSet> execute(const QString &sql, const QStringList &params);

    // Names of the tables of the file.
    QStringList tableNames() const;
    // Copies a table into the engine now (normally done on first use); returns the row count.
    int loadTable(const QString &name);
    bool isLoaded(const QString &name) const;

private:
    std::unique_ptr<JetFile> m_file;
    sqlite3 *m_db = nullptr;
    QStringList m_loaded;
    bool m_inserting = false; // a table's rows are going in
};
