#include "qt/start_chooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/ordelin_app.h"
#include "app/start_choice.h"
#include "platform/message_box.h"
#include "qt/dialog_units.h"
#include "qt/message_boxes.h"
#include "res/resources.h"

namespace qtfront {
namespace {

const QString kTitle = QString::fromUtf8(COrdelinApp::kApplicationTitle);

// File names are bytes in the host's encoding; directory names are text.
std::string FileBytes(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

}  // namespace

const char* const StartChooser::kObjectName = "startChooser";
const char* const StartChooser::kFileObjectName = "startFile";
const char* const StartChooser::kBrowseObjectName = "startBrowse";
const char* const StartChooser::kNameObjectName = "startDirectoryName";
const char* const StartChooser::kFileDialogObjectName = "startFileDialog";

StartChooser::StartChooser(const QString& presetFile, QWidget* parent)
    : QDialog(parent),
      fileEdit(new QLineEdit(this)),
      browseButton(new QPushButton(tr("&Browse..."), this)),
      nameEdit(new QLineEdit(this)) {
    setObjectName(QLatin1String(kObjectName));
    setWindowTitle(kTitle);
    // The main dialog's font, so that the two windows look of one piece.
    if (const res::DialogTemplate* main = res::FindDialogTemplate(res::kMainDialog)) {
        setFont(DialogFont(*main));
    }
    const QFontMetrics metrics(font());

    fileEdit->setObjectName(QLatin1String(kFileObjectName));
    fileEdit->setMinimumWidth(metrics.averageCharWidth() * 48);
    browseButton->setObjectName(QLatin1String(kBrowseObjectName));
    nameEdit->setObjectName(QLatin1String(kNameObjectName));
    nameEdit->setMaxLength(static_cast<int>(kMaxStartDirectoryName));
    nameEdit->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("WWW")) +
                            metrics.averageCharWidth() * 3);

    auto* fileLabel = new QLabel(tr("Input &data file:"), this);
    fileLabel->setBuddy(fileEdit);
    auto* nameLabel = new QLabel(tr("Directory &name:"), this);
    nameLabel->setBuddy(nameEdit);
    auto* explanation = new QLabel(
        tr("1 to 3 characters, such as DAT: the name under which the file system is to know the "
           "input file's folder while the utility runs. The output file's directory is chosen "
           "among such names."),
        this);
    explanation->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Open"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &StartChooser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &StartChooser::reject);
    connect(browseButton, &QPushButton::clicked, this, &StartChooser::Browse);
    connect(fileEdit, &QLineEdit::textChanged, this, &StartChooser::FollowFile);

    auto* layout = new QGridLayout(this);
    layout->addWidget(fileLabel, 0, 0);
    layout->addWidget(fileEdit, 0, 1);
    layout->addWidget(browseButton, 0, 2);
    layout->addWidget(nameLabel, 1, 0);
    layout->addWidget(nameEdit, 1, 1, Qt::AlignLeft);
    layout->addWidget(explanation, 2, 1, 1, 2);
    layout->setRowMinimumHeight(3, metrics.height() / 2);
    layout->addWidget(buttons, 4, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(fileEdit, browseButton);
    setTabOrder(browseButton, nameEdit);
    setTabOrder(nameEdit, buttons);

    FollowFile(QString());
    fileEdit->setText(presetFile);
    // A file given already: what is left to answer is the name.
    (presetFile.isEmpty() ? fileEdit : nameEdit)->setFocus();
    nameEdit->selectAll();
}

void StartChooser::FollowFile(const QString& file) {
    if (!nameEdit->text().isEmpty() && nameEdit->text() != offeredName) return;
    offeredName = QString::fromStdString(SuggestedDirectoryName(FileBytes(file)));
    nameEdit->setText(offeredName);
}

void StartChooser::Browse() {
    const QString current = fileEdit->text().trimmed();
    QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    QFileDialog chooser(this, tr("%1: choose the input data file").arg(kTitle), folder);
    chooser.setObjectName(QLatin1String(kFileDialogObjectName));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (!current.isEmpty() && QFileInfo(current).isFile()) chooser.selectFile(current);
    const bool picked = chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty();
    // Active again, as on a desktop whose window manager activates the owner of a closed dialog.
    activateWindow();
    if (!picked) return;
    fileEdit->setText(chooser.selectedFiles().constFirst());
    nameEdit->setFocus();
    nameEdit->selectAll();
}

void StartChooser::accept() {
    const StartChoiceVerdict verdict =
        CheckStartChoice({FileBytes(fileEdit->text()), nameEdit->text().toUtf8().toStdString()});
    if (!verdict.Good()) {
        RunMessageBox(this, platform::AppName(), verdict.problem,
                      platform::MB_OK | platform::MB_ICONEXCLAMATION);
        QLineEdit* atFault = verdict.field == StartChoiceVerdict::Field::File ? fileEdit : nameEdit;
        atFault->setFocus();
        atFault->selectAll();
        return;
    }
    commandLine = verdict.commandLine;
    QDialog::accept();
}

std::optional<std::string> ChooseStart(const QString& presetFile) {
    StartChooser chooser(presetFile);
    if (chooser.exec() != QDialog::Accepted) return std::nullopt;
    return chooser.CommandLine();
}

}  // namespace qtfront
