// Where the simulated driver's world lives on a POSIX host: one runtime
// directory holding the device sockets and the registry.
//
//   $TARVEL_SIM_DIR               (default $XDG_RUNTIME_DIR/tarvel-sim when
//                                  XDG_RUNTIME_DIR is set, else
//                                  /tmp/tarvel-sim-<uid>), mode 0700
//   $TARVEL_SIM_DIR/<NAME>        Unix socket of device \\.\NAME, mode 0600
//   $TARVEL_SIM_DIR/locks/<NAME>  capture lock file of device \\.\NAME (0600):
//                                  whoever holds its flock reads the
//                                  device's capture data
//   $TARVEL_SIM_DIR/registry/     the registry: a key is a directory (path
//                                  components split at backslashes, 0700), a
//                                  value is a file holding its raw bytes (0600)
//
// The registry is only ever reached from the runtime directory downwards,
// one openat(O_NOFOLLOW) per component, after the runtime directory has been
// checked through the very descriptor that is used: a key directory or value
// file that someone replaced by a symbolic link is never followed.
#pragma once

#include <cstddef>
#include <cstdint>

// The runtime directory's path. False when it does not fit size bytes.
bool sim_world_dir(char *path, size_t size);
// Creates the runtime directory and its registry directory (0700) when they
// are missing. Refuses (EPERM) a directory that is not ours or that the
// group or others can write, and leaves it as it is.
bool sim_world_prepare();
// True when the runtime directory exists, is ours and is closed to others;
// a program connects only to a device socket in such a directory, and
// touches the registry only below it.
bool sim_world_trusted();
// A descriptor of a registry key's directory (O_DIRECTORY), reached without
// following any link from a trusted runtime directory; with create, missing
// directories are made (0700). -1 with the last error set when it cannot be.
int sim_world_open_key(const char *key_path, bool create);
// The socket path of a device name (without \\.\). False for a name that is
// empty, ".", "..", contains '/', or would not fit a socket address.
bool sim_world_socket_path(const char *device_name, char *path, size_t size);
// The directory of a registry key. False for an empty component, ".", "..",
// a '/' in a component, or a path that does not fit.
bool sim_world_key_dir(const char *key_path, char *path, size_t size);
// Creates a key's directory and its parents (0700).
bool sim_world_create_key(const char *key_path);
// Writes a value atomically (temporary file, then rename), 0600.
bool sim_world_write_value(const char *key_path, const char *value_name,
                           const void *data, uint32_t size);
// An open descriptor (read-write) of the capture lock file of a device name
// (without \\.\), made when missing, reached without following any link
// from a trusted runtime directory that exists. -1 with the last error set.
int sim_world_open_lock(const char *device_name);
bool sim_world_remove_value(const char *key_path, const char *value_name);
