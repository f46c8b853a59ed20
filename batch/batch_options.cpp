#include "batch/batch_options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <sstream>

#include "platform/text_case.h"

namespace batch {
namespace {

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A number as typed into a size or position edit: decimal digits, a sign allowed (the dialog
// itself says what it makes of a negative value).
CLI::Validator Decimal() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
            if (!IsDigits(text.substr(digits))) {
                return "must be a number written in decimal, not \"" + text + "\"";
            }
            return {};
        },
        "");
}

// A --key that means POS:LEN: one with a colon, or digits alone (a field name has a letter).
bool LooksLikePositions(const std::string& text) {
    return text.find(':') != std::string::npos || IsDigits(text);
}

// POS:LEN, both plain digits (the Position and Length edits take digits only), or the name of a
// field of the record layout.
CLI::Validator KeyField() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (!LooksLikePositions(text)) {
                if (text.find_first_not_of(" \t") == std::string::npos) {
                    return "must be POS:LEN or a field name, not \"" + text + "\"";
                }
                return {};
            }
            const size_t colon = text.find(':');
            if (colon == std::string::npos || !IsDigits(text.substr(0, colon)) ||
                !IsDigits(text.substr(colon + 1))) {
                return "must be POS:LEN, two numbers of digits only, not \"" + text + "\"";
            }
            return {};
        },
        "");
}

CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](std::string& text) -> std::string { return text.empty() ? "must not be empty" : ""; },
        "");
}

bool StartsWithOption(const std::string& word, const char* option) {
    return platform::StartsWithIgnoringCase(word, option);
}

ParsedCommandLine Usage(const std::string& reason) {
    ParsedCommandLine parsed;
    parsed.exitStatus = kExitUsage;
    parsed.err = std::string(kProgramName) + ": " + reason + "\n" + kUsageLine + "\n" +
                 "Run with --help for more information.\n";
    return parsed;
}

}  // namespace

