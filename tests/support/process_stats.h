#pragma once

namespace quillon::test {

// CPU time this process has used so far, user and system, in seconds.
double cpuSeconds();

} // namespace quillon::test
