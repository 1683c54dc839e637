// A test hook of the Win32 file operations.
#pragma once

// A file made by platform_create_file is not shared: no one else can open
// it, not even to read it, while it is being written. Tests that look into a
// capture file that is still running turn this on; the file is then shared
// for reading only, and still cannot be created anew, written, deleted or
// renamed while it is open. The programs never call it.
void win32_files_share_reading(bool share);
