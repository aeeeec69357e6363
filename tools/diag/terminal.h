// The person at the terminal: whether standard input and standard error are
// terminals, the confirmation question and the progress line.
#pragma once

#include "session.h"

namespace lumbrel::diag {

// The session's confirmation and progress for this process: a question
// only when standard input is a terminal, progress only when standard
// error is one.
SessionOptions TerminalOptions(bool realtime);

}  // namespace lumbrel::diag
