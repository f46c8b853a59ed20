#include "qt/front_end.h"

#include <cstdio>
#include <cstdlib>

#include "qt/desktop_shell.h"
#include "qt/icons.h"
#include "qt/message_boxes.h"
#include "qt/widget_dialog_view.h"
#include "res/resources.h"

namespace qtfront {
namespace {

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool HasWindowSystem() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

FrontEnd::FrontEnd(int& count, char** values) : argc(count), argv(values) {
    auto ready = [this] { return EnsureApplication(); };
    formerFactory = platform::SetDialogViewFactory(
        [this](platform::CDialog&) -> std::unique_ptr<platform::DialogView> {
            if (!EnsureApplication()) return nullptr;
            return std::make_unique<WidgetDialogView>();
        });
    formerBoxes = platform::SetMessageBoxSink(std::make_shared<QtMessageBoxSink>(ready));
    formerShell = platform::SetShellOpenSink(std::make_shared<DesktopShellOpenSink>(ready));
}

FrontEnd::~FrontEnd() {
    platform::SetShellOpenSink(std::move(formerShell));
    platform::SetMessageBoxSink(std::move(formerBoxes));
    platform::SetDialogViewFactory(std::move(formerFactory));
    application.reset();
}

bool FrontEnd::EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    }
    if (refused) return false;
    if (!HasWindowSystem()) {
        refused = true;
        std::fputs(
            "ordelin: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
            "not set)\n",
            stderr);
        return false;
    }
    application = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ordelin"));
    QApplication::setWindowIcon(WindowIcon(res::kAppIcon));
    return true;
}

}  // namespace qtfront
