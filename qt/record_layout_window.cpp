#include "qt/record_layout_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBlock>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <map>
#include <string>

#include "layout/copybook_file.h"
#include "layout/field_ref.h"
#include "layout/record_view.h"
#include "platform/message_box.h"
#include "qt/dialog_units.h"
#include "qt/gutter_text_view.h"
#include "qt/message_boxes.h"
#include "qt/widget_dialog_view.h"
#include "res/resources.h"

namespace qtfront {

const char* const RecordLayoutWindow::kObjectName = "recordLayout";
const char* const RecordLayoutWindow::kRecordsObjectName = "recordLayoutRecords";
const char* const RecordLayoutWindow::kRulerObjectName = "recordLayoutRuler";
const char* const RecordLayoutWindow::kFieldsObjectName = "recordLayoutFields";
const char* const RecordLayoutWindow::kOpenObjectName = "recordLayoutOpen";
const char* const RecordLayoutWindow::kRecordChoiceObjectName = "recordLayoutRecord";
const char* const RecordLayoutWindow::kBinarySizeObjectName = "recordLayoutBinarySize";
const char* const RecordLayoutWindow::kCopybookObjectName = "recordLayoutCopybook";
const char* const RecordLayoutWindow::kStatusObjectName = "recordLayoutStatus";
const char* const RecordLayoutWindow::kFileDialogObjectName = "recordLayoutFileDialog";

namespace {

using D = COrdelinDlg;

// The copybook last opened for a dialog, kept on its window for the next time the layout
// window opens.
constexpr char kLastCopybookProperty[] = "recordLayoutCopybook";

enum Column { kName, kOffset, kLength, kUsage, kPicture, kValue, kColumnCount };

// The colours of the marks: the record chosen, the chosen field's bytes in it and in the others.
const QColor kChosenRecord(226, 236, 252);
const QColor kFieldInChosenRecord(255, 196, 61);
const QColor kField(255, 236, 179);

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Lines(const std::vector<std::string>& lines) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) list.push_back(Q(line));
    return list.join(QLatin1Char('\n'));
}

GutterTextView* MakeTextView(QWidget* parent, const char* objectName) {
    auto* view = new GutterTextView(parent);
    view->setObjectName(QLatin1String(objectName));
    return view;
}

// Marks `count` characters from `first` of a line of `view`.
QTextEdit::ExtraSelection Mark(QPlainTextEdit* view, int line, int first, int count,
                               const QColor& colour) {
    QTextEdit::ExtraSelection mark;
    const QTextBlock block = view->document()->findBlockByNumber(line);
    const int end = std::min(first + count, std::max(0, block.length() - 1));
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + std::min(first, end));
    cursor.setPosition(block.position() + end, QTextCursor::KeepAnchor);
    mark.cursor = cursor;
    mark.format.setBackground(colour);
    return mark;
}

std::optional<layout::BinarySize> SizeAt(int index) {
    static const layout::BinarySize kSizes[] = {layout::BinarySize::k1248,
                                                layout::BinarySize::k248,
                                                layout::BinarySize::k1to8};
    if (index < 0 || index > 2) return std::nullopt;
    return kSizes[index];
}

}  // namespace

namespace {

// Keeps a dialog window's record layout window and takes it down with the dialog window. The
// layout window is not a child widget of the dialog's: a child's widgets would join the dialog's
// focus chain (Tab, or a button disabled while it has the focus, would move the focus into the
// layout window). It is a window of its own, transient for the dialog's, which the dialog's
// modality therefore does not block.
class LayoutWindowKeeper : public QObject {
  public:
    LayoutWindowKeeper(QWidget* owner, RecordLayoutWindow* kept) : QObject(owner), window(kept) {
        setObjectName(QLatin1String(RecordLayoutWindow::kObjectName));
    }
    ~LayoutWindowKeeper() override { delete window; }
    RecordLayoutWindow* Window() const { return window; }

