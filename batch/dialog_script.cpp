#include "batch/dialog_script.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "builder/output_place.h"
#include "platform/path.h"
#include "platform/text_case.h"

namespace batch {
namespace {

using D = COrdelinDlg;

// The item that names `wanted`: the one spelled exactly so, else the one that differs only in
// letter case; -1 when there is none.
int FindName(const std::vector<std::string>& names, const std::string& wanted) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == wanted) return static_cast<int>(i);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (platform::EqualsIgnoringCase(names[i], wanted)) return static_cast<int>(i);
    }
    return -1;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The edit's label on the screen, for the script's own lines.
std::string EditName(int id) {
    switch (id) {
        case D::kOutputFile:
            return "Output File";
        case D::kOutputRecordSize:
            return "Record Size";
        case D::kOutputKeySize:
            return "Key Size";
        case D::kFieldPosition:
            return "Position";
        case D::kFieldLength:
            return "Length";
        case D::kOutputKeyPosition:
            return "Key Pos";
        case D::kFromKey:
            return "From Key";
        case D::kToKey:
            return "To Key";
        default:
            return "edit " + std::to_string(id);
    }
}

}  // namespace

bool DialogScript::Refuse(const std::string& text) {
    log.Say(text);
    return false;
}

bool DialogScript::Enter(int id, const std::string& text, const std::string& option) {
    if (!host->Enabled(id)) {
        std::string why;
        if (id == D::kFromKey || id == D::kToKey) why = ": the input is read in record order";
        return Refuse(option + ": the " + EditName(id) + " edit is disabled" + why);
    }
    // Refused rather than cut: a build on a shortened value is not the build asked for.
    if (const std::optional<size_t> limit = host->TextLimit(id); limit && text.size() > *limit) {
        return Refuse(option + ": the " + EditName(id) + " edit takes at most " +
                      std::to_string(*limit) + " characters, not " + std::to_string(text.size()));
    }
    const size_t before = log.Count();
    const bool typed = host->Type(id, text);
    host->MoveFocus(D::kInputFile);  // leaves the edit, as Tab would
    if (!NoBoxSince(before)) return false;
    if (!typed) return Refuse(option + ": the " + EditName(id) + " edit cannot be typed into");
    return true;
}

bool DialogScript::ChooseDirectory() {
    const bool given = options.outDir.has_value();
    const std::string wanted = given ? *options.outDir : dialog->inputDirectory;
    const size_t before = log.Count();
    const bool dropped = host->DropDown(D::kOutputDirectory);
    if (!NoBoxSince(before)) return false;
    if (!dropped) return Refuse("the Dir list cannot be dropped down");
    const std::vector<std::string> offered = host->Items(D::kOutputDirectory);
    const int index = FindName(offered, wanted);
    if (index < 0) {
        std::string text =
            (given ? "--out-dir " + wanted
                   : "the output directory " + wanted + " (the /D name; see --out-dir)") +
            ": the Dir list " +
            (offered.empty() ? "offers no directory" : "offers only " + Joined(offered));
        if (platform::EqualsIgnoringCase(wanted, dialog->inputDirectory) &&
            dialog->outputFileName == dialog->inputFileName) {
            text +=
                " (it leaves out the input's own directory while the output keeps the "
                "input's name)";
        }
        return Refuse(text);
    }
    if (!host->ChooseComboItem(D::kOutputDirectory, index)) {
        return Refuse("the Dir list does not let " + offered[static_cast<size_t>(index)] +
                      " be chosen");
    }
    return NoBoxSince(before);
}

bool DialogScript::RemoveStartingFields() {
    for (size_t count = host->Items(D::kKeyFieldList).size(); count != 0;) {
        const size_t before = log.Count();
        const std::string item = host->Items(D::kKeyFieldList).front();
        const bool removed =
            host->SelectListItem(D::kKeyFieldList, 0) && host->Click(D::kRemoveKeyField);
        if (!NoBoxSince(before)) return false;
        const size_t left = host->Items(D::kKeyFieldList).size();
        if (!removed || left >= count) {
            std::string text = item;
            std::replace(text.begin(), text.end(), '\t', ':');
            return Refuse("--key: the key field " + text +
                          " the dialog starts with cannot be "
                          "removed");
        }
        count = left;
    }
    return true;
}

bool DialogScript::AddKeyField(const KeyFieldText& field) {
    const std::string option =
        "--key " + (field.name.empty() ? field.position + ":" + field.length
                                       : field.name + " (" + field.position + ":" + field.length +
                                             ")");
    if (!Enter(D::kFieldPosition, field.position, option) ||
        !Enter(D::kFieldLength, field.length, option)) {
        return false;
    }
    if (!host->Enabled(D::kAddKeyField)) {
        return Refuse(option + ": Add Key Field is disabled, the key is complete: " +
                      host->Text(D::kKeyFieldSummary));
    }
    const size_t before = log.Count();
    const bool clicked = host->Click(D::kAddKeyField);
    if (!NoBoxSince(before)) return false;
    return clicked || Refuse(option + ": Add Key Field cannot be clicked");
}

bool DialogScript::ChooseOrder(InputOrder order) {
    const bool key = order == InputOrder::Key;
    const int id = key ? D::kUseKeyTree : D::kUseRecordNumber;
    if (host->Checked(id)) return true;
    const std::string option = std::string("--order ") + (key ? "key" : "record");
    if (!host->Enabled(id)) {
        return Refuse(option + ": " + (key ? "Use Key Tree" : "Use Record #") +
                      " is disabled: " + dialog->inputFileName + " on " + dialog->inputDirectory +
                      (key ? " holds records only, without a key" : ""));
    }
    const size_t before = log.Count();
    const bool clicked = host->Click(id);
    if (!NoBoxSince(before)) return false;
    return clicked || Refuse(option + ": the button cannot be clicked");
}

