// The window of a dialog template: a Qt dialog holding one widget per control of the template,
// placed at the control's dialog-unit place in the template's font, in the template's tab order,
// with the template's styles (hidden, disabled, read-only, digits only, right-aligned, default
// button, radio groups). The window knows nothing of the dialog's logic: what the user does to
// it goes to the handlers it was made with.
#pragma once

#include <QDialog>
#include <QHash>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "platform/dialog_view.h"
#include "qt/dialog_units.h"
#include "res/resources.h"

class QButtonGroup;
class QRadioButton;

namespace qtfront {

class DialogWindow : public QDialog {
  public:
    struct Handlers {
        std::function<void(int id)> clicked;    // a button was clicked
        std::function<void(int id)> selChange;  // the user changed a list's or combo's selection
        std::function<void(int id)> dropDown;   // a combo box's list is about to drop down
        std::function<void()> cancel;           // Escape
        std::function<void()> close;            // the window's close button
        std::function<void(QPoint globalPosition)> systemMenu;  // a right click on the dialog
        std::function<std::optional<platform::Rgb>(int id)> textBackground;  // an edit paints
        std::function<void(QPainter&)> paint;                                // the dialog paints
    };

    // The object name of a control's widget: "control<id>"; of the window: "dialog<id>".
    static QString ObjectName(int id);
    static QString WindowObjectName(int templateId);

    DialogWindow(const res::DialogTemplate& source, Handlers handlers);
    ~DialogWindow() override;

    const res::DialogTemplate& Source() const { return source; }
    BaseUnits Units() const { return units; }
    // The widget of control `id`; null when the template has none.
    QWidget* Control(int id) const;
    const res::ControlTemplate* ControlSource(int id) const { return source.FindControl(id); }
    // The control whose widget is `widget` or holds it; nullopt for none.
    std::optional<int> ControlOf(const QWidget* widget) const;
    // The tab stops, in tab order.
    std::vector<int> TabStops() const;
    // The default push button; nullopt when the template has none.
    std::optional<int> DefaultButton() const;
    // Checks or clears a radio button; checking one clears the others of its group.
    void SetRadioCheck(int id, bool checked);

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QWidget* MakeControl(const res::ControlTemplate& control);

    const res::DialogTemplate& source;
    Handlers handlers;
    BaseUnits units;
    std::map<int, QWidget*> controls;
    QHash<const QWidget*, int> idOf;
    std::vector<QButtonGroup*> radioGroups;
    QHash<int, QButtonGroup*> groupOf;
};

}  // namespace qtfront
