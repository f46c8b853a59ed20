// The `talvo` tool: make, load, inspect and check data files from the command line.
#include <iostream>

#include "talvo/tool/cli.h"

int main(int argc, char** argv) {
    talvo::tool::Console console{std::cout, std::cerr};
    return talvo::tool::RunTool(argc, argv, console);
}
