#include "link/serial_access.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>

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
        const std::string group = DeviceGroup(APath);
        const std::string name = group.empty() ? "dialout" : group;
        return "Permission denied: " + APath + " may only be opened by members of the group \"" +
               name + "\"." + br + "Add your user to it with:" + br + "    sudo usermod -aG " +
               name + " $USER" + br +
               "then log out and log in again (the new group applies only to a new login).";
    }
    if (AErrno == EBUSY)
        return "The port " + APath + " is busy: another program is using it (this is not a " +
               "permission problem)." + br +
               "Close the other program (a terminal, another Benchlord, ModemManager) and " +
               "connect again.";
    return {};
}
