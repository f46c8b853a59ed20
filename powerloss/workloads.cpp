#include "powerloss/workloads.h"

namespace powerloss {
namespace {

Step Talvo(std::vector<std::string> args, Promise promise = Promise::kComplete) {
    return Step{false, std::move(args), "", promise};
}

Step Batch(std::vector<std::string> args) {
    return Step{true, std::move(args), "", Promise::kComplete};
}

std::vector<std::string> Gen(const std::string& name, const std::string& records,
                             const std::string& type, const std::string& seed) {
    return {"gen", "{root}/" + name, "--records", records, "--type", type,
            "--seed", seed, "--deleted-every", "97"};
}

// A build keyed on the city (bytes 61 to 78) and the customer number (bytes 0 to 7).
std::vector<std::string> ByCity(const std::string& input, const std::string& order) {
    return {"{root}/" + input, "/DDAT", "--out", "BYCITY", "--key-size", "26",
            "--key", "61:18", "--key", "0:8", "--order", order};
}

}  // namespace

std::vector<Workload> Workloads(size_t records) {
    const std::string n = std::to_string(records);
    std::vector<Workload> all;

    // Imports into a new keyed file, keyed on the customer number.
    const std::vector<Step> importSetup = {
        Talvo(Gen("src", n, "4", "7")),
        Talvo({"export", "{root}/src", "--order", "record", "--output", "{root}/input.flat"}),
    };
    const Step create =
        Talvo({"create", "{root}/out", "--type", "4", "--record-size", "100", "--key-size", "8"},
              Promise::kExists);
    const Step import = Talvo({"import", "{root}/out", "--input", "{root}/input.flat"});
    all.push_back({"import-once", "an import that commits once", importSetup, {create, import},
                   "out", "", {{0, 8}}, "0:8", false});
    Step spilling = import;
    // Batches of a few dozen keys spilled to runs, a commit every few hundred records, and the
    // key tree rebuilt in transactions of a few pages.
    spilling.budgets = "pending-keys=2K,filter=1K,slot-buffer=2K,index-txn=16K";
    all.push_back({"import-spills", "an import under lowered budgets (spills, merges, commits)",
                   importSetup, {create, spilling}, "out", "", {{0, 8}}, "0:8", false});

    const std::vector<Step> buildSetup = {Talvo(Gen("src", n, "4", "7"))};
    all.push_back({"build-key-order", "ordelin-batch into a new output, in key order", buildSetup,
                   {Batch(ByCity("src", "key"))}, "BYCITY", "src", {{61, 18}, {0, 8}}, "61:18,0:8",
                   false});
    all.push_back({"build-record-order", "ordelin-batch into a new output, in record order",
                   buildSetup, {Batch(ByCity("src", "record"))}, "BYCITY", "src", {{61, 18}, {0, 8}},
                   "61:18,0:8", false});

    // The output exists, built from other records, and is overwritten.
    std::vector<Step> overwriteSetup = buildSetup;
    overwriteSetup.push_back(Talvo(Gen("old", n, "4", "8")));
    overwriteSetup.push_back(Batch(ByCity("old", "record")));
    std::vector<std::string> overwrite = ByCity("src", "key");
    overwrite.push_back("--overwrite");
    all.push_back({"overwrite", "ordelin-batch --overwrite of an existing output", overwriteSetup,
                   {Batch(overwrite)}, "BYCITY", "src", {{61, 18}, {0, 8}}, "61:18,0:8", true});

    // An extended keyed input with subordinate keys, into an extended keyed output keyed on the
    // customer's first date (bytes 79 to 86, which stand in the record): the records of a date
    // after its first are left out, so the build ends with exit status 3.
    const std::vector<Step> extendedSetup = {
        Talvo(Gen("src36", n, "36", "7")),
        Talvo({"subkey", "{root}/src36", "add", "56", "60", "POSTCODE"}),
        Talvo({"subkey", "{root}/src36", "add", "61", "78", "CITY"}),
    };
    all.push_back({"extended-subkeys",
                   "ordelin-batch into an extended output with subordinate keys",
                   extendedSetup,
                   {Batch({"{root}/src36", "/DDAT", "--out", "EXT", "--key-size", "8", "--key",
                           "79:8", "--key-pos", "79", "--order", "key"})},
                   "EXT",
                   "src36",
                   {{79, 8}},
                   "",
                   false});
    return all;
}

}  // namespace powerloss
