// A request to stop long work, made by the signals with which a person at a terminal or a
// service manager asks a program to end (SIGINT, SIGTERM). The handlers only note which signal
// came; the work looks at the note between its steps and stops where it can leave its files sound.
#pragma once

namespace platform {

// Installs the handlers for SIGINT and SIGTERM. Each notes its signal and restores the default
// action, so that a second signal ends the process at once. Interrupted system calls are
// restarted, so nothing fails because a signal came. Call once, before the work starts.
void CatchStopSignals();

// The signal that asked to stop (SIGINT or SIGTERM), or 0 when none did. Safe to call at any
// time and cheap enough for every step of a loop.
int StopRequested();

// Notes `signal` as a signal would (0 forgets the request): for the work's tests.
void RequestStop(int signal);

}  // namespace platform