  private:
    RecordLayoutWindow* window;
};

}  // namespace

RecordLayoutWindow::RecordLayoutWindow(COrdelinDlg& owner, WidgetDialogView& dialogView)
    : QWidget(nullptr, Qt::Window),
      dialog(owner),
      view(dialogView),
      inputLine(new QLabel(this)),
      openButton(new QPushButton(tr("&Open Copybook..."), this)),
      recordChoice(new QComboBox(this)),
      recordLabel(new QLabel(tr("&Record:"), this)),
      binarySize(new QComboBox(this)),
      copybookLine(new QLabel(this)),
      ruler(MakeTextView(this, kRulerObjectName)),
      records(MakeTextView(this, kRecordsObjectName)),
      fieldList(new QTreeWidget(this)),
      statusLine(new QLabel(this)) {
    setObjectName(QLatin1String(kObjectName));
    ownerWindow = view.Window();
    if (ownerWindow != nullptr && ownerWindow->windowHandle() != nullptr) {
        winId();  // the native window, to be transient for the dialog's
        windowHandle()->setTransientParent(ownerWindow->windowHandle());
    }
    const QString input = Q(dialog.inputFileName + " on " + dialog.inputDirectory);
    setWindowTitle(tr("Record Layout: %1").arg(input));
    if (const res::DialogTemplate* main = res::FindDialogTemplate(res::kMainDialog)) {
        setFont(DialogFont(*main));
    }

    // --- The records, read once, as characters and hex under the ruler ---
    const uint32_t recordSize = dialog.inputDescriptor.recordSize;
    columns = std::min<uint64_t>(recordSize, kMaxColumns);
    if (dialog.client != nullptr) {
        sample = ReadRecordSample(*dialog.client, dialog.inputFileName, dialog.inputDirectory,
                                  dialog.inputDescriptor, kSampleRecords);
    } else {
        sample.error = "there is no connection to the file system";
    }
    layout::RecordsText text(columns);
    for (const SampleRecord& r : sample.records) {
        text.AddRecord(static_cast<uint64_t>(r.number), r.deleted, r.bytes);
    }
    // The records' numbers stand in a gutter that stays while the bytes scroll sideways.
    ruler->setPlainText(Lines(text.RulerLines(false)));
    records->setPlainText(Lines(text.RecordLines(false)));
    std::map<int, QString> labels;
    for (size_t i = 0; i < text.RecordCount(); ++i) {
        labels[static_cast<int>(i * layout::RecordsText::kLinesPerRecord)] = Q(text.Label(i));
    }
    const int gutterCharacters = static_cast<int>(text.Gutter());
    records->SetGutter(gutterCharacters, std::move(labels));
    ruler->SetGutter(gutterCharacters, {});

    QString about = tr("%1: records of %2 bytes.").arg(input).arg(recordSize);
    if (!sample.error.empty()) {
        about += QLatin1Char(' ') + tr("Its records could not be read: %1").arg(Q(sample.error));
    } else if (sample.records.empty()) {
        about += QLatin1Char(' ') + tr("It holds no records.");
    } else {
        const int shown = static_cast<int>(sample.records.size());
        about += QLatin1Char(' ') + (sample.endOfFile
                                         ? tr("All %1 of them, in record order.").arg(shown)
                                         : tr("The first %1, in record order.").arg(shown));
    }
    if (columns < recordSize) {
        about += QLatin1Char(' ') + tr("Bytes 0 to %1 of each are shown.").arg(columns - 1);
    }
    inputLine->setText(about);
    inputLine->setWordWrap(true);

    // The ruler stays above the records and scrolls sideways with them.
    ruler->setFocusPolicy(Qt::NoFocus);
    ruler->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ruler->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ruler->setFixedHeight(2 * ruler->fontMetrics().lineSpacing() +
                          2 * static_cast<int>(ruler->document()->documentMargin()) +
                          2 * ruler->frameWidth());
    connect(records->horizontalScrollBar(), &QScrollBar::valueChanged, ruler->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(records, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        const size_t index = layout::RecordsText::RecordOfLine(
            static_cast<size_t>(records->textCursor().blockNumber()));
        if (index < sample.records.size() && static_cast<int>(index) != selectedRecord) {
            SelectRecord(static_cast<int>(index));
        }
    });

    // --- The copybook and its fields ---
    openButton->setObjectName(QLatin1String(kOpenObjectName));
    recordChoice->setObjectName(QLatin1String(kRecordChoiceObjectName));
    recordLabel->setBuddy(recordChoice);
    binarySize->setObjectName(QLatin1String(kBinarySizeObjectName));
    binarySize->addItems({tr("1-2-4-8 (GnuCOBOL)"), tr("2-4-8 (mainframe)"), tr("1--8 (fewest)")});
    binarySize->setToolTip(tr("The bytes a COMP item takes by its digits"));
    auto* sizeLabel = new QLabel(tr("COMP &sizes:"), this);
    sizeLabel->setBuddy(binarySize);
    copybookLine->setObjectName(QLatin1String(kCopybookObjectName));
    copybookLine->setText(tr("Open the COBOL copybook of these records to see their fields."));
    copybookLine->setWordWrap(true);
    copybookLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    fieldList->setObjectName(QLatin1String(kFieldsObjectName));
    fieldList->setColumnCount(kColumnCount);
    fieldList->setHeaderLabels(
        {tr("Field"), tr("Offset"), tr("Length"), tr("Usage"), tr("Picture"), tr("Value")});
    fieldList->setUniformRowHeights(true);
    fieldList->setAlternatingRowColors(true);
    fieldList->header()->setStretchLastSection(true);
    statusLine->setObjectName(QLatin1String(kStatusObjectName));
    statusLine->setWordWrap(true);

    auto* recordsLabel = new QLabel(tr("Re&cords:"), this);
    recordsLabel->setBuddy(records);
    auto* fieldsLabel = new QLabel(tr("&Fields:"), this);
    fieldsLabel->setBuddy(fieldList);

    auto* top = new QHBoxLayout;
    top->addWidget(openButton);
    top->addSpacing(12);
    top->addWidget(recordLabel);
    top->addWidget(recordChoice);
    top->addSpacing(12);
    top->addWidget(sizeLabel);
    top->addWidget(binarySize);
    top->addStretch(1);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    leftLayout->addWidget(recordsLabel);
    leftLayout->addWidget(ruler);
    leftLayout->addWidget(records, 1);
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    rightLayout->addWidget(fieldsLabel);
    rightLayout->addWidget(fieldList, 1);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(left);
    split->addWidget(right);
    split->setChildrenCollapsible(false);
    // The records keep their width; room to spare goes to the fields and their values.
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);

    auto* layoutBox = new QVBoxLayout(this);
    layoutBox->addLayout(top);
    layoutBox->addWidget(copybookLine);
    layoutBox->addWidget(inputLine);
    layoutBox->addWidget(split, 1);
    layoutBox->addWidget(statusLine);

    recordLabel->setVisible(false);
    recordChoice->setVisible(false);

    connect(openButton, &QPushButton::clicked, this, &RecordLayoutWindow::AskForCopybook);
    connect(recordChoice, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && static_cast<size_t>(index) < copybook.records.size()) ShowRecord(index);
    });
    connect(binarySize, &QComboBox::currentIndexChanged, this, [this] {
        if (copybookPath.isEmpty()) return;
        QString error;
        if (!LoadCopybook(copybookPath, &error)) copybookLine->setText(error);
    });
    connect(fieldList, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { ChooseField(current); });
    // A click on the field chosen, or Enter, offers it again (after a refusal, say).
    fieldList->viewport()->installEventFilter(this);
    connect(fieldList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (pressedOnCurrent) ChooseField(item);
        pressedOnCurrent = false;
    });
    connect(fieldList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (QApplication::mouseButtons() == Qt::NoButton) ChooseField(item);
    });

    // Wide enough for a record of up to 120 bytes beside the fields, as far as the screen goes.
    splitter = split;
    const int margins = layoutBox->contentsMargins().left() + layoutBox->contentsMargins().right();
    int width = RecordsWidth() + 80 * fontMetrics().averageCharWidth() + split->handleWidth() +
                margins;
    if (const QScreen* screen = QWidget::screen()) {
        width = std::min(width, screen->availableGeometry().width() - 16);
    }
    resize(std::max(width, 640), 600);
    Highlight();

    // The copybook opened last time for this dialog, if it still reads.
    const QVariant last = ownerWindow ? ownerWindow->property(kLastCopybookProperty) : QVariant();
    if (last.isValid()) OpenCopybook(last.toString());
}

