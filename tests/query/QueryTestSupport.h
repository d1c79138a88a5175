#pragma once

// Shared by the query-window suites: a directory database built with lssdb from CSV texts, the
// data module and a real launcher around it.

#include "app/Application.h"
#include "app/Datemodule.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "launcher/One.h"
#include "support/BoxCloser.h"
#include "support/RecordingShell.h"
#include "support/UserInput.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QtTest>

namespace querytest {

// Every table of the directory, with its CSV header row. Tables not given get no rows.
inline QMap<QString, QString> csvHeaders()
{
    return {
        {QStringLiteral("lawyer"), QStringLiteral("l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain")},
        {QStringLiteral("lawRoom"), QStringLiteral("lr_Name,lr_director,lr_city,lr_province,lr_WebSite,lr_domain")},
        {QStringLiteral("Hongkong"), QStringLiteral("h_name,h_post,h_address,h_domain")},
        {QStringLiteral("HongkongLawyerInfo"), QStringLiteral("hl_name,hl_copartner,hl_domain")},
        {QStringLiteral("Macao"), QStringLiteral("mc_name,mc_date,mc_reg_date,mc_class,mc_domain")},
        {QStringLiteral("Taiwan"), QStringLiteral("tw_name,tw_sex,tw_city,tw_address,tw_domain")},
    };
}

// Writes one CSV per table into dir/csv (rows: table -> CSV lines without the header) and runs
// "lssdb build" into dir/name. Returns the database path, or an empty text on failure.
inline QString buildDatabase(const QString &dir, const QMap<QString, QStringList> &rows,
                             const QString &name = QStringLiteral("lss.dll"))
{
    const QString csvDir = QDir(dir).filePath(QStringLiteral("csv-") + name);
    QDir().mkpath(csvDir);
    const auto headers = csvHeaders();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        QFile f(QDir(csvDir).filePath(it.key() + QStringLiteral(".csv")));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        QString text = it.value() + QStringLiteral("\r\n");
        for (const QString &line : rows.value(it.key()))
            text += line + QStringLiteral("\r\n");
        f.write(text.toUtf8());
    }
    const QString out = QDir(dir).filePath(name);
    QProcess p;
    p.start(QStringLiteral(LSSDB_PATH), {QStringLiteral("build"), out, csvDir});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        qWarning("lssdb build failed: %s", p.readAllStandardError().constData());
        return {};
    }
    return out;
}

// Closes a query window as a user does; it must go, not only hide.
inline void closeWindow(QWidget *w)
{
    QPointer<QWidget> p(w);
    w->close();
    flushDeletes();
    QVERIFY(p.isNull());
}

// Points the data module's connection at another database file.
inline void useDatabase(const QString &path)
{
    DM->ADOConnection1->setConnected(false);
    DM->ADOConnection1->setConnectionString(directoryConnectionString(path));
    DM->ADOConnection1->setConnected(true);
}

// The data module on the given database and a real launcher. The launcher's update check goes
// to a closed local port, so it ends at once without a box.
inline void startProgram(const QString &databasePath)
{
    qputenv("LSS_SITE_BASE", "http://127.0.0.1:9");
    boxesDuring([] {
        DM = new TDM();
        Application::instance()->adopt(DM);
    });
    useDatabase(databasePath);
    boxesDuring([] {
        F_one = new TF_one();
        Application::instance()->adopt(F_one);
    });
}

} // namespace querytest
