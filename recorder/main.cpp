// recorder [device]: records the modems' session data into session.rec.1 and
// session.rec.2 while they are active.
#include "recorder/recorder.h"

int main(int argc, char **argv) { return run_recorder(argc, argv); }
