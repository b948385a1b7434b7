#pragma once
// Command line and console of benchlord-sim: parsing the start options, and the commands read on
// standard input that change the running supply.

#include <string>
#include <vector>

#include "sim/virtual_supply.h"

struct SimCommandLine {
    VirtualSupplyOptions options;
    bool exitOnEof = false;
    bool verbose = false;
    bool help = false;
    bool version = false;  // --version without a value
};

// Parses argv (without the program name). False with a message in error.
bool SimParseArgs(const std::vector<std::string>& args, SimCommandLine& out, std::string& error);
std::string SimUsage();

struct SimCommandResult {
    std::string text;  // answer for the user, lines ending in '\n'
    bool quit = false;
};

// Runs one console line ("trip ovp", "load 4.7", ...) against the supply.
SimCommandResult SimRunCommand(VirtualSupply& sup, const std::string& line);
std::string SimCommandHelp();

// Protection code of a name ("ovp", "OCP", "5"); -1 when unknown.
int SimProtectionCode(const std::string& name);
