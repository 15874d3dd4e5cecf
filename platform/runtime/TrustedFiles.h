// Which files the runtime may act on: the registry file, and the libraries it names and loads.
// Whoever can change such a file can make this process (perhaps root) run their code, so the
// runtime trusts a file as sshd's StrictModes trusts a user's keys: the file and every
// directory above it belong to root or to this process's user, and neither its group nor
// others may write to them. A directory with the sticky bit (such as /tmp) is exempt from the
// write rule, since there no one can remove or rename another's file. The path is walked name
// by name from the root, as the kernel walks it: a symbolic link on the way must belong to root
// or this user too, and its target is judged from where it leads, so every directory that
// could redirect the path is judged, not only those of the file it reaches now.
#pragma once

#include <string>

namespace platform {

// True when path is trusted. A path that does not exist yet (a registry about to be created)
// is judged by the directories that do. Otherwise false, and *why names the file or directory
// at fault and the reason, e.g. "/srv/build is writable by its group (mode 0775)".
bool IsTrustedPath(const std::string& path, std::string* why);

// The same for a library about to be loaded. A bare file name is the loader's to find in the
// system's directories, and trusted as they are.
bool IsTrustedLibrary(const std::string& path, std::string* why);

}  // namespace platform
