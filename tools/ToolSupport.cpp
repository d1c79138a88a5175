#include "tools/ToolSupport.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

void printError(const QString &command, const QString &message)
{
    const QByteArray text =
        QByteArrayLiteral("lssdb ") + command.toUtf8() + QByteArrayLiteral(": ") + message.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

QString systemErrorText(int error)
{
    switch (error) {
    case ENOENT: return QStringLiteral("没有那个文件或目录");
    case EACCES:
    case EPERM: return QStringLiteral("权限不够");
    case ENOSPC: return QStringLiteral("设备上没有空间");
    case EROFS: return QStringLiteral("只读文件系统");
    case EISDIR: return QStringLiteral("是一个目录");
    case ENOTDIR: return QStringLiteral("不是目录");
    case EEXIST: return QStringLiteral("文件已存在");
    case EXDEV: return QStringLiteral("不能跨文件系统改名");
    case EIO: return QStringLiteral("输入/输出错误");
    case EDQUOT: return QStringLiteral("超出磁盘配额");
    case ENAMETOOLONG: return QStringLiteral("文件名过长");
    case ELOOP: return QStringLiteral("符号链接层数过多");
    case EFBIG: return QStringLiteral("文件过大（超出文件大小限制）");
    default: return QStringLiteral("系统错误 %1 (%2)").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

QString fileErrorText(const QFileDevice &file)
{
    switch (file.error()) {
    case QFileDevice::PermissionsError: return systemErrorText(EACCES);
    case QFileDevice::ResourceError: return QStringLiteral("资源不足（磁盘可能已满）");
    case QFileDevice::WriteError: return QStringLiteral("写入失败（磁盘可能已满）");
    case QFileDevice::ReadError: return QStringLiteral("读取失败");
    case QFileDevice::OpenError:
        return QFileInfo::exists(file.fileName()) ? QStringLiteral("无法打开") : systemErrorText(ENOENT);
    default: return QStringLiteral("文件操作失败 (%1)").arg(file.errorString());
    }
}

namespace {

// The system's own text at the end of a writer message, in Chinese.
QString chineseReason(const QString &reason)
{
    for (int e : {ENOENT, EACCES, EPERM, ENOSPC, EROFS, EISDIR, ENOTDIR, EEXIST, EXDEV, EIO, EDQUOT, ENAMETOOLONG,
                  ELOOP, EFBIG})
        if (reason == QString::fromLocal8Bit(std::strerror(e)))
            return systemErrorText(e);
    return reason;
}

// An option's form; a statement that begins with an SQL comment "--" is not one.
bool looksLikeOption(const QString &arg)
{
    static const QRegularExpression option(QStringLiteral("^--[A-Za-z][A-Za-z-]*(=.*)?\\z"),
                                           QRegularExpression::DotMatchesEverythingOption);
    return option.match(arg).hasMatch();
}

} // namespace

QString writerErrorInChinese(const QString &message)
{
    struct Rule
    {
        const char *pattern;
        const char *chinese;
    };
    // Each message the writer gives (the column's place is the same words in both).
    static const Rule rules[] = {
        {"^password too long \\((\\d+) characters, at most (\\d+)\\)$", "密码过长（%1 个字符，最多 %2 个）"},
        {"^cannot create a file beside (.*): (.*)$", "无法在 %1 旁边创建文件: %2"},
        {"^cannot write (.*): (.*)$", "无法写入 %1: %2"},
        {"^cannot rename (.*) to (.*): (.*)$", "无法将 %1 改名为 %2: %3"},
        {"^database too large: a Jet 4 file holds at most 2 GB$", "数据库过大: Jet 4 文件最多 2 GB"},
        {"^database too large for Jet 4 usage maps$", "数据库过大，超出 Jet 4 使用映射能记录的页"},
        {"^(.*): value too long \\((\\d+) characters, at most (\\d+)\\)$", "%1: 值过长（%2 个字符，最多 %3 个）"},
        {"^(.*): value too long \\((\\d+) bytes, at most 255\\)$", "%1: 值过长（%2 字节，最多 255 字节）"},
        {"^(.*): value too long \\((\\d+) characters\\)$", "%1: 值过长（%2 个字符）"},
        {"^table (.*), row (\\d+): row too large \\((\\d+) bytes, at most (\\d+)\\)$",
         "表 %1 第 %2 行: 行过大（%3 字节，最多 %4 字节）"},
        {"^(.*): a text that begins with U\\+FEFF cannot hold U\\+0000 or a character whose low byte is 0$",
         "%1: 以 U+FEFF 开头的文本不能含有 U+0000 或低字节为 0 的字符"},
        {"^(.*): not a date: (.*)$", "%1: 不是日期: %2"},
        {"^(.*): not a (.*) value: (.*)$", "%1: 不是 %2 值: %3"},
    };
    // The place of a value, as every message of a value gives it.
    static const QRegularExpression place(QStringLiteral("^table (.+?), row (\\d+), column ([^:]+):"));
    QString text = message;
    text.replace(place, QStringLiteral("表 \\1 第 \\2 行, 列 \\3:"));
    for (const Rule &rule : rules) {
        const QRegularExpression re(QString::fromLatin1(rule.pattern), QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch m = re.match(text);
        if (!m.hasMatch())
            continue;
        QString out = QString::fromUtf8(rule.chinese);
        for (int i = 1; i <= m.lastCapturedIndex(); ++i) {
            QString part = m.captured(i);
            if (i == m.lastCapturedIndex() && QByteArray(rule.pattern).contains("cannot"))
                part = chineseReason(part);
            out = out.arg(part);
        }
        return out;
    }
    return QStringLiteral("写入数据库失败: %1").arg(text);
}

bool splitOption(const QString &arg, QString *name, QString *value)
{
    *name = arg;
    value->clear();
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq < 0 || !looksLikeOption(arg))
        return false;
    *name = arg.left(eq);
    *value = arg.mid(eq + 1);
    return true;
}

bool parseOptions(const QStringList &args, const QStringList &flags, const QStringList &valued, ToolOptions *options,
                  QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        QString name;
        QString value;
        const bool joined = splitOption(args.at(i), &name, &value);
        if (name == QLatin1String("--password") || valued.contains(name)) {
            if (!joined) {
                if (i + 1 >= args.size()) {
                    *error = QStringLiteral("%1 需要一个值").arg(name);
                    return false;
                }
                value = args.at(++i);
            }
            if (name == QLatin1String("--password")) {
                options->password = value;
                options->hasPassword = true;
            } else {
                options->values.append({name, value});
            }
        } else if (flags.contains(name)) {
            if (joined) {
                *error = QStringLiteral("%1 不带值").arg(name);
                return false;
            }
            options->flags << name;
        } else if (looksLikeOption(args.at(i))) {
            *error = QStringLiteral("未知选项 %1").arg(name);
            return false;
        } else {
            options->positional << args.at(i);
        }
    }
    return true;
}

void appendCsvField(QByteArray &out, std::string_view bytes, bool null)
{
    if (null)
        return;
    bool quote = bytes.empty() || (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF");
    for (size_t i = 0; i < bytes.size() && !quote; ++i)
        quote = bytes[i] == ',' || bytes[i] == '"' || bytes[i] == '\n' || bytes[i] == '\r';
    if (!quote) {
        out.append(bytes.data(), qsizetype(bytes.size()));
        return;
    }
    out.append('"');
    for (char c : bytes) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}
