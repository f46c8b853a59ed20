// Whether the command line carries the input file whole. main() turns its first argument (the
// input file, a host path or a platform path with a drive) into the command-line text that the
// start-up splits: the path in double quotes when it holds a space, cut at its quotes, trimmed
// of white space at its ends, split into folders at every backslash, its names upper-cased (and
// found again without regard to case). Some host paths do not survive that: they would bring the
// utility to another file than the one named, or to none. Those are refused before the start-up.
#pragma once

#include <optional>
#include <string>

// Why the command line cannot carry `file` (main()'s first argument), as a sentence for the
// person; nothing when it can. Refused: a double quote anywhere; a backslash in a host path
// (one without a drive), which would be read as a separator; white space at the end; and any
// path by which the utility would reach another file than the one named (a name the upper
// case makes ambiguous, a ".." after a link), or reach a file where the named one does not
// exist. A file that exists neither way is not refused: the dialog says it is not a valid data
// file. Only reads the file system.
std::optional<std::string> CommandLineFileProblem(const std::string& file);
