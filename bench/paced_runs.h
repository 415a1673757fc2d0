#pragma once

#include "bench/upload_support.h"
#include "bench/wire_timing.h"

#include <QString>

// Uploads through the simulator's line that runs at its speed, timed from its wire log.
namespace quillon::bench {

struct PacedRun {
    QString problem; // empty: the program arrived intact
    UploadOnWire wire;
};

// One character's line time at baud,n,8,1.
double characterSeconds(int baud);

// The program's upload (the Upload of transfer/, headless) into the simulator's loader.
PacedRun uploadToLoader(const UploadGround& ground, int baud);
// The same through the simulator's relay, to `rx -c` behind the gate on its far end.
PacedRun uploadToRx(const UploadGround& ground, int baud);
// lrzsz's sx through the same relay to `rx -c`, the reference.
PacedRun sxToRx(const UploadGround& ground, int baud);

} // namespace quillon::bench
