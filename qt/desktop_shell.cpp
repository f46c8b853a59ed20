#include "qt/desktop_shell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace qtfront {

DesktopShellOpenSink::DesktopShellOpenSink(std::function<bool()> windowsAvailable)
    : available(std::move(windowsAvailable)) {}

bool DesktopShellOpenSink::Open(const std::string& path, int) {
    if (path.empty() || (available && !available())) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace qtfront
