#include "launcher/UpdateCheck.h"

#include "app/Application.h"
#include "launcher/One.h"
#include "platform/Dialogs.h"
#include "platform/Download.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "platform/Site.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace {
const QString kSection = QStringLiteral("Version");
const QString kVer = QStringLiteral("Ver");
const QString kUrl = QStringLiteral("url");
} // namespace

QString updateAddress()
{
    return siteBaseAddress() + QStringLiteral("/quillhall/updata/lawconfig.ini");
}

QString downloadedVersionPath()
{
    // The per-user cache: a place every user can write to, unlike the root of a drive.
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/lawconfig.ini");
}

QString localVersionPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lawconfig.ini");
}

UpdateOutcome runUpdateCheck(const UpdateCheckContext &context)
{
    // A failed download stops here, so an older downloaded file is never read.
    if (!context.downloader || !context.downloader->downloadToFile(context.address, context.downloadedPath))
        return UpdateOutcome::DownloadFailed;

    const IniFile downloaded(context.downloadedPath);
    const int remote = downloaded.profileInt(kSection, kVer, 0);

    const IniFile local(context.localPath);
    const int localVer = local.ReadInteger(kSection, kVer, 1);

    if (remote <= localVer)
        return UpdateOutcome::UpToDate;

    const QString url = downloaded.profileString(kSection, kUrl, QString(), UpdateUrlBufferSize);
    if (context.showMessage)
        context.showMessage(QStringLiteral("青穹阁信息查询系统有新版本，请下载!"));
    if (context.openUrl)
        context.openUrl(url);
    if (context.terminate)
        context.terminate();
    return UpdateOutcome::NewVersion;
}

void CheckForUpdate(TF_one *launcher)
{
    NetworkDownloader downloader;
    UpdateCheckContext context;
    context.downloader = &downloader;
    context.address = updateAddress();
    context.downloadedPath = downloadedVersionPath();
    context.localPath = localVersionPath();
    context.showMessage = [](const QString &text) { ShowMessage(text); };
    QWidget *owner = launcher;
    context.openUrl = [owner](const QString &url) {
        // The file comes over plain http: anyone on the way could name a local file or another
        // scheme, so only a web address goes to the desktop.
        if (Shell::isWebAddress(url))
            Shell::instance().execute(owner, QStringLiteral("open"), url, ShowCommand::Show);
    };
    context.terminate = [] {
        if (Application *app = Application::instance())
            app->Terminate();
        else
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    };
    runUpdateCheck(context);
}
