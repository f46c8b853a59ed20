#include "talvo/tool/layout_cli.h"

namespace talvo::tool {

namespace {

// --source-format and --binary-size, and --record unless it is there already.
void AddReadingOptions(CLI::App* command, CopybookArgs* args, CLI::Option* needed) {
    CLI::Option* options[] = {
        command->add_option("--record", args->record,
                            "the copybook's record (level 01 or 77) of this name"),
        command
            ->add_option("--source-format", args->sourceFormat,
                         "detect (default), fixed (columns 7 to 72) or free")
            ->check(CLI::IsMember({"detect", "fixed", "free"})),
        command
            ->add_option("--binary-size", args->binarySize,
                         "bytes of COMP items by their digits: 1-2-4-8 (GnuCOBOL's default), "
                         "2-4-8 (at least 2 bytes) or 1--8 (fewest bytes)")
            ->check(CLI::IsMember({"1-2-4-8", "2-4-8", "1--8"})),
    };
    if (needed != nullptr) {
        for (CLI::Option* option : options) option->needs(needed);
    }
}

}  // namespace

CLI::App* AddLayoutCommand(CLI::App* app, LayoutArgs* args) {
    CLI::App* command = app->add_subcommand(
        "layout",
        "show the records a COBOL copybook describes: level, name, offset, length, usage, "
        "picture and occurrences of each item (in a table: its first occurrence)");
    command->footer(
        "Offsets and lengths are GnuCOBOL's for the same copybook, SYNCHRONIZED included.\n"
        "An OCCURS ... DEPENDING ON table takes the room of its largest count. A line that\n"
        "cannot be read stops the command with its number and the reason.");
    command->add_option("COPYBOOK", args->copybook.path, "the copybook, fixed or free form")
        ->required();
    command->add_flag("--json", args->json,
                      "one JSON array of every item: record, name, qualified, level, offset, "
                      "length, usage, picture, occurs, redefines, dependingOn");
    AddReadingOptions(command, &args->copybook, nullptr);
    return command;
}

void AddLayoutOptions(CLI::App* command, CopybookArgs* args) {
    CLI::Option* layout = command->add_option(
        "--layout", args->path,
        "show each record field by field as the record of this COBOL copybook");
    AddReadingOptions(command, args, layout);
}

}  // namespace talvo::tool
