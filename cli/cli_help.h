#pragma once
// Help texts of benchlordctl and its commands.

#include <QString>

QString ToolHelp();
// Help of one command; the tool's help for an unknown name.
QString CommandHelp(const QString& ACommand);
