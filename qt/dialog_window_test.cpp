// The windows built from the templates: every control at its dialog-unit place, nothing
// overlapping and no text cut off, the tab order, the styles the logic relies on, the icon, and
// the about box.
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/about_dlg.h"
#include "qt/controls.h"
#include "qt/dialog_units.h"
#include "qt/icons.h"
#include "qt/key_field_delegate.h"
#include "qt/testing/scripted_dialog.h"
#include "res/resources.h"

using qtfront::DialogWindow;
using qtfront::testing::ScriptedDialog;
using D = COrdelinDlg;

namespace {

// Base units measured here, the classic way: the 52 letters' width, the font's height.
qtfront::BaseUnits Measured(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int Round(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

QRect Expected(const QFont& font, int x, int y, int width, int height) {
    const qtfront::BaseUnits units = Measured(font);
    return {Round(x, units.x, 4), Round(y, units.y, 8), Round(width, units.x, 4),
            Round(height, units.y, 8)};
}

QString Name(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    return widget->objectName();
}

int FocusedControl(const DialogWindow& window) {
    return window.ControlOf(QApplication::focusWidget()).value_or(0);
}

}  // namespace

class DialogWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void fontFallsBackToSansSerifAtEightPoints();
    void controlsLieAtTheirTemplatePlaces_data();
    void controlsLieAtTheirTemplatePlaces();
    void nothingOverlapsAndNoTextIsCut();
    void tabOrderFollowsTheTemplate();
    void stylesOfTheTemplate();
    void keyFieldColumnsStartAtTheTabStop();
    void aboutBoxLayout();
};

void DialogWindowTest::fontFallsBackToSansSerifAtEightPoints() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    const QFont font = run.view->Window()->font();
    QCOMPARE(font.pointSize(), 8);
    // The template's face is not installed here: the platform's sans-serif stands in.
    QVERIFY(QFontInfo(font).family() != QStringLiteral("MS Sans Serif"));
    const qtfront::BaseUnits units = run.view->Window()->Units();
    QCOMPARE(units.x, Measured(font).x);
    QCOMPARE(units.y, Measured(font).y);
    QVERIFY2(units.x >= 5 && units.x <= 9, qPrintable(QString::number(units.x)));
    QVERIFY2(units.y >= 11 && units.y <= 16, qPrintable(QString::number(units.y)));
    // The client area is the template's 336 x 260 units.
    QCOMPARE(run.view->Window()->size(), Expected(font, 0, 0, 336, 260).size());
}

void DialogWindowTest::controlsLieAtTheirTemplatePlaces_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("place");  // dialog units
    const std::vector<std::pair<int, QRect>> places{
        {1025, {225, 7, 56, 12}},   {1027, {225, 37, 24, 12}},  {1028, {225, 53, 24, 12}},
        {1005, {45, 114, 26, 12}},  {1006, {45, 135, 26, 12}},  {1004, {87, 113, 66, 14}},
        {1008, {61, 191, 94, 12}},  {1009, {61, 210, 94, 12}},  {1000, {191, 191, 56, 12}},
        {1001, {191, 211, 56, 12}}, {1, {269, 186, 50, 14}},    {2, {269, 210, 50, 14}},
        {1002, {175, 106, 56, 50}}, {1003, {165, 162, 162, 9}}, {1007, {175, 87, 137, 16}},
        {1010, {87, 134, 66, 14}},  {1011, {249, 114, 24, 14}}, {1012, {249, 135, 24, 14}},
        {1017, {57, 7, 56, 12}},    {1018, {57, 22, 24, 12}},   {1019, {57, 37, 24, 12}},
        {1020, {57, 53, 24, 12}},   {1030, {57, 69, 24, 12}},   {1032, {225, 69, 24, 12}},
        {1033, {31, 235, 273, 14}}, {1013, {7, 9, 45, 8}},      {1029, {7, 69, 45, 8}},
        {1021, {175, 9, 45, 8}},    {1031, {175, 69, 45, 8}},
    };
    for (const auto& [id, place] : places) {
        QTest::newRow(qPrintable(QString::number(id))) << id << place;
    }
}

void DialogWindowTest::controlsLieAtTheirTemplatePlaces() {
    QFETCH(int, id);
    QFETCH(QRect, place);
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    const QWidget* control = run.Control(id);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(),
             Expected(control->font(), place.x(), place.y(), place.width(), place.height()));
}

