#pragma once
// What the lssdb suites share: a set of good CSV files for `lssdb build`, files written and read
// whole, and the test's own database of every column type.

#include "jet/MdbRead.h"
#include "jet/SampleTables.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace lssdbtest {

inline const QString kLssdb = QStringLiteral(LSSDB_PATH);

inline const char *const kGoodCsv[][2] = {
    {"lawyer.csv", "l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain\r\n"
                   "1,张三,男,北京,北京,北京市朝阳区建国路88号,税务\r\n"
                   "2,\"O'Brien \"\"Bob\"\"\",,上海,\"\",,100%_done\r\n"
                   "3,\"李四\n第二行\",女,广东,广州,\"地址, 带逗号\",知识产权\r\n"},
    {"lawRoom.csv", "lr_Name,lr_director,lr_city,lr_province,lr_WebSite,lr_domain\n"
                    "北京金诚律师事务所,王五,北京,北京,http://www.firm1.example.com/,证券\n"},
    {"Hongkong.csv",
     "\xef\xbb\xbfh_name,h_post,h_address,h_domain\n陈大文 (CHAN Tai Man),合伙人,香港中环,刑法、家事法\n"},
    {"HongkongLawyerInfo.csv", "hl_domain,hl_name\n破产,的近律师行\n"}, // other order, hl_copartner left out
    {"Macao.csv", "mc_name,mc_date,mc_reg_date,mc_class,mc_domain\n黄一,1999-12-20,2001-01-02 10:20:30,执业律师,民事\n"
                  "林二,,,实习律师,\n"},
    {"Taiwan.csv", "tw_name,tw_sex,tw_city,tw_address,tw_domain\n林三,男,台北市,台北市信义区信义路五段7号,民事"},
};

inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeGoodCsv(const QString &dir)
{
    for (const auto &file : kGoodCsv)
        writeFile(QDir(dir).filePath(QString::fromLatin1(file[0])), QByteArray(file[1]));
}

// `lssdb ARGS...`, checked to succeed; its standard output.
inline QByteArray lssdbOk(const QStringList &args)
{
    const ToolResult r = runTool(kLssdb, args);
    if (r.exitCode != 0)
        qWarning("lssdb %s: %s", qPrintable(args.join(u' ')), r.err.constData());
    return r.exitCode == 0 ? r.out : QByteArray("FAILED");
}

// Table "t" of sample::columns() with `rows` rows of sample::row(), in `path`, no password.
inline void writeSampleFile(const QString &path, int rows)
{
    jet::Writer w(path, QString());
    w.beginTable({QStringLiteral("t"), sample::columns()});
    for (int i = 0; i < rows; ++i)
        w.addRow(sample::row(i).values);
    w.endTable();
    w.finish();
}

} // namespace lssdbtest
