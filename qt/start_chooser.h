// The small window that asks for what the command line would give, for a start from the
// desktop's menu or a file manager (`ordelin --choose [FILE]`): the input data file (typed, or
// picked with Browse) and the directory name, with a line on what that name is. Open checks the
// answers (CheckStartChoice); a refused one is explained in a box and asked again, with the focus
// on it. Cancel, Escape or the window's close button give up.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QLineEdit;
class QPushButton;

namespace qtfront {

class StartChooser : public QDialog {
  public:
    // Object names of the window and its fields, for the tests and the screenshots.
    static const char* const kObjectName;
    static const char* const kFileObjectName;
    static const char* const kBrowseObjectName;
    static const char* const kNameObjectName;
    static const char* const kFileDialogObjectName;  // Browse's file chooser

    // `presetFile` (may be empty) fills the file field, and the directory name offered follows
    // from its folder.
    explicit StartChooser(const QString& presetFile, QWidget* parent = nullptr);

    // The command line of the accepted choice (the text after the program name); empty until
    // Open was pressed with good answers.
    const std::string& CommandLine() const { return commandLine; }

    void accept() override;

  private:
    void Browse();
    // Offers the name that suits `file`, unless the person typed a name of their own.
    void FollowFile(const QString& file);

    QLineEdit* fileEdit;
    QPushButton* browseButton;
    QLineEdit* nameEdit;
    QString offeredName;
    std::string commandLine;
};

// Shows the chooser modally (the application object must exist). The command line of the
// choice, or nothing when the person gave up.
std::optional<std::string> ChooseStart(const QString& presetFile);

}  // namespace qtfront
