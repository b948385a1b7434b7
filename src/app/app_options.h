#pragma once
// Command line of the benchlord program.

#include <QString>
#include <QStringList>

inline constexpr int kMaxDemoSupplies = 4;

struct TAppOptions {
    bool Demo = false;     // start the virtual supply inside the program and connect to it
    int DemoSupplies = 1;  // --demo N: that many virtual supplies of different models, as a bench
    QString BenchFile;     // --bench FILE: the bench window on the supplies of the bench file
    bool Help = false;     // print the usage and quit
    bool Version = false;  // print the version and licence and quit
    QString Error;         // an unknown argument; the usage is printed with it
};

// Parses the arguments after the program name, before the application object exists (so that
// the answer needs no display). The toolkit's own options (-platform NAME, -style NAME, ...) are
// passed over; the application object takes them later.
TAppOptions ParseAppOptions(const QStringList& AArgs);

// The text printed for --help.
QString AppUsage();