std::string VersionText() {
    return std::string(kProgramName) + " " + ORDELIN_BATCH_VERSION;
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
    CLI::App app(
        "Builds a keyed data file from FILE as the Ordelin window does, without a window: the\n"
        "same start-up, then the same dialog driven as a person would (typing, focus moves,\n"
        "clicks, answers). Every message box is one line \"ordelin-batch: TEXT\" on standard\n"
        "error; the list file's path is printed instead of opened.\n\n"
        "Exit status: 0 the build ended and wrote every record read (deleted ones aside);\n"
        "3 it ended and some were not written; 1 the start-up, the dialog or the build refused\n"
        "or ended early (an input that cannot be read, a full disk, too little memory); 130 or\n"
        "143 SIGINT or SIGTERM stopped it at a record, its output sound and holding what was\n"
        "written; 2 the command line cannot be used. A dry run exits as the build would.\n",
        kProgramName);
    app.footer(
        "Examples:\n"
        "  ordelin-batch /data/cust /DDAT --out CUSTPC --key-size 13 --key 56:5 --key 0:8 "
        "--overwrite --json\n"
        "  ordelin-batch /data/cust /DDAT --out CUSTCITY --key-size 26 --layout customer.cpy "
        "--key CUST-CITY --key CUST-NO");
    BatchOptions o;
    std::string order;
    std::vector<std::string> keys;

    app.add_option("FILE", o.words,
                   "the input data file (a host path, or a platform path such as Z:\\data\\cust), "
                   "then /DNAME, the directory name its folder is registered under, and "
                   "optionally /NET:NAME or /NET=NAME, a network name for the connection")
        ->type_name("/DNAME [/NET:NAME]");
    app.add_option("--out", o.out, "the output file name, typed into the Output File edit")
        ->type_name("NAME")
        ->required()
        ->check(NotEmpty());
    app.add_option("--out-dir", o.outDir,
                   "the output directory, chosen from the Dir list (default: the /D name); a "
                   "name the list does not offer is refused")
        ->type_name("NAME");
    app.add_option("--record-size", o.recordSize,
                   "the output record size (default: the input's, as the dialog starts)")
        ->type_name("N")
        ->check(Decimal());
    app.add_option("--key-size", o.keySize,
                   "the output key size (default: the input's, as the dialog starts)")
        ->type_name("N")
        ->check(Decimal());
    app.add_option("--key", keys,
                   "a key field: position (from 0) and length in the input record, or the name "
                   "of a field of the --layout record (CUST-CITY, CUST-CITY OF CUST-ADDRESS, "
                   "CUST-PHONE(2)), typed as its position and length; repeatable, in key order; "
                   "the fields the dialog starts with are removed first")
        ->type_name("POS:LEN|NAME")
        ->allow_extra_args(false)
        ->check(KeyField());
    CLI::Option* layout = app.add_option(
        "--layout", o.layout,
        "a COBOL copybook describing the input's records, for --key NAME (`talvo layout "
        "FILE.cpy` lists its fields); a record it lays out longer than the input's records is "
        "refused; a named key of binary or packed data is warned about (it sorts by its bytes, "
        "not by its values) and built");
    layout->type_name("FILE.cpy");
    app.add_option("--record", o.record,
                   "the copybook's record (level 01 or 77) of this name (default: its only one)")
        ->type_name("NAME")
        ->needs(layout);
    app.add_option("--source-format", o.sourceFormat,
                   "the copybook's form: detect (default), fixed (columns 7 to 72) or free")
        ->check(CLI::IsMember({"detect", "fixed", "free"}))
        ->needs(layout);
    app.add_option("--binary-size", o.binarySize,
                   "bytes of the copybook's COMP items by their digits: 1-2-4-8 (GnuCOBOL's "
                   "default), 2-4-8 (at least 2 bytes) or 1--8 (fewest bytes)")
        ->check(CLI::IsMember({"1-2-4-8", "2-4-8", "1--8"}))
        ->needs(layout);
    CLI::Option* keyPos = app.add_option(
        "--key-pos", o.keyPos,
        "the output key position, typed after the key fields: an extended keyed output "
        "(type 36) with its key inside the record");
    keyPos->type_name("N")->check(Decimal());
    app.add_flag("--no-key-pos", o.noKeyPos,
                 "empty the output key position: a plain keyed output (type 4), e.g. from a "
                 "type 36 input")
        ->excludes(keyPos);
    CLI::Option* from = app.add_option(
        "--from", o.from, "the From Key: the lowest key to build (default: from the first key)");
    CLI::Option* to = app.add_option(
        "--to", o.to, "the To Key: the highest key to build (default: to the last key)");
    app.add_option("--order", order,
                   "key: read the input along its key (Use Key Tree); record: in record-number "
                   "order, deleted records left out (Use Record #); default: as the dialog starts")
        ->check(CLI::IsMember({"key", "record"}));
    app.add_flag("--overwrite", o.overwrite,
                 "answer Yes when the output exists and the build asks to overwrite it (without "
                 "it the answer is No and nothing is built)");
    app.add_flag("--dry-run", o.dryRun,
                 "do and check everything up to the build, then read the input as the build "
                 "would and count what would be written and what not; no file is created, "
                 "erased or changed and no list file is written; exits as the build would, "
                 "also where it foresees the build refused (an output in place without "
                 "--overwrite, an output folder missing or not writable, another build of the "
                 "same output running)");
    app.add_flag("--json", o.json,
                 "print one JSON object as the last line of standard output: read, deleted, "
                 "written, notWritten, ended (how the copy ended), listFile, output, order, "
                 "keyFields (position, length and name of each --key), dryRun, messages (every "
                 "run but one whose command line cannot be used)");
    app.add_flag("--progress", o.progress,
                 "show a progress line (records per second, time left) on standard error when "
                 "it is a terminal");
    app.set_version_flag("--version", VersionText(), "print the program's version and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {  // --help or --version
            std::ostringstream out;
            std::ostringstream err;
            ParsedCommandLine parsed;
            parsed.exitStatus = app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
            parsed.out = out.str();
            parsed.err = err.str();
            return parsed;
        }
        return Usage(e.what());
    }

    if (o.words.empty()) return Usage("the input file is missing");
    for (size_t i = 1; i < o.words.size(); ++i) {
        const std::string& word = o.words[i];
        if (!StartsWithOption(word, "/D") && !StartsWithOption(word, "/NET:") &&
            !StartsWithOption(word, "/NET=")) {
            return Usage("\"" + word + "\" is neither /DNAME nor /NET:NAME");
        }
    }
    for (const std::string& key : keys) {
        if (!LooksLikePositions(key)) {
            if (!o.layout) {
                return Usage("--key " + key +
                             ": a key field given by name needs --layout FILE.cpy, the copybook "
                             "of the input's records");
            }
            o.keys.push_back({"", "", key});
            continue;
        }
        const size_t colon = key.find(':');
        o.keys.push_back({key.substr(0, colon), key.substr(colon + 1), ""});
    }
    if (!order.empty()) o.order = order == "key" ? InputOrder::Key : InputOrder::Record;
    if (o.order == InputOrder::Record && (from->count() != 0 || to->count() != 0)) {
        return Usage("--from and --to bound the keys of a build in key order, not --order record");
    }

    ParsedCommandLine parsed;
    parsed.options = std::move(o);
    return parsed;
}

}  // namespace batch
