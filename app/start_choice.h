// What a person chooses when the utility is started without its command line (from the desktop's
// menu or a file manager): the input data file and the directory name. The answers are checked
// here, without any window, against what the command-line split and the component take, and a
// good choice becomes the command line that `ordelin FILE /DNAME` hands over, so the start-up that
// follows is the same.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest directory name the component's directory table takes, in bytes.
constexpr size_t kMaxStartDirectoryName = 3;

struct StartChoice {
    // The input data file: a host path (absolute, or relative to the current directory), or a
    // platform path with a drive ("Z:\data\cust").
    std::string file;
    // The directory name as typed; white space at its ends is ignored.
    std::string directoryName;
};

struct StartChoiceVerdict {
    enum class Field { None, File, DirectoryName };

    Field field = Field::None;  // the answer at fault; None when the choice is good
    std::string problem;        // why, as a sentence for the person; empty when good
    std::string commandLine;    // the text after the program name; empty unless good

    bool Good() const { return field == Field::None; }
};

// Checks the file first, then the directory name, and reports the first problem found:
//  - file: not empty; an existing regular file; named so that the command line carries it whole
//    and the utility, which reads file names in upper case, reaches that same file through it;
//  - directory name: 1 to 3 bytes, none of them a space, a control character or one of
//    = [ ] ; (as the component's directory table takes them), and carried whole by the command
//    line.
// A good choice gives the command line assembled from ("ordelin", file, "/D" + name) as main()
// assembles its own arguments. Only reads the file system.
StartChoiceVerdict CheckStartChoice(const StartChoice& choice);

// The directory name first offered for `file`: the first three letters or digits (ASCII) of the
// name of the folder that holds it, in upper case; "DAT" when that name has none.
std::string SuggestedDirectoryName(std::string_view file);
