#include "data/SqlErrors.h"

#include "data/DatabaseError.h"
#include "data/TextCompare.h"
#include "data/jet/JetError.h"
#include "data/jet/JetTypes.h"

#include <sqlite3.h>

namespace sqlerrors {
namespace {

constexpr char kNoSuchTable[] = "找不到表 '%1'。";

QString unquoted(QString s)
{
    if (s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"')))
        s = s.mid(1, s.size() - 2);
    return s;
}

// SQLite words each mistake in a statement in a fixed English pattern that names the table,
// column, function or token concerned. The pattern only picks the Chinese wording; an unknown
// one still gives a Chinese message, with SQLite's text as the detail.
struct Wording
{
    const char *prefix;
    const char *suffix;
    const char *chinese; // %1: what lies between prefix and suffix
};

const Wording kWordings[] = {
    {"no such table: ", "", kNoSuchTable},
    {"no such column: ", "", "找不到列 '%1'。"},
    {"no such function: ", "", "表达式中有未定义的函数 '%1'。"},
    {"ambiguous column name: ", "", "列名 '%1' 不明确。"},
    {"unrecognized token: ", "", "语法错误: 无法识别的符号 '%1'。"},
    {"near ", ": syntax error", "语法错误: '%1' 附近。"},
    {"wrong number of arguments to function ", "()", "函数 '%1' 的参数个数不正确。"},
    {"misuse of aggregate: ", "()", "聚合函数 '%1' 用在了不允许的位置。"},
    {"misuse of aggregate function ", "()", "聚合函数 '%1' 用在了不允许的位置。"},
    {"misuse of window function ", "()", "窗口函数 '%1' 用在了不允许的位置。"},
    {"no such collation sequence: ", "", "找不到排序规则 '%1'。"},
    {"no such window: ", "", "找不到窗口 '%1'。"},
    {"no tables specified", "", "语句没有指定表。"},
    {"incomplete input", "", "语法错误: 语句不完整。"},
    {"a GROUP BY clause is required before HAVING", "", "HAVING 子句之前必须有 GROUP BY 子句。"},
    {"sub-select returns ", "", "子查询返回的列数不对: %1。"},
    {"row value misused", "", "行值用在了不允许的位置。"},
    {"integer overflow", "", "整数溢出。"},
    {"parser stack overflow", "", "语句嵌套过深。"},
    {"Expression tree is too large", "", "表达式过于复杂。"},
    {"LIKE or GLOB pattern too complex", "", "模式字符串过于复杂。"},
    {"too many terms in compound SELECT", "", "复合查询中的 SELECT 过多。"},
    {"too many columns in result set", "", "结果中的列过多。"},
};

QString worded(const QString &msg)
{
    for (const Wording &w : kWordings) {
        const QString prefix = QString::fromLatin1(w.prefix);
        const QString suffix = QString::fromLatin1(w.suffix);
        if (!msg.startsWith(prefix) || !msg.endsWith(suffix) || msg.size() < prefix.size() + suffix.size())
            continue;
        const QString chinese = QString::fromUtf8(w.chinese);
        if (!chinese.contains(QLatin1String("%1")))
            return chinese;
        QString subject = unquoted(msg.mid(prefix.size(), msg.size() - prefix.size() - suffix.size()).trimmed());
        if (QLatin1String(w.prefix) == QLatin1String("sub-select returns "))
            subject = msg; // the counts, as SQLite gives them
        return chinese.arg(subject);
    }
    return QString();
}

} // namespace

QString readOnly()
{
    return QStringLiteral("数据库以只读方式打开，只能执行查询语句。");
}

QString outOfMemory()
{
    return QStringLiteral("内存不足，无法完成查询。");
}

QString outOfMemoryReading()
{
    return QStringLiteral("内存不足，无法读取数据库。");
}

QString outOfMemoryOpening()
{
    return QStringLiteral("内存不足，无法打开数据库。");
}

QString outOfMemoryReadingTable(const QString &table)
{
    return QStringLiteral("内存不足，无法读取表 '%1'。").arg(table);
}

QString fileNotFound(const QString &path)
{
    return QStringLiteral("找不到文件 '%1'。").arg(path);
}

QString damaged(const QString &path)
{
    return QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。").arg(path);
}

QString noSuchTable(const QString &table)
{
    return QString::fromUtf8(kNoSuchTable).arg(table);
}

QString message(const jet::Error &e)
{
    switch (e.kind()) {
    case jet::Error::NotFound: return fileNotFound(e.path());
    case jet::Error::NoSuchTable: return noSuchTable(e.table());
    case jet::Error::CannotOpen: return QStringLiteral("无法打开文件 '%1'，它可能被占用或没有读取权限。").arg(e.path());
    case jet::Error::Directory: return QStringLiteral("'%1' 是一个目录，不是数据库文件。").arg(e.path());
    case jet::Error::NotRegular: return QStringLiteral("'%1' 不是普通文件，不能作为数据库打开。").arg(e.path());
    case jet::Error::Unrecognised: return QStringLiteral("无法识别的数据库格式 '%1'。").arg(e.path());
    case jet::Error::BadPassword: return QStringLiteral("密码无效。");
    case jet::Error::Damaged: return damaged(e.path());
    case jet::Error::Unsupported:
        return QStringLiteral("无法读取表 '%1' 的列 '%2'：不支持的数据类型（%3）。")
            .arg(e.table(), e.column(), jet::typeName(e.type()));
    case jet::Error::OutOfMemory: return outOfMemoryReading();
    case jet::Error::Failed: break;
    }
    // The writer's text: the engine never writes, so this is the tools' concern.
    return e.message();
}

QString changedWhileRead()
{
    return QStringLiteral("数据库文件在查询时被反复更改，请稍后重试。");
}

QString message(sqlite3 *db, int rc)
{
    const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
    switch (rc & 0xFF) {
    case SQLITE_NOMEM: return outOfMemory();
    case SQLITE_INTERRUPT: return QStringLiteral("查询已中断。");
    case SQLITE_AUTH:
    case SQLITE_READONLY:
    case SQLITE_PERM: return readOnly();
    case SQLITE_TOOBIG: return QStringLiteral("查询中的文本或值太长。详细信息: %1").arg(msg);
    case SQLITE_RANGE: return QStringLiteral("参数对象被不正确地定义。提供了不一致或不完整的信息。");
    case SQLITE_ERROR: {
        // The engine's own functions speak Chinese already.
        for (const char *own : {jettext::kBadPattern, jettext::kBadEscape, jettext::kLongPattern})
            if (msg == QString::fromUtf8(own))
                return msg;
        const QString chinese = worded(msg);
        if (!chinese.isEmpty())
            return chinese;
        if (msg.endsWith(QLatin1String(" may not be modified")))
            return readOnly();
        return QStringLiteral("SQL 语句错误。详细信息: %1").arg(msg);
    }
    default: return QStringLiteral("执行查询时出错。详细信息: %1").arg(msg);
    }
}

void fail(sqlite3 *db, int rc)
{
    throw EDatabaseError(message(db, rc));
}

} // namespace sqlerrors
