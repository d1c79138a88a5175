#pragma once

#include <QString>

#include <functional>

class Downloader;
class TF_one;

// The update check, run by the launcher's create handler before the launcher is ever shown.
void CheckForUpdate(TF_one *launcher);

// Everything the check touches from outside, so it can run without the whole program.
struct UpdateCheckContext
{
    Downloader *downloader = nullptr;
    QString address;        // where the published version file is
    QString downloadedPath; // where the download is written and read back from
    QString localPath;      // the version file shipped beside the executable
    std::function<void(const QString &text)> showMessage;
    std::function<void(const QString &url)> openUrl;
    std::function<void()> terminate;
};

enum class UpdateOutcome {
    DownloadFailed, // nothing read, nothing shown
    UpToDate,       // published version not greater than the local one
    NewVersion      // user told, download page opened, the program asked to end
};

UpdateOutcome runUpdateCheck(const UpdateCheckContext &context);

// The fixed places of the two version files and of the published one.
QString updateAddress();
QString downloadedVersionPath();
QString localVersionPath();

// Size of the buffer the download page's address is read into (terminating zero included).
constexpr int UpdateUrlBufferSize = 200;
