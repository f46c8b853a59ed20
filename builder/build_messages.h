// The build's messages: every text it shows, in one place (shown through its BuildListener).
#pragma once

#include <cstdint>
#include <string>

namespace builder {

std::string OpenFailedText(const std::string& file, const std::string& directory,
                           const std::string& error);
std::string OverwriteText(const std::string& file);
std::string EraseFailedText(const std::string& file, const std::string& error);
std::string CreateFailedText(const std::string& file, const std::string& directory,
                             const std::string& error);
// The closing message: the count written and, when some records were not written, a second
// paragraph that says so (and that the list file names them, when there is one).
std::string RecordsWrittenText(uint32_t written, uint64_t notWritten, bool listFile);
// What a dry run foresees the build's erase or create would refuse, and why.
std::string EraseWouldFailText(const std::string& file, const std::string& reason);
std::string CreateWouldFailText(const std::string& file, const std::string& directory,
                                const std::string& reason);
// A subordinate key definition of the input that the output did not take.
std::string SubordinateKeyFailedText(const std::string& file, int index, const std::string& error);
// The output could not keep what was written to it since its last commit.
std::string OutputIncompleteText(const std::string& file, const std::string& error);
// The copy ended early: a read of the input failed (`written`: what the output holds).
std::string ReadFailedText(const std::string& file, const std::string& directory,
                           const std::string& error, uint32_t written);
// A dry run ended early: a read of the input failed after `read` records.
std::string DryRunReadFailedText(const std::string& file, const std::string& directory,
                                 const std::string& error, uint64_t read);
// The copy ended early: the output ran out of space.
std::string NoSpaceText(const std::string& file, const std::string& error, uint32_t held);
// The copy ended early: a write of the output found too little memory.
std::string NoMemoryText(const std::string& file, const std::string& error, uint32_t held);
// "SIGINT", "SIGTERM", or "signal N".
std::string SignalName(int signal);
// The copy stopped because a stop was asked for; the output keeps what was written.
std::string InterruptedText(const std::string& file, int signal, uint32_t held);
std::string DryRunInterruptedText(int signal, uint64_t read);
// A stop was asked for before the build touched the output.
std::string InterruptedBeforeText(int signal);
// An output name that would leave the chosen directory.
std::string OutputNameText(const std::string& file);
// Whether an output file name names a file in the chosen directory: no \ or /, not . or ..
bool IsPlainFileName(const std::string& file);
// The output's name is held by another build.
std::string OutputBusyText(const std::string& file, const std::string& directory);
std::string OutputLockFailedText(const std::string& file, const std::string& directory,
                                 const std::string& error);
std::string ListFileCreateFailedText(const std::string& name, uint32_t errorCode);
std::string ListFileIncompleteText(const std::string& name, uint32_t errorCode);

}  // namespace builder
