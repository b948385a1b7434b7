#pragma once
// Command line of the benchlord program.

#include <QString>
#include <QStringList>

struct TAppOptions {
    bool Demo = false;  // start the virtual supply inside the program and connect to it
    bool Help = false;  // print the usage and quit
    QString Error;      // an unknown argument; the usage is printed with it
};

// Parses the arguments after the program name (Qt's own options already removed).
TAppOptions ParseAppOptions(const QStringList& AArgs);

// The text printed for --help.
QString AppUsage();
