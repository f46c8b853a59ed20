// The command-line text the system reads, made from the host's argument vector.
#pragma once

#include <string>

namespace platform {

// Joins argv[1..argc-1] with single spaces; an argument that holds a space or a tab is put in
// double quotes. The first argument is the input file: given in host form ("/data/cust",
// "cust", "../x/cust") it is made absolute and written in platform form ("Z:\data\cust").
// A first argument already in platform form with a drive ("C:\DATA\CUST", "z:/data/cust") is
// kept, with backslashes for its slashes.
// argc < 2 (or a null argv) gives an empty text.
std::string AssembleCommandLine(int argc, char** argv);

}  // namespace platform
