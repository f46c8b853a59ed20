#include "qt/controls.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "qt/key_field_delegate.h"

namespace qtfront {

// --- Edits ---------------------------------------------------------------------------------------

EditValidator::EditValidator(QObject* parent, bool digitsOnly)
    : QValidator(parent), digits(digitsOnly) {}

QValidator::State EditValidator::validate(QString& input, int&) const {
    if (digits) {
        for (const QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
        }
    }
    if (byteLimit && static_cast<size_t>(input.toUtf8().size()) > *byteLimit) return Invalid;
    return Acceptable;
}

TemplateEdit::TemplateEdit(QWidget* parent, bool readOnly, bool digitsOnly)
    : QLineEdit(parent), validator(new EditValidator(this, digitsOnly)) {
    setValidator(validator);
    setReadOnly(readOnly);
    QPalette colours = palette();
    normalBackground = readOnly ? colours.color(QPalette::Window) : colours.color(QPalette::Base);
    colours.setColor(QPalette::Base, normalBackground);
    setPalette(colours);
}

void TemplateEdit::paintEvent(QPaintEvent* event) {
    QColor wanted = normalBackground;
    if (background) {
        if (const std::optional<platform::Rgb> rgb = background()) {
            wanted = QColor(rgb->red, rgb->green, rgb->blue);
        }
    }
    if (palette().color(QPalette::Base) != wanted) {
        QPalette colours = palette();
        colours.setColor(QPalette::Base, wanted);  // every colour group, disabled included
        setPalette(colours);
    }
    QLineEdit::paintEvent(event);
}

// --- List box ------------------------------------------------------------------------------------

TemplateListBox::TemplateListBox(QWidget* parent, BaseUnits units)
    : QListWidget(parent), delegate(new KeyFieldDelegate(this, units)) {
    setItemDelegate(delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
}

void TemplateListBox::SetTabStop(int dialogUnits) {
    delegate->SetTabStop(dialogUnits);
    viewport()->update();
}

int TemplateListBox::TabStop() const {
    return delegate->TabStop();
}

int TemplateListBox::Selection() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? platform::kNoItem : rows.first().row();
}

void TemplateListBox::SetSelection(int index) {
    if (index >= 0 && index < count()) {
        setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        scrollToItem(item(index));
    } else {
        selectionModel()->clearSelection();
        setCurrentRow(-1, QItemSelectionModel::NoUpdate);
    }
}

void TemplateListBox::ReportChange(int before, bool always) {
    const int after = Selection();
    if (after != platform::kNoItem && (always || after != before) && selectionChanged) {
        selectionChanged();
    }
}

void TemplateListBox::mousePressEvent(QMouseEvent* event) {
    // A press below the last item changes nothing, as in a classic list box.
    if (itemAt(event->position().toPoint()) == nullptr) {
        event->accept();
        return;
    }
    const int before = Selection();
    QListWidget::mousePressEvent(event);
    ReportChange(before, event->button() == Qt::LeftButton);
}

void TemplateListBox::mouseMoveEvent(QMouseEvent* event) {
    const int before = Selection();
    if (itemAt(event->position().toPoint()) == nullptr) {
        event->accept();
        return;
    }
    QListWidget::mouseMoveEvent(event);
    ReportChange(before, false);
}

void TemplateListBox::keyPressEvent(QKeyEvent* event) {
    const int before = Selection();
    QListWidget::keyPressEvent(event);
    ReportChange(before, false);
}

// --- Combo box -----------------------------------------------------------------------------------

TemplateComboBox::TemplateComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setDuplicatesEnabled(true);
    connect(this, &QComboBox::activated, this, [this](int index) {
        selection = index;
        if (chosen) chosen();
    });
}

void TemplateComboBox::Reset() {
    selection = platform::kNoItem;
    clear();
    clearEditText();
}

int TemplateComboBox::Add(const QString& text) {
    const QString field = currentText();
    addItem(text);
    if (selection == platform::kNoItem && currentIndex() != -1) {
        // Qt makes the first item of an empty list current; nothing is chosen yet.
        setCurrentIndex(-1);
        setEditText(field);
    }
    return count() - 1;
}

QString TemplateComboBox::SelectedText() const {
    return selection >= 0 && selection < count() ? itemText(selection) : QString();
}

void TemplateComboBox::showPopup() {
    if (dropDown) dropDown();
    QComboBox::showPopup();
}

}  // namespace qtfront
