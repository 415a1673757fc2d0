#pragma once

#include "core/edition.h"

namespace quillon {

// Everything main() does, for whichever edition it is given.
int runProgram(int argc, char* argv[], const Edition& edition);

} // namespace quillon
