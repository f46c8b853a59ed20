// The command-line text the system reads, made from the host's argument vector.
#pragma once

#include <string>

namespace platform {

// Joins argv[1..argc-1] with single spaces. The first argument is the input file: given in host
// form ("/data/cust", "cust", "../x/cust") it is made absolute and written in platform form
// ("Z:\data\cust"); given with a drive ("C:\DATA\CUST", "z:/data/cust") it is kept, with
// backslashes for its slashes. An argument that holds a space or a tab is put in double quotes,
// except that of the options "/D", "/NET:" and "/NET=" (in any case) only the value is quoted
// ("/Dmy dir" -> /D"my dir"), since the command line is read that way; a value that already
// begins with a quote is kept as given. argc < 2 (or a null argv) gives an empty text.
std::string AssembleCommandLine(int argc, char** argv);

}  // namespace platform
