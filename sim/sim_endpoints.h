#pragma once
// Descriptors the virtual supply serves: a loopback TCP listener, a pseudo-terminal pair and a
// tty. All are opened non-blocking; errors come back as text.

#include <cstdint>
#include <string>

// Listening socket on host:port (port 0 picks one); boundPort receives the real port. -1 on error.
int SimOpenListener(const std::string& host, uint16_t port, uint16_t& boundPort,
                    std::string& error);

// A pseudo-terminal in raw mode. The supply keeps the slave side open as well, so that the
// master never sees a hang-up between two clients and the line settings persist.
bool SimOpenPty(uint32_t baud, int& master, int& slave, std::string& path, std::string& error);

// A serial device, exclusive, raw, 8 data bits and one stop bit. -1 on error.
int SimOpenTty(const std::string& device, uint32_t baud, char parity, std::string& error);

// Line settings of a tty: baud, 8 data bits, parity 'N', 'E' or 'O', one stop bit.
bool SimSetLine(int fd, uint32_t baud, char parity);

// Whether baud is a rate the serial driver knows.
bool SimKnownBaud(uint32_t baud);

// Creates the symbolic link, replacing an older link but never a file. False with a reason.
bool SimMakeLink(const std::string& link, const std::string& target, std::string& error);
