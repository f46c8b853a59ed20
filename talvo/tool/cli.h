// The command line of the `talvo` tool: `talvo COMMAND [options]`, with --help everywhere.
#pragma once

#include "talvo/tool/tool_common.h"

namespace talvo::tool {

// Parses the command line and runs the command. Returns the exit status: kExitOk, kExitFailure
// (the command failed, or check found problems; a one-line reason is on console.err) or
// kExitUsage (the command line is wrong; likewise).
int RunTool(int argc, const char* const* argv, Console& console);

}  // namespace talvo::tool
