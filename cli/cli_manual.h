#pragma once
// The whole manual of benchlordctl as one text (--help-all), laid out for help2man: the tool's
// help, a section per command with each usage line as a paragraph of its own, and the exit
// codes as the manual's exit status section.

#include <QString>

QString ManualHelp();
