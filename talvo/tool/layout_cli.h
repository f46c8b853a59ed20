// The command-line part of record layouts: the `layout` command and the copybook options of
// `dump --layout`.
#pragma once

#include <CLI/CLI.hpp>

#include "talvo/tool/layout_command.h"

namespace talvo::tool {

// Adds `layout COPYBOOK [--record NAME] [--json] [--source-format ...] [--binary-size ...]`.
CLI::App* AddLayoutCommand(CLI::App* app, LayoutArgs* args);

// Adds `--layout COPYBOOK` and, needing it, --record, --source-format and --binary-size.
void AddLayoutOptions(CLI::App* command, CopybookArgs* args);

}  // namespace talvo::tool
