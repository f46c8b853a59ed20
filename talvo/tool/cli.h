// The command line of the `talvo` tool: `talvo COMMAND [options]`, with --help everywhere.
#pragma once

#include <string>

#include "talvo/tool/tool_common.h"

namespace talvo::tool {

// What `talvo --version` prints (without the line end): the tool's release and the version
// of the engine's dispatch interface, "talvo 1.0 (TalvoLib 1.2)".
std::string VersionText();

// Parses the command line and runs the command. Returns the exit status: kExitOk, kExitFailure
// (the command failed, or check found problems; a one-line reason is on console.err) or
// kExitUsage (the command line is wrong; likewise).
int RunTool(int argc, const char* const* argv, Console& console);

}  // namespace talvo::tool
