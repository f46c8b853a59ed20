// For the Qt tests: the main dialog on a client connected to the component's scripted double,
// run in a real window (WidgetDialogView) step by step.
#pragma once

#include <QApplication>
#include <memory>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "qt/testing/window_driver.h"
#include "qt/widget_dialog_view.h"
#include "ui/ordelin_dlg.h"

namespace qtfront::testing {

class ScriptedDialog {
  public:
    ScriptedDialog()
        : component(fstest::ScriptedComponent::Make()),
          registration(std::make_unique<fstest::ScopedComponentRegistration>(component)),
          client(std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false)),
          dialog(std::make_unique<COrdelinDlg>()),
          view(std::make_unique<WidgetDialogView>()) {
        client->Connect(nullptr, false);
        // Dialogs the dialog opens (the about box) run in windows too.
        formerFactory = platform::SetDialogViewFactory(
            [](platform::CDialog&) { return std::make_unique<WidgetDialogView>(); });
    }
    ~ScriptedDialog() {
        platform::SetDialogViewFactory(std::move(formerFactory));
        view.reset();  // the window goes before the dialog, the dialog before the client
        dialog.reset();
        client.reset();
        registration.reset();
    }
    ScriptedDialog(const ScriptedDialog&) = delete;
    ScriptedDialog& operator=(const ScriptedDialog&) = delete;

    // Adds the input file CUST on DAT and opens the dialog on it in a window that is active
    // afterwards. Returns whether the dialog runs.
    bool Open(int32_t fileType, int32_t recordSize, int32_t keySize, int32_t keyPosition = 0) {
        component->AddFile("DAT", "CUST", fileType, recordSize, keySize, keyPosition);
        dialog->SetInputFile(*client, "cust", "dat");
        if (!view->Open(*dialog)) return false;
        QWidget* window = view->Window();
        return WaitUntil([window] { return window->isActiveWindow(); });
    }

    // Directory table entries of the component, from index 0.
    void SetDirectories(const std::vector<std::u16string>& names) {
        for (size_t i = 0; i < names.size(); ++i) {
            component->directoryTable.at(i) = {names[i], u"/data/" + names[i]};
        }
    }

    QWidget* Control(int id) const { return view->Control(id); }
    template <class Widget>
    Widget* ControlAs(int id) const {
        return qobject_cast<Widget*>(view->Control(id));
    }
    // The control that has the widget focus, as the window holds it; 0 for none.
    int WidgetFocus() const {
        const std::optional<int> id = view->Window()->ControlOf(QApplication::focusWidget());
        return id.value_or(0);
    }

    platform::ComPtr<fstest::ScriptedComponent> component;
    std::unique_ptr<fstest::ScopedComponentRegistration> registration;
    std::unique_ptr<CDornApi> client;
    std::unique_ptr<COrdelinDlg> dialog;
    std::unique_ptr<WidgetDialogView> view;
    platform::DialogViewFactory formerFactory;
};

}  // namespace qtfront::testing