void DialogWindowTest::nothingOverlapsAndNoTextIsCut() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    const DialogWindow& window = *run.view->Window();
    const QRect client = window.rect();

    // The combo box's closed field at its place; its list drops down as high as the template.
    const QWidget* combo = run.Control(D::kOutputDirectory);
    const QRect comboPlace = Expected(window.font(), 225, 21, 35, 179);
    QCOMPARE(combo->pos(), comboPlace.topLeft());
    QCOMPARE(combo->width(), comboPlace.width());
    QVERIFY(combo->height() < Expected(window.font(), 0, 0, 0, 16).height());

    // Every control and label; only the frames surround others.
    std::vector<const QWidget*> controls;
    for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<const QGroupBox*>(child) == nullptr) controls.push_back(child);
    }
    QCOMPARE(controls.size(), size_t{40});
    for (size_t i = 0; i < controls.size(); ++i) {
        const QWidget* a = controls[i];
        QVERIFY2(client.contains(a->geometry()), qPrintable(Name(a)));
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const QWidget* b = controls[j];
            QVERIFY2(!a->geometry().intersects(b->geometry()),
                     qPrintable(Name(a) + QStringLiteral(" overlaps ") + Name(b)));
        }
        // Texts fit: labels in their box (wrapped if need be), buttons with room for a frame.
        if (const auto* label = qobject_cast<const QLabel*>(a)) {
            QVERIFY2(label->heightForWidth(label->width()) <= label->height() ||
                         label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(a)) {
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width(),
                     qPrintable(button->text()));
            QVERIFY2(button->fontMetrics().height() <= button->height(),
                     qPrintable(button->text()));
        }
    }
    // The summary line with the longest numbers it shows still fits on its line.
    auto* summary = run.ControlAs<QLabel>(D::kKeyFieldSummary);
    summary->setText(QStringLiteral("Key Fields: (255 of 255 bytes currently defined)"));
    QVERIFY(summary->fontMetrics().horizontalAdvance(summary->text()) <= summary->width());
    // The two-line caption fits its two lines.
    auto* caption = run.ControlAs<QLabel>(D::kListCaption);
    QCOMPARE(caption->text(),
             QStringLiteral("The first byte of the record is position 0\nPosition    Length"));
    QVERIFY(caption->heightForWidth(caption->width()) <= caption->height() + 1);
}

void DialogWindowTest::tabOrderFollowsTheTemplate() {
    ScriptedDialog run;
    qtfront::testing::BoxAnswerer boxes;
    QVERIFY(run.Open(4, 100, 8));
    const DialogWindow& window = *run.view->Window();
    QCOMPARE(FocusedControl(window), int(D::kOutputFile));
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kOutputFile));

    // Disabled controls (Build File, Remove, Up, Down) and radio buttons and texts are skipped.
    const std::vector<int> forward{1026, 1027, 1028, 1005, 1006, 1004, 1008, 1009, 2,
                                   1002, 1017, 1018, 1019, 1020, 1030, 1032, 1025};
    std::vector<int> seen;
    for (size_t i = 0; i < forward.size(); ++i) {
        qtfront::testing::PressKey(Qt::Key_Tab);
        seen.push_back(FocusedControl(window));
    }
    QCOMPARE(seen, forward);
    QCOMPARE(run.view->Focus(), std::optional<int>(D::kOutputFile));

    qtfront::testing::PressKey(Qt::Key_Backtab);
    QCOMPARE(FocusedControl(window), 1032);
    QCOMPARE(run.view->Focus(), std::optional<int>(1032));
    QVERIFY(boxes.Seen().empty());
}

