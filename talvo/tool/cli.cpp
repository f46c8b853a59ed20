#include "talvo/tool/cli.h"

#include <CLI/CLI.hpp>
#include <new>

#include "talvo/facade/talvo_component.h"
#include "talvo/tool/commands.h"
#include "talvo/tool/layout_cli.h"

namespace talvo::tool {

namespace {

// Unsigned numbers: digits only (the parser would otherwise wrap "-1" round to a huge value),
// at most `maximum`.
CLI::Validator Whole(uint64_t maximum = UINT64_MAX) {
    return CLI::Validator(
        [maximum](std::string& text) -> std::string {
            bool digits =
                !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            if (!digits) return "must be a whole number, not \"" + text + "\"";
            if (text.size() > 20 || std::stod(text) > static_cast<double>(maximum) ||
                (text.size() == 20 && text > std::to_string(maximum))) {
                return "must be at most " + std::to_string(maximum) + ", not " + text;
            }
            return {};
        },
        "N");
}

// Texts of the choice options, turned into their values once the line is parsed.
struct Choices {
    std::string importFormat = "fixed";
    std::string exportFormat = "fixed";
    std::string exportOrder;
    std::string dumpOrder;
};

FlatFormat ToFormat(const std::string& text) {
    return text == "lines" ? FlatFormat::kLines : FlatFormat::kFixed;
}

Order ToOrder(const std::string& text) {
    return text.empty() ? Order::kDefault : text == "key" ? Order::kKey : Order::kRecord;
}

void AddFileRef(CLI::App* command, FileRef* ref) {
    command
        ->add_option("FILE", ref->file,
                     "the data file: a host path, or a name inside the directory of --dir")
        ->required();
    command->add_option("--dir", ref->dir,
                        "take FILE as a name in this directory of the directory table "
                        "(see talvo dirs)");
}

void AddOrder(CLI::App* command, std::string* order, const char* defaultText) {
    command->add_option("--order", *order, std::string("key or record; default ") + defaultText)
        ->check(CLI::IsMember({"key", "record"}));
}

}  // namespace

std::string VersionText() {
    return std::string("talvo ") + TALVO_TOOL_VERSION + " (TalvoLib " +
           std::to_string(kTalvoLibVersion >> 16) + "." +
           std::to_string(kTalvoLibVersion & 0xFFFF) + ")";
}

int RunTool(int argc, const char* const* argv, Console& console) {
    CLI::App app("Makes, loads, inspects and checks data files.", "talvo");
    app.set_version_flag("--version", VersionText(), "show the tool's and the engine's version");
    app.require_subcommand(1);
    app.fallthrough(false);
    app.footer(
        "Memory: a file being written holds at most its budgets in memory; keys beyond them\n"
        "go to a spill file beside the data file until the changes commit. Set them with the\n"
        "environment variable TALVO_BUDGETS, e.g. TALVO_BUDGETS=pending-keys=64M,filter=128M\n"
        "(budgets: " +
        CurrentBudgets() + ").");
    Choices choices;

    CreateArgs create;
    CLI::App* createCmd = app.add_subcommand("create", "create a new, empty data file");
    AddFileRef(createCmd, &create.ref);
    createCmd
        ->add_option("--type", create.type,
                     "1 or 2: records only; 4: keyed; "
                     "36: keyed, key inside the record")
        ->required()
        ->check(CLI::IsMember({1, 2, 4, 36}));
    createCmd
        ->add_option("--record-size", create.recordSize,
                     "bytes per record, 1 to 65535 (0: a key-only file of type 4 or 36)")
        ->required()
        ->check(Whole(kMaxRecordSize));
    createCmd->add_option("--key-size", create.keySize, "key bytes, 1 to 255 (types 4 and 36)")
        ->check(Whole(kMaxKeySize));
    createCmd
        ->add_option("--key-pos", create.keyPosition,
                     "type 36: position of the key in the record (default 0)")
        ->check(Whole(kMaxRecordSize));

    ImportArgs import;
    CLI::App* importCmd = app.add_subcommand("import", "add records from a flat file");
    importCmd->footer(
        "Keys already in the file, or repeated in the input, are skipped and reported with\n"
        "their input record number (from 1); the last line counts the records read, written\n"
        "and refused. A line longer than the record size refuses the whole import: every\n"
        "such line is reported with its number and the file is left as it was.");
    AddFileRef(importCmd, &import.ref);
    importCmd->add_option("--input", import.input, "the flat file; - for standard input (default)");
    importCmd
        ->add_option("--format", choices.importFormat,
                     "fixed: records of exactly the record size, end to end (default); "
                     "lines: one record per text line, padded with spaces")
        ->check(CLI::IsMember({"fixed", "lines"}));
    importCmd->add_option("--key-fields", import.keyFields,
                          "type 4: the key is made of these byte ranges of the record, end to "
                          "end, as POS:LEN,POS:LEN,... (default 0:KEYSIZE); type 36 reads the key "
                          "at its key position; a key-only file takes each input record as a key");
    importCmd->add_flag("--progress", import.progress, "show progress on standard error");

    ExportArgs exportArgs;
    CLI::App* exportCmd = app.add_subcommand(
        "export",
        "write the records to a flat file, deleted ones left out (a key-only file "
        "gives its keys)");
    AddFileRef(exportCmd, &exportArgs.ref);
    AddOrder(exportCmd, &choices.exportOrder, "key for keyed files, record for the others");
    exportCmd->add_option("--output", exportArgs.output,
                          "the flat file, replaced only when the export succeeds; - for "
                          "standard output (default)");
    exportCmd
        ->add_option("--format", choices.exportFormat,
                     "fixed: records end to end (default); lines: one record per line")
        ->check(CLI::IsMember({"fixed", "lines"}));

    DumpArgs dump;
    CLI::App* dumpCmd = app.add_subcommand(
        "dump",
        "show record number, key as text and hex, record (non-printable bytes as \\xHH) "
        "and the deleted mark");
    AddFileRef(dumpCmd, &dump.ref);
    AddOrder(dumpCmd, &choices.dumpOrder, "record (key for a key-only file)");
    dumpCmd->add_option("--limit", dump.limit, "show at most N records")->check(Whole());
    dumpCmd->add_flag("--json", dump.json,
                      "one JSON object per line; bytes as characters U+0000 to U+00FF");
    AddLayoutOptions(dumpCmd, &dump.layout);

    StatArgs stat;
    CLI::App* statCmd = app.add_subcommand("stat",
                                           "describe the file: type, sizes, counts, "
                                           "dates, subordinate keys");
    AddFileRef(statCmd, &stat.ref);
    statCmd->add_flag("--json", stat.json, "one JSON object");

    DeleteArgs del;
    CLI::App* deleteCmd = app.add_subcommand("delete", "delete one record");
    AddFileRef(deleteCmd, &del.ref);
    auto* keyOpt = deleteCmd->add_option("--key", del.key, "the record with this key (text)");
    auto* hexOpt = deleteCmd->add_option("--key-hex", del.keyHex, "the record with this key (hex)");
    auto* recOpt =
        deleteCmd->add_option("--record", del.record, "record number N (from 0)")->check(Whole());
    keyOpt->excludes(hexOpt)->excludes(recOpt);
    hexOpt->excludes(recOpt);

    SubKeyArgs subKey;
    CLI::App* subKeyCmd = app.add_subcommand(
        "subkey", "subordinate key definitions: `subkey FILE list`, `subkey FILE add A B NAME`");
    AddFileRef(subKeyCmd, &subKey.ref);
    subKeyCmd->add_option("ACTION", subKey.action, "list or add")->required();
    subKeyCmd->add_option("ARGS", subKey.operands, "add: A B NAME");

    FileRef removeRef;
    CLI::App* removeCmd = app.add_subcommand(
        "remove",
        "remove the file: its data file and every file that belongs to it (refused while "
        "another process has it open)");
    AddFileRef(removeCmd, &removeRef);

    FileRef checkRef;
    CLI::App* checkCmd = app.add_subcommand(
        "check",
        "check that index and records agree; one line per problem; exit status 0 only "
        "for a sound file");
    AddFileRef(checkCmd, &checkRef);

    DirsArgs dirs;
    CLI::App* dirsCmd = app.add_subcommand(
        "dirs", "the directory table: `dirs list`, `dirs set NAME PATH`, `dirs remove NAME`");
    dirsCmd->add_option("ACTION", dirs.action, "list, set or remove")->required();
    dirsCmd->add_option("ARGS", dirs.operands,
                        "set: NAME PATH (a relative PATH is stored absolute); remove: NAME");

    GenArgs gen;
    CLI::App* genCmd = app.add_subcommand(
        "gen", "create a file of demonstration data; the same options give the same file");
    AddFileRef(genCmd, &gen.ref);
    genCmd->add_option("--records", gen.records, "how many records")->required()->check(Whole());
    genCmd->add_option("--seed", gen.seed, "seed of the data (default 1)")->check(Whole());
    genCmd
        ->add_option("--layout", gen.layout,
                     "customer: 100-byte customer records, key 8 bytes (default); "
                     "orders: 64-byte order records, key 10 bytes")
        ->check(CLI::IsMember({"customer", "orders"}));
    genCmd->add_option("--type", gen.type, "1, 2, 4 (default) or 36")
        ->check(CLI::IsMember({1, 2, 4, 36}));
    genCmd
        ->add_option("--deleted-every", gen.deletedEvery,
                     "delete every K-th record (types 4 and 36)")
        ->check(Whole());

    LayoutArgs layoutArgs;
    CLI::App* layoutCmd = AddLayoutCommand(&app, &layoutArgs);

    // A first word that names no command is said to be none; the parser would only ask for a
    // command, as if none had been given.
    if (argc >= 2 && argv[1][0] != '-') {
        std::string names;
        bool known = false;
        for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
            known = known || command->check_name(argv[1]);
            names += (names.empty() ? "" : ", ") + command->get_name();
        }
        if (!known) {
            console.err << "talvo: \"" << argv[1] << "\" is not a command; the commands are "
                        << names << " (see talvo --help)\n";
            return kExitUsage;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e, console.out, console.err);
        console.err << "talvo: " << e.what() << " (see talvo --help)\n";
        return kExitUsage;
    }
    import.format = ToFormat(choices.importFormat);
    exportArgs.format = ToFormat(choices.exportFormat);
    exportArgs.order = ToOrder(choices.exportOrder);
    dump.order = ToOrder(choices.dumpOrder);

    try {
        if (createCmd->parsed()) CreateCommand(create, console);
        if (importCmd->parsed()) ImportCommand(import, console);
        if (exportCmd->parsed()) ExportCommand(exportArgs, console);
        if (dumpCmd->parsed()) DumpCommand(dump, console);
        if (statCmd->parsed()) StatCommand(stat, console);
        if (deleteCmd->parsed()) DeleteCommand(del, console);
        if (subKeyCmd->parsed()) SubKeyCommand(subKey, console);
        if (removeCmd->parsed()) RemoveCommand(removeRef, console);
        if (checkCmd->parsed()) return CheckCommand(checkRef, console);
        if (dirsCmd->parsed()) DirsCommand(dirs, console);
        if (genCmd->parsed()) GenCommand(gen, console);
        if (layoutCmd->parsed()) LayoutCommand(layoutArgs, console);
    } catch (const ToolError& e) {
        console.out.flush();
        console.err << "talvo: " << e.what() << "\n";
        return e.exitCode();
    } catch (const std::bad_alloc&) {
        console.out.flush();
        console.err << "talvo: " << ErrorText(Error::kOutOfMemory)
                    << ": the command could not get the memory it needed\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        console.out.flush();
        console.err << "talvo: " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace talvo::tool
