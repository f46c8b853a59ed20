// The person at the dialog in a batch run. From the command line's options it does what one would
// do in the window, in the dialog's tab order: types the output name and leaves the edit, drops
// the directory list down and chooses, types the sizes, removes the key fields the dialog starts
// with and adds the new ones (position, length, Add Key Field), types the key position and the
// key bounds, clicks the input order, and presses Build File (or, for a dry run, has the build
// count instead). After every step it looks at what the dialog shows: a message box means the
// dialog refused, and the script stops there. What the dialog would not let a person do (a
// disabled control, a directory the list does not offer, a text longer than an edit takes) is
// refused with a line of the script's own.
#pragma once

#include <optional>
#include <string>

#include "batch/batch_messages.h"
#include "batch/batch_options.h"
#include "batch/batch_report.h"
#include "batch/key_names.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

namespace batch {

class DialogScript {
  public:
    // `options` (its key names resolved) and `log` must outlive the script. `layout`: the record
    // layout of --layout, whose record must fit in the input's records.
    DialogScript(const BatchOptions& given, std::optional<LayoutRecord> layout, BoxLog& boxLog)
        : options(given), layoutRecord(std::move(layout)), log(boxLog) {}

    // Acts on the running dialog until the build or dry run has ended, or until the first
    // refusal; then takes down what the report needs (the output as the dialog describes it, the
    // input order, the build's summary and list file) while the dialog and its client live.
    void Run(headless::HeadlessHost& host, COrdelinDlg& dialog);

    // The dialog accepted its input file and the script ran.
    bool Reached() const { return reached; }
    // The options asked for what the dialog cannot give as asked (key fields that an accepted
    // key position replaces, a layout longer than the input's records): the command line cannot
    // be used, and the script said why.
    bool CommandLineRefused() const { return commandLineRefused; }
    // Fills the report's dialog part: output, order, summary, list file.
    void Fill(BatchReport& report) const;

  private:
    bool Act(headless::HeadlessHost& host, COrdelinDlg& dialog);
    // Types `text` into the edit and leaves it, as Tab would. False when it was refused.
    bool Enter(int id, const std::string& text, const std::string& option);
    bool ChooseDirectory();
    bool RemoveStartingFields();
    bool AddKeyField(const KeyFieldText& field);
    bool ChooseOrder(InputOrder order);
    // After the key position was accepted: the one field it makes is the key fields asked for.
    bool KeyFieldsKept();
    bool Press();
    void TakeDown();
    // Says why the script stops; returns false.
    bool Refuse(const std::string& text);
    // True when no box was shown since `before` boxes (a box here is the dialog's refusal).
    bool NoBoxSince(size_t before) const { return log.Count() == before; }

    const BatchOptions& options;
    std::optional<LayoutRecord> layoutRecord;
    BoxLog& log;
    headless::HeadlessHost* host = nullptr;
    COrdelinDlg* dialog = nullptr;
    bool reached = false;
    bool commandLineRefused = false;
    bool wouldBeRefused = false;
    BatchReport taken;
};

}  // namespace batch
