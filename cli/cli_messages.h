#pragma once
// English texts of link and device failures for the command line. The window shows the system's
// own texts; the command line names the failure in English and adds the system's text in brackets
// where there is one:
//   device exception 2: illegal data address (Некорректный адрес.)

#include <QString>
#include <cstdint>

// A master's completion code (exception code, processing error or transport failure).
QString ResultText(int32_t ACode);
// Its English part alone, without the system's text (which may be in another language).
QString ResultEnglish(int32_t ACode);

// AEnglish, then ASystem on the same line in brackets (line breaks become spaces); AEnglish alone
// when ASystem is empty.
QString WithSystemText(const QString& AEnglish, const QString& ASystem);

// Whether APath names something that exists but is no terminal (a regular file, a directory,
// /dev/null): such a path is "not a serial port".
bool ExistsButIsNoTerminal(const QString& APath);
