#pragma once

#include "base/exit_code.h"

namespace curvlog {

// One run of the program over its argument vector (element 0 is never examined): the whole
// run sequence from the console control handler's registration to the common exit.
ExitCode run(int argument_count, char* const arguments[]);

}  // namespace curvlog
