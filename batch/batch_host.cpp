#include "batch/batch_host.h"

#include "builder/build_messages.h"

namespace batch {

int BatchHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    log.Announce(caption, text, flags);
    int answer = platform::CautiousAnswer(flags);
    if (answer == platform::IDNO && overwrite && watched != nullptr &&
        text == builder::OverwriteText(watched->outputFileName)) {
        answer = platform::IDYES;
    }
    QueueAnswer(answer);
    return HeadlessHost::MessageBox(text, caption, flags);
}

void BatchHost::Show(int id, bool show) {
    HeadlessHost::Show(id, show);
    if (id == COrdelinDlg::kProgress && !show && progress != nullptr) progress->End();
}

void BatchHost::ProgressSetRange(int id, int lower, int upper) {
    HeadlessHost::ProgressSetRange(id, lower, upper);
    if (id == COrdelinDlg::kProgress && progress != nullptr) progress->Start(upper - lower);
}

void BatchHost::ProgressSetPosition(int id, int position) {
    HeadlessHost::ProgressSetPosition(id, position);
    if (id == COrdelinDlg::kProgress && progress != nullptr && watched != nullptr) {
        progress->Move(ProgressPosition(id) - ProgressRange(id).first,
                       watched->lastBuild.recordsRead);
    }
}

}  // namespace batch
