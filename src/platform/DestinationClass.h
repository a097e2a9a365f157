#pragma once

namespace sarvoli::platform {

// What kind of device a run copies to; it decides how many copies are in flight at once and
// which calls are worth trying there.
//   Memory     tmpfs, a RAM drive: every call is answered by a core.
//   LocalDisk  a fixed disk: as memory, and the disk's own queue.
//   Removable  a memory stick or card: each copy waits on a slow device.
//   Fuse       a file system in user space (sshfs, rclone...): each call is a round trip to its
//              program, and calls of one folder wait on each other in the kernel.
//   Network    NFS, SMB, 9P...: each call is a round trip to the server.
enum class DestinationClass { Memory, LocalDisk, Removable, Fuse, Network };

// Whether each copy there waits on something slower than a core, so that several copies in
// flight overlap their waits.
inline bool waitsOnDevice(DestinationClass c)
{
    return c == DestinationClass::Removable || c == DestinationClass::Fuse || c == DestinationClass::Network;
}

}  // namespace sarvoli::platform
