// The view a batch run gives the dialog: the headless host, whose message boxes are announced on
// standard error as they are shown and answered as the person at the dialog would (the question
// whether to overwrite the output gets Yes only when the command line says so), and whose
// progress bar drives the progress line.
#pragma once

#include "batch/batch_messages.h"
#include "batch/progress_line.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

namespace batch {

class BatchHost : public headless::HeadlessHost {
  public:
    // `progress` may be null (no progress line). `overwrite`: answer Yes to the overwrite
    // question about the dialog's output file.
    BatchHost(BoxLog& boxLog, ProgressLine* progressLine, bool answerOverwrite)
        : log(boxLog), progress(progressLine), overwrite(answerOverwrite) {}

    // The dialog whose boxes and bar this host shows (its output name, its records read).
    void Watch(const COrdelinDlg& target) { watched = &target; }

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void Show(int id, bool show) override;
    void ProgressSetRange(int id, int lower, int upper) override;
    void ProgressSetPosition(int id, int position) override;

  private:
    BoxLog& log;
    ProgressLine* progress;
    bool overwrite;
    const COrdelinDlg* watched = nullptr;
};

}  // namespace batch
