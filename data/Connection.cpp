#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/SqlEngine.h"

#include <QRegularExpression>
#include <QThread>

namespace {

// Windows reads a run of "\" and "/" as one separator. Elsewhere "\" is an ordinary character of
// file names; only a name made of backslashes alone between two "/" (the data module writes
// "<dir>/\/lss.dll") is read as part of one separator, with any run of "/".
QString normalizedPath(const QString &path)
{
#ifdef Q_OS_WIN
    static const QRegularExpression separators(QStringLiteral("[\\\\/]+"));
#else
    static const QRegularExpression separators(QStringLiteral("/(?:\\\\*/)+"));
#endif
    QString p = path;
    p.replace(separators, QStringLiteral("/"));
    return p;
}

} // namespace

Connection::Connection(QObject *parent) : QObject(parent) {}

Connection::~Connection() = default;

void Connection::setConnectionString(const QString &text)
{
    m_connectionString = text;
}

QString Connection::connectionString() const
{
    return m_connectionString;
}

void Connection::setConnected(bool connected)
{
    if (connected == this->connected())
        return;
    if (!connected) {
        m_engine.reset();
        Q_EMIT connectedChanged(false);
        return;
    }
    QList<QPair<QString, QString>> items;
    QString malformed;
    if (!parseConnectionString(m_connectionString, &items, &malformed))
        throw EDatabaseError(QStringLiteral("连接字符串无效: %1。").arg(malformed));
    const QString source = connectionValue(items, QStringLiteral("Data Source"));
    const QString password = connectionValue(items, QStringLiteral("Jet OLEDB:Database Password"));
    if (source.isEmpty())
        throw EDatabaseError(QStringLiteral("找不到文件 ''。"));
    m_engine = std::make_unique<SqlEngine>(normalizedPath(source), password);
    // The engine goes before this object does, and takes its worker with it: the call never
    // outlives the connection.
    m_engine->setWarmUpFinished([this] {
        QMetaObject::invokeMethod(this, [this] { Q_EMIT warmUpFinished(); }, Qt::QueuedConnection);
    });
    Q_EMIT connectedChanged(true);
}

bool Connection::connected() const
{
    return m_engine != nullptr;
}

void Connection::ensureOpen()
{
    if (!connected())
        setConnected(true);
}

SqlEngine *Connection::engine() const
{
    return m_engine.get();
}

void Connection::warmUp(const QStringList &statementTexts)
{
    if (!m_engine)
        return;
    const QString text = statementTexts.join(QLatin1Char(' '));
    static const QRegularExpression from(QStringLiteral("\\bfrom\\s+(\\w+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = from.match(text);
    if (!m.hasMatch())
        return;
    const QString table = m.captured(1);
    if (!m_engine->tableNames().contains(table, Qt::CaseInsensitive))
        return;
    static const QRegularExpression word(QStringLiteral("\\w+"));
    QStringList words;
    for (auto it = word.globalMatch(text); it.hasNext();)
        words << it.next().captured();
    try {
        m_engine->startWarmUp(table, words);
    } catch (...) {
        // Only a head start: the statement that needs the columns decodes them and reports
        // what goes wrong.
    }
}

bool Connection::warmUpRunning() const
{
    return m_engine && m_engine->warmUpRunning();
}

void Connection::setWarmUpWait(std::function<void(Connection &)> wait)
{
    m_warmUpWait = std::move(wait);
}

void Connection::waitForWarmUp()
{
    if (!warmUpRunning())
        return;
    if (m_warmUpWait) {
        m_warmUpWait(*this);
    } else {
        while (warmUpRunning())
            QThread::msleep(2);
    }
    if (m_engine)
        m_engine->finishWarmUp();
}