void DialogWindowTest::stylesOfTheTemplate() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));

    // Read-only edits look read-only; the others have the normal field colour.
    auto* input = run.ControlAs<QLineEdit>(D::kInputFile);
    auto* output = run.ControlAs<QLineEdit>(D::kOutputFile);
    QVERIFY(input->isReadOnly());
    QVERIFY(!output->isReadOnly());
    input->grab();
    output->grab();
    QCOMPARE(input->palette().color(QPalette::Base), input->palette().color(QPalette::Window));
    QVERIFY(output->palette().color(QPalette::Base) != input->palette().color(QPalette::Base));

    // Position and length take digits only, right-aligned.
    auto* position = run.ControlAs<QLineEdit>(D::kFieldPosition);
    QVERIFY(position->alignment() & Qt::AlignRight);
    qtfront::testing::TypeInto(position, QStringLiteral("1x2"));
    QCOMPARE(position->text(), QStringLiteral("12"));

    // Build File is the default button; the progress bar starts hidden; the radio buttons are
    // one group.
    QVERIFY(run.ControlAs<QPushButton>(D::kBuildFile)->isDefault());
    QVERIFY(!run.Control(D::kProgress)->isVisible());
    QVERIFY(run.ControlAs<QRadioButton>(D::kUseKeyTree)->isChecked());
    qtfront::testing::Click(run.Control(D::kUseRecordNumber));
    QVERIFY(run.ControlAs<QRadioButton>(D::kUseRecordNumber)->isChecked());
    QVERIFY(!run.ControlAs<QRadioButton>(D::kUseKeyTree)->isChecked());
    QVERIFY(!run.Control(D::kFromKey)->isEnabled());

    // The window's title and its icon, icon 128.
    const DialogWindow& window = *run.view->Window();
    QCOMPARE(window.windowTitle(), QStringLiteral("Ordelin"));
    const QImage icon =
        window.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(icon,
             qtfront::IconPixmap(res::kAppIcon).toImage().convertToFormat(QImage::Format_ARGB32));
}

void DialogWindowTest::keyFieldColumnsStartAtTheTabStop() {
    ScriptedDialog run;
    QVERIFY(run.Open(4, 100, 8));
    auto* list = dynamic_cast<qtfront::TemplateListBox*>(run.Control(D::kKeyFieldList));
    QVERIFY(list != nullptr);
    QCOMPARE(list->TabStop(), 30);  // set by the dialog
    const int stop = qtfront::HorizontalPixels(30, run.view->Window()->Units());
    auto* delegate = static_cast<qtfront::KeyFieldDelegate*>(list->itemDelegate());
    QCOMPARE(delegate->TabStopPixels(), stop);
    const auto advance = [](const QString& text) { return static_cast<int>(text.size()) * 10; };
    QCOMPARE(delegate->PartOffsets({QStringLiteral("61"), QStringLiteral("18")}, advance),
             (std::vector<int>{0, stop}));
    // A first column that reaches past the stop pushes the second to the next one.
    QCOMPARE(delegate->PartOffsets({QString(stop / 10 + 1, QLatin1Char('x')), QStringLiteral("8")},
                                   advance),
             (std::vector<int>{0, 2 * stop}));

    // As painted: the part after the tab starts exactly one stop further right.
    auto inkStart = [list](const QString& item) {
        list->clear();
        list->addItem(item);
        list->doItemsLayout();
        const QImage image = list->viewport()->grab().toImage();
        const QRect row = list->visualItemRect(list->item(0));
        const QColor background = image.pixelColor(row.right() - 1, row.center().y());
        for (int x = row.left(); x < row.right(); ++x) {
            for (int y = row.top(); y <= row.bottom(); ++y) {
                if (image.pixelColor(x, y) != background) return x;
            }
        }
        return -1;
    };
    const int alone = inkStart(QStringLiteral("8"));
    QVERIFY(alone >= 0);
    QCOMPARE(inkStart(QStringLiteral("\t8")), alone + stop);
}

void DialogWindowTest::aboutBoxLayout() {
    CAboutDlg about;
    qtfront::WidgetDialogView view;
    QVERIFY(view.Open(about));
    const DialogWindow& window = *view.Window();
    const QFont font = window.font();
    QCOMPARE(window.windowTitle(), QStringLiteral("About Ordelin"));
    QCOMPARE(window.size(), Expected(font, 0, 0, 235, 55).size());

    auto* ok = qobject_cast<QPushButton*>(view.Control(platform::kIdOk));
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(ok->geometry(), Expected(font, 178, 7, 50, 14));

    const QLabel* text = nullptr;
    const QLabel* icon = nullptr;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        (label->pixmap().isNull() ? text : icon) = label;
    }
    QVERIFY(text != nullptr && icon != nullptr);
    QCOMPARE(text->text(), QStringLiteral("Ordelin Version 1.0"));
    QCOMPARE(text->geometry(), Expected(font, 40, 10, 119, 8));
    QVERIFY(text->fontMetrics().horizontalAdvance(text->text()) <= text->width());
    QCOMPARE(icon->pos(), Expected(font, 11, 17, 0, 0).topLeft());
    QCOMPARE(icon->size(), QSize(32, 32));

    // OK ends it with IDOK.
    qtfront::testing::Click(ok);
    QVERIFY(!view.IsRunning());
    QCOMPARE(view.Close(), platform::kIdOk);
}

QTEST_MAIN(DialogWindowTest)
#include "dialog_window_test.moc"
