// Advice for a serial port that would not open, built from real files of each kind: a group to
// join only when the node lets a group other than root read and write it, else a udev rule for
// "dialout"; and "busy" (not "forbidden") for a port another program holds.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cerrno>

#include "link/serial_access.h"

namespace {

// A file in ADir with the group and mode given; empty when the group cannot be set here.
std::string Node(const QTemporaryDir& ADir, const char* AName, gid_t AGroup, mode_t AMode) {
    const std::string path = ADir.filePath(AName).toStdString();
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return {};
    std::fclose(f);
    if (::chown(path.c_str(), static_cast<uid_t>(-1), AGroup) != 0) return {};
    if (::chmod(path.c_str(), AMode) != 0) return {};
    return path;
}

}  // namespace

TEST(SerialAccess, PermissionAdviceNamesAGroupOnlyWhenItCanHelp) {
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no dialout group here";
    QTemporaryDir dir;
    const std::string rootOnly = Node(dir, "ttyUSB0", 0, 0600);
    const std::string rootGroup = Node(dir, "ttyACM3", 0, 0660);
    const std::string shared = Node(dir, "ttyS1", dialout->gr_gid, 0660);
    const std::string ownerOnly = Node(dir, "rfcomm0", dialout->gr_gid, 0600);
    if (rootOnly.empty() || rootGroup.empty() || shared.empty() || ownerOnly.empty())
        GTEST_SKIP() << "cannot set the group of a file here";

    const std::string join = SerialAccessAdvice(shared, EACCES, "|");
    EXPECT_EQ(join, "Permission denied: " + shared +
                        " may only be opened by members of the group \"dialout\".|Add your user to "
                        "it with:|    sudo usermod -aG dialout $USER|then log out and log in "
                        "again (the new group applies only to a new login).");

    const std::string udev = SerialAccessAdvice(rootOnly, EACCES, "|");
    EXPECT_EQ(
        udev.rfind("Permission denied: " + rootOnly +
                       " admits no group (group root, mode 0600): only its owner may open it.|",
                   0),
        0u)
        << udev;
    EXPECT_NE(udev.find("|    SUBSYSTEM==\"tty\", KERNEL==\"ttyUSB[0-9]*\", GROUP=\"dialout\", "
                        "MODE=\"0660\"|into /etc/udev/rules.d/50-serial-dialout.rules, run|"),
              std::string::npos)
        << udev;
    EXPECT_NE(udev.find("|    sudo usermod -aG dialout $USER|"), std::string::npos) << udev;
    // Never the root group, and never a group the mode shuts out.
    for (const std::string& path : {rootOnly, rootGroup, ownerOnly}) {
        const std::string text = SerialAccessAdvice(path, EPERM);
        EXPECT_EQ(text.find("-aG root"), std::string::npos) << text;
        EXPECT_NE(text.find("admits no group"), std::string::npos) << text;
    }
    EXPECT_NE(SerialAccessAdvice(ownerOnly, EACCES).find("KERNEL==\"rfcomm[0-9]*\""),
              std::string::npos);

    const std::string busy = SerialAccessAdvice(shared, EBUSY);
    EXPECT_NE(busy.find("is busy"), std::string::npos) << busy;
    EXPECT_NE(busy.find("not a permission problem"), std::string::npos);
    EXPECT_EQ(busy.find("usermod"), std::string::npos);
    EXPECT_EQ(SerialAccessAdvice(shared, ENOENT), "");
}
