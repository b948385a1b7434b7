#include "link/serial_access.h"

#include <grp.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// "ttyUSB[0-9]*" for ttyUSB0: the rule covers every port of the kind, whatever number it gets.
std::string KernelPattern(const std::string& APath) {
    char* real = ::realpath(APath.c_str(), nullptr);
    std::string name = real ? std::string(real) : APath;
    std::free(real);
    name = name.substr(name.find_last_of('/') + 1);
    size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1])))
        --end;
    if (end == 0) return "ttyUSB[0-9]*";
    return end == name.size() ? name : name.substr(0, end) + "[0-9]*";
}

std::string Octal(mode_t AMode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(AMode & 07777));
    return text;
}

}  // namespace

std::string DeviceGroup(const std::string& APath) {
    struct stat st {};
    if (::stat(APath.c_str(), &st) != 0) return {};
    const group* g = ::getgrgid(st.st_gid);
    return g && g->gr_name ? std::string(g->gr_name) : std::string();
}

std::string SerialAccessAdvice(const std::string& APath, int AErrno,
                               const std::string& ALineBreak) {
    const std::string& br = ALineBreak;
    if (AErrno == EACCES || AErrno == EPERM) {
        struct stat st {};
        const bool known = ::stat(APath.c_str(), &st) == 0;
        const std::string group = known ? DeviceGroup(APath) : "dialout";
        // Joining a group helps only when the node lets its group read and write, and the
        // root group is no group to join for a serial port.
        const bool groupMayUse = !known || (st.st_mode & 0060) == 0060;
        if (!group.empty() && group != "root" && groupMayUse)
            return "Permission denied: " + APath +
                   " may only be opened by members of the group \"" + group + "\"." + br +
                   "Add your user to it with:" + br + "    sudo usermod -aG " + group + " $USER" +
                   br +
                   "then log out and log in again (the new group applies only to a new login).";
        const std::string owner = group.empty() ? std::to_string(st.st_gid) : group;
        return "Permission denied: " + APath + " admits no group (group " + owner + ", mode " +
               Octal(st.st_mode) + "): only its owner may open it." + br +
               "A udev rule gives the group \"dialout\" access: put the line" + br +
               "    SUBSYSTEM==\"tty\", KERNEL==\"" + KernelPattern(APath) +
               "\", GROUP=\"dialout\", MODE=\"0660\"" + br +
               "into /etc/udev/rules.d/50-serial-dialout.rules, run" + br +
               "    sudo udevadm control --reload && sudo udevadm trigger" + br +
               "and replug the adapter; then add your user to the group with" + br +
               "    sudo usermod -aG dialout $USER" + br + "and log out and log in again.";
    }
    if (AErrno == EBUSY)
        return "The port " + APath + " is busy: another program is using it (this is not a " +
               "permission problem)." + br +
               "Close the other program (a terminal, another Benchlord, ModemManager) and " +
               "connect again.";
    return {};
}