bool DialogScript::KeyFieldsKept() {
    if (options.keys.empty()) return true;
    // The dialog accepted the key position: the key fields stood end to end, and the list is now
    // the one field at the key position with the key size. The build keys the output on that
    // field, which must be the bytes the --key options name.
    const uint64_t position = dialog->outputKeyPosition;
    const uint64_t size = dialog->outputKeySize;
    const auto number = [](const std::string& digits) {
        return static_cast<uint64_t>(std::max(0, platform::ParseLeadingInt(digits)));
    };
    uint64_t total = 0;
    std::string asked;
    for (const KeyFieldText& field : options.keys) {
        total += number(field.length);
        asked += (asked.empty() ? "" : " ") + field.position + ":" + field.length;
    }
    if (number(options.keys.front().position) == position && total == size) return true;
    const std::string one = std::to_string(position) + ":" + std::to_string(size);
    commandLineRefused = true;
    return Refuse("--key-pos " + *options.keyPos +
                  ": an extended keyed output holds its key in the record at the key position, "
                  "so its key is the one field " +
                  one + ", not the --key fields " + asked + "; give --key " + one +
                  " with this --key-pos, or leave --key-pos out for a keyed output on " + asked);
}

bool DialogScript::Press() {
    if (!host->Enabled(D::kBuildFile)) {
        return Refuse("Build File is disabled, the key is not complete: " +
                      host->Text(D::kKeyFieldSummary));
    }
    if (options.dryRun) {
        dialog->DryRun();
        // The build would ask before replacing an existing output, and be refused without
        // --overwrite: the count says what it would write with it.
        if (dialog->lastBuild.copied && dialog->lastBuild.outputExists && !options.overwrite) {
            log.Say(dialog->outputFileName + " on " + dialog->outputDirectory +
                    " exists: the build will ask to overwrite it, and without --overwrite the "
                    "answer is No");
            wouldBeRefused = true;
        }
    } else if (!host->Click(D::kBuildFile)) {
        return Refuse("Build File cannot be clicked");
    }
    const BuildSummary& summary = dialog->lastBuild;
    if (!summary.copied && !summary.failure.empty() &&
        (log.Boxes().empty() || log.Boxes().back().text != summary.failure)) {
        // An early end without a box of its own: the output was kept.
        log.Say(summary.failure + (options.overwrite ? "" : " (--overwrite answers Yes)"));
    }
    return summary.copied;
}

bool DialogScript::Act(headless::HeadlessHost& view, COrdelinDlg& target) {
    host = &view;
    dialog = &target;
    const BatchOptions& o = options;
    if (layoutRecord) {
        if (const std::optional<std::string> problem = LayoutLengthProblem(
                *layoutRecord, dialog->inputRecordSize,
                dialog->inputFileName + " on " + dialog->inputDirectory)) {
            commandLineRefused = true;
            return Refuse(*problem);
        }
    }
    if (!Enter(D::kOutputFile, o.out, "--out") || !ChooseDirectory()) return false;
    if (o.recordSize && !Enter(D::kOutputRecordSize, *o.recordSize, "--record-size")) return false;
    if (!o.keys.empty() && !RemoveStartingFields()) return false;
    if (o.keySize && !Enter(D::kOutputKeySize, *o.keySize, "--key-size")) return false;
    for (const KeyFieldText& field : o.keys) {
        if (!AddKeyField(field)) return false;
    }
    if (o.keyPos && (!Enter(D::kOutputKeyPosition, *o.keyPos, "--key-pos") || !KeyFieldsKept())) {
        return false;
    }
    if (o.noKeyPos && !Enter(D::kOutputKeyPosition, "", "--no-key-pos")) return false;
    if (o.from && !Enter(D::kFromKey, *o.from, "--from")) return false;
    if (o.to && !Enter(D::kToKey, *o.to, "--to")) return false;
    if (o.order && !ChooseOrder(*o.order)) return false;
    return Press();
}

void DialogScript::Run(headless::HeadlessHost& view, COrdelinDlg& target) {
    reached = true;
    Act(view, target);
    TakeDown();
}

void DialogScript::TakeDown() {
    OutputDescription output;
    output.file = dialog->outputFileName;
    output.directory = dialog->outputDirectory;
    if (dialog->client != nullptr) {
        output.hostPath = builder::HostPathIn(*dialog->client, output.directory, output.file);
    }
    output.type = dialog->extendedOutput ? 36 : 4;
    output.recordSize = dialog->outputRecordSize;
    output.keySize = dialog->outputKeySize;
    if (dialog->extendedOutput) output.keyPosition = dialog->outputKeyPosition;
    taken.output = output;
    taken.order = host->Checked(D::kUseKeyTree) ? InputOrder::Key : InputOrder::Record;
    taken.summary = dialog->lastBuild;
    taken.wouldBeRefused = wouldBeRefused;
    if (taken.summary.copied && !taken.summary.dryRun && !taken.summary.listFileName.empty()) {
        taken.listFile = platform::ToHostPath(taken.summary.listFileName);
    }
}

void DialogScript::Fill(BatchReport& report) const {
    report.output = taken.output;
    report.order = taken.order;
    report.summary = taken.summary;
    report.listFile = taken.listFile;
    report.wouldBeRefused = taken.wouldBeRefused;
}

}  // namespace batch
