// Windows device names in file names. On Windows a path component such as
// "NUL", "nul.log", "Aux.txt", "COM1" or "lpt9 . x" names a device, never a
// file, in any folder: data written there goes to the device (or nowhere).
#pragma once

// True when any component of path (split at '/' and '\') is a reserved
// device name: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to
// LPT9 (the digits ¹, ² and ³ too, in Windows-1252 or UTF-8), in any case,
// alone or followed by an extension, by a colon or by trailing dots and
// blanks. Portable: the same answer on every host.
bool path_names_windows_device(const char *path);
