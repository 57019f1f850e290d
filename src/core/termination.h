// Termination requests (SIGTERM, SIGINT) as the signal handler records them, for waits that
// must not outlast a request: a long host call polls these between checks for its answer.
#pragma once
#include <cstdint>

// Called from the signal handler: async-signal-safe (lock-free atomics only).
void NoteTerminationSignal(int sig) noexcept;

// How many termination signals arrived since the process started; a wait compares the count
// it saw when it began with the current one.
uint32_t TerminationSignals() noexcept;

// "SIGTERM", "SIGINT", ...: the last termination signal, for messages.
const char* LastTerminationSignalName() noexcept;
