// The record layout window: opened from the main dialog's system menu ("Record Layout..."),
// beside the dialog and without stopping it. It shows the input's first records as characters
// and hex under a ruler of byte positions, read on a channel of their own (ui/record_sample.h);
// once a COBOL copybook is opened in it, the fields of its record beside them with offsets,
// lengths and the values of the record chosen among them. Choosing a field marks its bytes and
// types its position and length into the dialog's Position and Length edits, as a person would
// (the control the dialog's focus leaves is checked as it always is); the person then presses
// Add Key Field in the dialog, so that every rule of the dialog applies to the field.
//
// The window belongs to the dialog's window (a window of its own, transient for the dialog's): it
// goes when the dialog's window goes. Everything it shows is worked out outside it
// (layout/record_view.h); it only draws.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "layout/copybook.h"
#include "layout/field_list.h"
#include "ui/ordelin_dlg.h"
#include "ui/record_sample.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace qtfront {

class GutterTextView;
class WidgetDialogView;

class RecordLayoutWindow : public QWidget {
  public:
    // Object names, for the tests and the screenshots.
    static const char* const kObjectName;
    static const char* const kRecordsObjectName;   // the records' text
    static const char* const kRulerObjectName;     // the ruler above it
    static const char* const kFieldsObjectName;    // the list of fields
    static const char* const kOpenObjectName;      // Open Copybook...
    static const char* const kRecordChoiceObjectName;   // the copybook's record
    static const char* const kBinarySizeObjectName;     // the sizes of COMP items
    static const char* const kCopybookObjectName;  // the line on the copybook
    static const char* const kStatusObjectName;    // the line on the field chosen
    static const char* const kFileDialogObjectName;

    // The records read, and the byte columns shown of each.
    static constexpr size_t kSampleRecords = 50;
    static constexpr uint64_t kMaxColumns = 4096;
    // The most field occurrences listed (tables multiply them).
    static constexpr size_t kMaxFields = 5000;

    // Reads the input's first records through the dialog's client. `dialog` runs on `view`;
    // both must outlive the window (they do when ShowRecordLayoutWindow made it: it goes with
    // the dialog's window).
    RecordLayoutWindow(COrdelinDlg& dialog, WidgetDialogView& view);
    ~RecordLayoutWindow() override;

    // Reads the copybook at `path` and shows its record (the first, when it has several) beside
    // the records. Returns why it could not be read (the window keeps what it showed), or an
    // empty text. Open Copybook... asks for the file and shows the reason in a box.
    QString OpenCopybook(const QString& path);

    // The record whose values the fields show: an index into the records shown.
    int SelectedRecord() const { return selectedRecord; }
    void SelectRecord(int index);
    // The field chosen (an index into the fields listed), if any.
    std::optional<size_t> ChosenField() const { return chosenField; }
    const std::vector<layout::FieldOccurrence>& Fields() const { return fields; }
    const layout::Record* ShownLayout() const { return record; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void AskForCopybook();
    // Reads the copybook again with the options chosen; false with *error when it cannot.
    bool LoadCopybook(const QString& path, QString* error);
    void ShowRecord(int recordIndex);
    void ShowFields();
    void ShowValues();
    void ChooseField(QTreeWidgetItem* item);
    void Highlight();
    void ScrollToColumn(uint64_t column);
    // The width the records' pane wants: the gutter and up to 120 byte columns.
    int RecordsWidth() const;

    COrdelinDlg& dialog;
    WidgetDialogView& view;
    QPointer<QWidget> ownerWindow;  // the dialog's window
    RecordSample sample;
    uint64_t columns = 0;

    QString copybookPath;
    layout::Copybook copybook;
    const layout::Record* record = nullptr;
    std::vector<layout::FieldOccurrence> fields;
    bool fieldsComplete = true;
    int selectedRecord = 0;
    std::optional<size_t> chosenField;
    bool pressedOnCurrent = false;  // the last press in the list was on the field chosen

    QLabel* inputLine;
    QPushButton* openButton;
    QComboBox* recordChoice;
    QLabel* recordLabel;
    QComboBox* binarySize;
    QLabel* copybookLine;
    GutterTextView* ruler;
    GutterTextView* records;
    QTreeWidget* fieldList;
    QLabel* statusLine;
    QSplitter* splitter = nullptr;
    bool sized = false;  // the panes were given their widths at the first show
};

// The record layout window that belongs to the dialog window `owner`, if it has one.
RecordLayoutWindow* FindRecordLayoutWindow(const QWidget* owner);

// Opens the record layout window of the dialog beside it, or shows and raises the one it has.
// Returns it; null when the dialog does not run in a window.
RecordLayoutWindow* ShowRecordLayoutWindow(COrdelinDlg& dialog);

// Gives the dialog its system menu's Record Layout command. Call before the modal run.
void AttachRecordLayoutWindow(COrdelinDlg& dialog);

// Puts a field into the dialog's key field editor as a person types it: the focus to Position
// (the control it leaves is checked as it loses the focus), the position typed, Tab to Length,
// the length typed, and on to Add Key Field when it is enabled. Add Key Field is not pressed.
// Returns false, leaving both edits alone, when the dialog does not run or the control left
// kept the focus (its value was refused).
bool OfferKeyField(WidgetDialogView& view, uint64_t position, uint64_t length);

}  // namespace qtfront
