#pragma once
// What to tell a user whose serial port would not open for want of access: the group that owns
// the device node and how to join it when that group may read and write it (and is not root),
// else a udev rule that gives the "dialout" group access; or that the port is busy with another
// program.

#include <string>

// The advice for an open that failed with AErrno on the device APath, lines separated by
// ALineBreak; empty when the error is neither a permission (EACCES, EPERM) nor a busy port
// (EBUSY, or the exclusive lock held elsewhere).
std::string SerialAccessAdvice(const std::string& APath, int AErrno,
                               const std::string& ALineBreak = "\n");

// The name of the group that owns the file at APath; empty when it cannot be read.
std::string DeviceGroup(const std::string& APath);
