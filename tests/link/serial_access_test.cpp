// Advice for a serial port that would not open: the owning group and the commands to join it for
// a permission error, "busy" (not "forbidden") for a port another program holds.

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryFile>
#include <cerrno>

#include "link/serial_access.h"

TEST(SerialAccess, PermissionAdviceNamesTheOwningGroupAndTheCommandsAndBusyIsNotForbidden) {
    QTemporaryFile node;
    ASSERT_TRUE(node.open());
    const std::string path = node.fileName().toStdString();
    const group* own = getgrgid(getegid());
    ASSERT_NE(own, nullptr);
    const std::string name = own->gr_name;
    EXPECT_EQ(DeviceGroup(path), name);

    const std::string denied = SerialAccessAdvice(path, EACCES, "|");
    EXPECT_NE(denied.find("Permission denied: " + path), std::string::npos) << denied;
    EXPECT_NE(denied.find("group \"" + name + "\""), std::string::npos) << denied;
    EXPECT_NE(denied.find("|    sudo usermod -aG " + name + " $USER|"), std::string::npos);
    EXPECT_NE(denied.find("log out and log in again"), std::string::npos);
    // A node whose group cannot be read: the usual group.
    EXPECT_NE(SerialAccessAdvice("/nonexistent/ttyUSB9", EACCES).find("usermod -aG dialout"),
              std::string::npos);

    const std::string busy = SerialAccessAdvice(path, EBUSY);
    EXPECT_NE(busy.find("is busy"), std::string::npos) << busy;
    EXPECT_NE(busy.find("not a permission problem"), std::string::npos);
    EXPECT_EQ(busy.find("usermod"), std::string::npos);

    EXPECT_EQ(SerialAccessAdvice(path, ENOENT), "");
}
