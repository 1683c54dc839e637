// The monitor's window (Qt Widgets): `LineWatch [options] [device]`.
#pragma once

// Runs the window until it is closed; returns the exit status.
int run_window(int argc, char **argv);