RecordLayoutWindow::~RecordLayoutWindow() = default;

int RecordLayoutWindow::RecordsWidth() const {
    const QString line(static_cast<qsizetype>(std::min<uint64_t>(columns, 120) + 2),
                       QLatin1Char('0'));
    return records->GutterWidth() + records->fontMetrics().horizontalAdvance(line) +
           2 * static_cast<int>(records->document()->documentMargin()) +
           records->verticalScrollBar()->sizeHint().width() + 2 * records->frameWidth();
}

void RecordLayoutWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (sized) return;
    sized = true;
    // The records as wide as they need (up to 120 bytes), the rest for the fields, but never
    // less than a third of the room for either.
    const int room = splitter->width() - splitter->handleWidth();
    const int left = std::clamp(RecordsWidth(), room / 3, room - room / 3);
    splitter->setSizes({left, room - left});
}

void RecordLayoutWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool RecordLayoutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fieldList->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        QTreeWidgetItem* item = fieldList->itemAt(press->position().toPoint());
        pressedOnCurrent = item != nullptr && item == fieldList->currentItem();
    }
    return QWidget::eventFilter(watched, event);
}

// --- The copybook --------------------------------------------------------------------------------

void RecordLayoutWindow::AskForCopybook() {
    const QString folder = copybookPath.isEmpty() ? QDir::currentPath()
                                                  : QFileInfo(copybookPath).absolutePath();
    QFileDialog chooser(this, tr("Open Copybook"), folder,
                        tr("COBOL copybooks (*.cpy *.CPY *.cbl *.CBL *.cob *.COB);;All files (*)"));
    chooser.setObjectName(QLatin1String(kFileDialogObjectName));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    const bool picked = chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty();
    activateWindow();
    if (!picked) return;
    const QString error = OpenCopybook(chooser.selectedFiles().constFirst());
    if (!error.isEmpty()) {
        RunMessageBox(this, platform::AppName(), error.toStdString(),
                      platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
}

QString RecordLayoutWindow::OpenCopybook(const QString& path) {
    QString error;
    if (!LoadCopybook(path, &error)) return error;
    if (ownerWindow) ownerWindow->setProperty(kLastCopybookProperty, path);
    return {};
}

bool RecordLayoutWindow::LoadCopybook(const QString& path, QString* error) {
    layout::ReadOptions options;
    options.binarySize = SizeAt(binarySize->currentIndex()).value_or(layout::BinarySize::k1248);
    layout::Copybook read;
    std::string why;
    if (!layout::ReadCopybookFile(QFile::encodeName(path).toStdString(), options, &read, &why)) {
        *error = Q(why);
        return false;
    }
    if (read.records.empty()) {
        *error = tr("The copybook %1 describes no record.").arg(path);
        return false;
    }
    // The record shown before, when the copybook still has it.
    const std::string former = record != nullptr ? record->name() : std::string();
    copybook = std::move(read);
    copybookPath = path;
    int index = 0;
    {
        const QSignalBlocker quiet(recordChoice);
        recordChoice->clear();
        for (size_t i = 0; i < copybook.records.size(); ++i) {
            recordChoice->addItem(Q(copybook.records[i].name()));
            if (copybook.records[i].name() == former) index = static_cast<int>(i);
        }
        recordChoice->setCurrentIndex(index);
    }
    const bool several = copybook.records.size() > 1;
    recordLabel->setVisible(several);
    recordChoice->setVisible(several);
    ShowRecord(index);
    return true;
}

void RecordLayoutWindow::ShowRecord(int recordIndex) {
    record = &copybook.records[static_cast<size_t>(recordIndex)];
    fields = layout::ListFields(*record, kMaxFields, &fieldsComplete);
    chosenField.reset();
    copybookLine->setText(QFileInfo(copybookPath).fileName() + QStringLiteral(": ") +
                          Q(layout::LayoutFitText(*record, dialog.inputDescriptor.recordSize)));
    copybookLine->setToolTip(QDir::toNativeSeparators(QFileInfo(copybookPath).absoluteFilePath()));
    ShowFields();
    ShowValues();
    Highlight();
    statusLine->setText(tr("Choose a field: its position and length go into the dialog's "
                           "Position and Length, and Add Key Field there adds it to the key."));
}

void RecordLayoutWindow::ShowFields() {
    const QSignalBlocker quiet(fieldList);
    fieldList->clear();
    std::vector<QTreeWidgetItem*> parents;  // by depth
    for (size_t i = 0; i < fields.size(); ++i) {
        const layout::FieldOccurrence& f = fields[i];
        const layout::Item& item = record->items[static_cast<size_t>(f.item)];
        const auto depth = static_cast<size_t>(f.depth);
        parents.resize(depth);
        auto* row = parents.empty() ? new QTreeWidgetItem(fieldList)
                                    : new QTreeWidgetItem(parents.back());
        row->setText(kName, Q(layout::OccurrenceName(*record, f, false)));
        row->setToolTip(kName, Q(layout::OccurrenceName(*record, f, true)));
        row->setText(kOffset, QString::number(f.offset));
        row->setText(kLength, QString::number(item.length));
        row->setTextAlignment(kOffset, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(kLength, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(kUsage, Q(layout::UsageText(item)));
        row->setText(kPicture, item.picture ? Q(item.picture->text) : QString());
        row->setData(kName, Qt::UserRole, static_cast<qulonglong>(i));
        parents.push_back(row);
    }
    if (!fieldsComplete) {
        auto* more = new QTreeWidgetItem(fieldList);
        more->setText(kName, tr("(only the first %1 fields are listed)").arg(kMaxFields));
        more->setFlags(Qt::NoItemFlags);
    }
    fieldList->expandAll();
    for (int c = kName; c < kValue; ++c) fieldList->resizeColumnToContents(c);
}

void RecordLayoutWindow::ShowValues() {
    const SampleRecord* shown =
        selectedRecord >= 0 && static_cast<size_t>(selectedRecord) < sample.records.size()
            ? &sample.records[static_cast<size_t>(selectedRecord)]
            : nullptr;
    fieldList->headerItem()->setText(
        kValue, shown ? tr("Value in record %1").arg(shown->number) : tr("Value"));
    if (record == nullptr) return;
    for (QTreeWidgetItemIterator it(fieldList); *it; ++it) {
        const QVariant index = (*it)->data(kName, Qt::UserRole);
        if (!index.isValid()) continue;
        const layout::FieldOccurrence& f = fields[index.toULongLong()];
        (*it)->setText(kValue, shown ? Q(layout::FieldValueText(*record, f, shown->bytes))
                                     : QString());
    }
}

void RecordLayoutWindow::SelectRecord(int index) {
    if (index < 0 || static_cast<size_t>(index) >= sample.records.size()) return;
    selectedRecord = index;
    ShowValues();
    Highlight();
}

// --- Choosing a field ----------------------------------------------------------------------------

void RecordLayoutWindow::ChooseField(QTreeWidgetItem* item) {
    if (item == nullptr || record == nullptr) return;
    const QVariant index = item->data(kName, Qt::UserRole);
    if (!index.isValid()) return;
    chosenField = static_cast<size_t>(index.toULongLong());
    const layout::FieldOccurrence& f = fields[*chosenField];
    const uint64_t length = record->items[static_cast<size_t>(f.item)].length;
    Highlight();
    ScrollToColumn(f.offset);

    const QString name = Q(layout::OccurrenceName(*record, f, true));
    QString said;
    if (OfferKeyField(view, f.offset, length)) {
        said = tr("%1: bytes %2 to %3 are in the dialog's Position (%2) and Length (%4); Add Key "
                  "Field there adds them to the key.")
                   .arg(name)
                   .arg(f.offset)
                   .arg(f.offset + length - 1)
                   .arg(length);
        if (layout::HoldsNonDisplayData(*record, f.item)) {
            said += QLatin1Char(' ') + tr("It holds binary or packed data: such keys sort by "
                                          "their bytes, not by their values.");
        }
        if (f.offset + length > dialog.inputDescriptor.recordSize) {
            said += QLatin1Char(' ') + tr("It lies beyond the input's records of %1 bytes.")
                                           .arg(dialog.inputDescriptor.recordSize);
        }
    } else if (!view.IsRunning()) {
        said = tr("The dialog has ended.");
    } else {
        said = tr("The dialog kept the focus on the value it refused; its Position and Length "
                  "are as they were.");
    }
    statusLine->setText(said);
}

void RecordLayoutWindow::Highlight() {
    QList<QTextEdit::ExtraSelection> marks;
    const int lines = static_cast<int>(layout::RecordsText::kLinesPerRecord);
    if (static_cast<size_t>(selectedRecord) < sample.records.size()) {
        for (int k = 0; k < 3; ++k) {
            QTextEdit::ExtraSelection line;
            line.cursor = QTextCursor(records->document()->findBlockByNumber(selectedRecord * lines + k));
            line.format.setBackground(kChosenRecord);
            line.format.setProperty(QTextFormat::FullWidthSelection, true);
            marks.push_back(line);
        }
    }
    QList<QTextEdit::ExtraSelection> rulerMarks;
    if (chosenField && record != nullptr) {
        const layout::FieldOccurrence& f = fields[*chosenField];
        const uint64_t length = record->items[static_cast<size_t>(f.item)].length;
        if (f.offset < columns) {
            const int first = static_cast<int>(f.offset);
            const int count = static_cast<int>(std::min<uint64_t>(length, columns - f.offset));
            for (size_t r = 0; r < sample.records.size(); ++r) {
                const QColor& colour = static_cast<int>(r) == selectedRecord
                                           ? kFieldInChosenRecord
                                           : kField;
                for (int k = 0; k < 3; ++k) {
                    marks.push_back(Mark(records, static_cast<int>(r) * lines + k, first, count,
                                         colour));
                }
            }
            for (int k = 0; k < 2; ++k) {
                rulerMarks.push_back(Mark(ruler, k, first, count, kFieldInChosenRecord));
            }
        }
    }
    records->setExtraSelections(marks);
    ruler->setExtraSelections(rulerMarks);
    records->SetEmphasised(selectedRecord * lines);
}

void RecordLayoutWindow::ScrollToColumn(uint64_t column) {
    if (column >= columns) return;
    const QFontMetrics metrics = records->fontMetrics();
    const int width = metrics.horizontalAdvance(QLatin1Char('0'));
    const int x = metrics.horizontalAdvance(QString(static_cast<qsizetype>(column), QLatin1Char('0')));
    QScrollBar* bar = records->horizontalScrollBar();
    const int visible = records->viewport()->width();
    if (x >= bar->value() && x + 8 * width <= bar->value() + visible) return;  // in sight
    bar->setValue(std::max(0, x - visible / 4));
}

// --- The window beside the dialog ----------------------------------------------------------------

namespace {

// Puts the layout window beside the dialog's window: on its right, else on its left, where the
// screen has room for it; else moves the dialog aside so that the two stand side by side; else
// narrows the layout window to the room beside the dialog; and only when even that is too
// narrow, over the dialog.
void PlaceBeside(QWidget* dialogWindow, QWidget* window) {
    constexpr int kGap = 8;
    constexpr int kNarrowest = 640;
    QRect dialogFrame = dialogWindow->frameGeometry();
    const QScreen* screen = dialogWindow->screen();
    if (screen == nullptr) {
        window->move(dialogFrame.right() + kGap, dialogFrame.top());
        return;
    }
    const QRect area = screen->availableGeometry();
    // The window's frame is as large as its widget until a window manager decorates it.
    const int extra = dialogFrame.width() - dialogWindow->width();
    int width = window->width() + extra;
    const int top = dialogFrame.top();
    int x = 0;
    if (dialogFrame.right() + kGap + width <= area.right()) {
        x = dialogFrame.right() + kGap + 1;
    } else if (dialogFrame.left() - kGap - width >= area.left()) {
        x = dialogFrame.left() - kGap - width;
    } else if (dialogFrame.width() + kGap + width <= area.width()) {
        const int dialogX = area.left() + (area.width() - dialogFrame.width() - kGap - width) / 2;
        dialogWindow->move(dialogX, dialogFrame.top());
        dialogFrame.moveLeft(dialogX);
        x = dialogFrame.right() + kGap + 1;
    } else if (area.width() - dialogFrame.width() - kGap >= kNarrowest) {
        dialogWindow->move(area.left(), dialogFrame.top());
        dialogFrame.moveLeft(area.left());
        x = dialogFrame.right() + kGap + 1;
        width = area.right() - x + 1;
        window->resize(width - extra, window->height());
    } else {
        x = std::max(area.left(), area.right() - width + 1);
    }
    window->move(x, top);
}

}  // namespace

RecordLayoutWindow* FindRecordLayoutWindow(const QWidget* owner) {
    if (owner == nullptr) return nullptr;
    for (QObject* child : owner->children()) {
        if (auto* keeper = dynamic_cast<LayoutWindowKeeper*>(child)) return keeper->Window();
    }
    return nullptr;
}

RecordLayoutWindow* ShowRecordLayoutWindow(COrdelinDlg& dialog) {
    auto* view = dynamic_cast<WidgetDialogView*>(dialog.View());
    if (view == nullptr || view->Window() == nullptr || !view->IsRunning()) return nullptr;
    QWidget* owner = view->Window();
    RecordLayoutWindow* window = FindRecordLayoutWindow(owner);
    if (window == nullptr) {
        window = new RecordLayoutWindow(dialog, *view);
        new LayoutWindowKeeper(owner, window);
        PlaceBeside(owner, window);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void AttachRecordLayoutWindow(COrdelinDlg& dialog) {
    dialog.SetRecordLayoutHandler([&dialog] { ShowRecordLayoutWindow(dialog); });
}

bool OfferKeyField(WidgetDialogView& view, uint64_t position, uint64_t length) {
    if (!view.IsRunning()) return false;
    view.SetFocus(D::kFieldPosition);
    if (!view.IsRunning() || view.Focus() != D::kFieldPosition) return false;
    view.SetText(D::kFieldPosition, std::to_string(position));
    view.SetFocus(D::kFieldLength);
    view.SetText(D::kFieldLength, std::to_string(length));
    const QWidget* add = view.Control(D::kAddKeyField);
    if (add != nullptr && add->isEnabled()) view.SetFocus(D::kAddKeyField);
    return true;
}

}  // namespace qtfront
