#include "cli/cli_help.h"

QString ToolHelp() {
    return QStringLiteral(
        "Usage: benchlordctl [--port NAME | --tcp HOST[:PORT]] [--baud N] [--addr N] [--json]\n"
        "                    [--keep-lock] COMMAND [ARGS]\n"
        "\n"
        "Controls a DPS-family bench power supply over Modbus RTU (serial) or Modbus TCP.\n"
        "\n"
        "Commands:\n"
        "  ports                 list the ports (\"TCP\" first)\n"
        "  info                  model, firmware and limits of the supply\n"
        "  read                  one live reading\n"
        "  set                   change the set voltage and/or current\n"
        "  on, off               switch the output\n"
        "  watch                 stream readings, optionally into a CSV file\n"
        "  preset                list, show, select or save presets M0-M9 and profiles C0-C9\n"
        "  sequence              show the autotest table, or run it (or a CSV step file)\n"
        "  flash FILE            write a firmware image through the STM32 boot loader\n"
        "  calibration           the supply's seven calibration values (read only)\n"
        "  serve-scpi            a SCPI server on TCP port 5025 for lab scripts\n"
        "\n"
        "Options:\n"
        "  --port NAME           serial port: ShortName from 'ports' or a device path\n"
        "  --tcp HOST[:PORT]     Modbus TCP bridge (port 502 when not given)\n"
        "  --baud N              serial baud rate (9600): 2400 ... 115200\n"
        "  --addr N              Modbus slave address 1-127 (1)\n"
        "  --json                print results as JSON\n"
        "  --keep-lock           leave the keys locked on exit (commands that lock)\n"
        "  --help                this help; 'benchlordctl COMMAND --help' for a command\n"
        "  --help-all            this help and that of every command\n"
        "  --version             print the program version and licence\n"
        "\n"
        "Words in capitals stand for values:\n"
        "  LINK                  the supply's link: --port NAME [--baud N] or --tcp HOST[:PORT],\n"
        "                        either with [--addr N]\n"
        "  NAME                  a port's ShortName as 'ports' lists it (ttyUSB0) or a path\n"
        "  HOST, ADDRESS, PORT   IPv4 address or host name, and TCP port number\n"
        "  N                     a whole number (a count, an address, a preset number)\n"
        "  V, A, W               volts, amperes, watts (a decimal point is allowed)\n"
        "  S                     seconds\n"
        "  H:MM                  hours and minutes\n"
        "  FILE                  a file name\n"
        "  COMMAND, ARGS         one of the commands above and its arguments\n"
        "A command's help defines the other words it uses.\n"
        "\n"
        "Key lock: set, on, off, preset select and save, sequence run, flash and serve-scpi\n"
        "lock the supply's keys when they are free and release them at the end. Keys that\n"
        "another program locked stay locked. ports, info, read, watch, calibration, preset\n"
        "list and show, and sequence show only read: they neither lock nor release the keys,\n"
        "so they can run beside a program that holds the supply over a TCP bridge.\n"
        "\n"
        "Exit codes:\n"
        "  0                     done\n"
        "  2                     usage error or a value out of range (nothing is written)\n"
        "  3                     cannot connect, or the connection was lost\n"
        "  4                     the device refused a request\n"
        "  5                     a boot loader step failed (flash)\n"
        "  6                     local I/O error: a file or standard output could not be\n"
        "                        written, or the serve-scpi address cannot be taken\n"
        "  130                   interrupted\n");
}

QString CommandHelp(const QString& ACommand) {
    if (ACommand == "ports")
        return QStringLiteral(
            "Usage: benchlordctl [--json] ports\n"
            "\n"
            "Lists the ports as the window offers them, the \"TCP\" entry first: the ShortName,\n"
            "a tab and the friendly name. With --json an array of {\"short\", \"friendly\"}.\n");
    if (ACommand == "info")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] info\n"
            "\n"
            "Connects, identifies the supply and prints its model, firmware version and class,\n"
            "name prefix, window title and limits (volts, amperes, watts). JSON keys: model,\n"
            "version, class, prefix, title, max_voltage, max_current, max_power.\n");
    if (ACommand == "read")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] read\n"
            "\n"
            "Prints one live reading: set and output voltage and current, power, input voltage,\n"
            "CV/CC, protection, output state, key lock, temperature (when the unit has one) and\n"
            "the device's time, charge and energy counters (when it keeps them). JSON keys: uset,\n"
            "iset, uout, iout, power, uin, mode, protect, output, lock, temperature, time_s,\n"
            "charge_ah, energy_wh (null where the unit has no such value).\n");
    if (ACommand == "set")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] set [--voltage V] [--current A]\n"
            "\n"
            "Checks the values against the model's limits (exit 2 and nothing is written when one\n"
            "is out of range), writes them, reads them back and prints the new set values.\n"
            "Values are rounded to the model's resolution.\n");
    if (ACommand == "on" || ACommand == "off")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] on\n"
            "       benchlordctl LINK [--json] off\n"
            "\n"
            "Switches the output and confirms the new state from the device's next reading\n"
            "(exit 4 when the output did not follow, e.g. after a protection trip).\n");
    if (ACommand == "watch")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] watch [--interval S] [--count N] [--csv FILE]\n"
            "\n"
            "Reads the supply once every S seconds (1; at most as fast as the link allows) and\n"
            "prints a row per reading until N rows are written or the program is interrupted\n"
            "(Ctrl-C ends it cleanly with exit 0). Rows go to standard output as CSV (JSON lines\n"
            "with --json) and, with --csv, to FILE; each row is flushed at once; FILE is emptied\n"
            "only once the session runs. A row that cannot be written ends the command with\n"
            "exit 6. watch only reads: it neither locks nor releases the keys and goes on when\n"
            "they are released at the supply. CSV header (the names of 'read --json'; time in\n"
            "ISO 8601 with milliseconds and the UTC offset):\n"
            "time,uset,iset,uout,iout,power,uin,mode,protect,output\n");
    if (ACommand == "flash")
        return QStringLiteral(
            "Usage: benchlordctl --port NAME flash FILE [--no-verify] [--no-jump]\n"
            "\n"
            "Updates the supply's firmware over its serial line: connects and identifies the\n"
            "supply, asks the firmware to jump into the STM32 boot loader, then reopens the port\n"
            "at 38400 baud, even parity, erases the chip, writes FILE (a raw binary image) from\n"
            "0x08000000, reads it back and compares it (not with --no-verify) and starts it. Each\n"
            "step is printed as a line; a progress bar goes to standard error on a terminal.\n"
            "--no-jump skips the Modbus part for a supply that already waits in its boot loader.\n"
            "An update that fails or is interrupted prints what the chip holds now and the\n"
            "command that finishes it (with --no-jump); the retry wakes a boot loader left active.\n"
            "Not over --tcp or a Bluetooth port, not for KORAD units. Exit codes: 0 written (and\n"
            "verified) and started; 2 the file is missing, unreadable, empty or larger than the\n"
            "chip's flash (nothing written), or the link or unit is refused; 3 the port or the\n"
            "link failed; 5 a boot loader step failed (the message names it); 130 interrupted.\n");
    if (ACommand == "calibration")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] calibration\n"
            "\n"
            "Reads the supply's calibration block and prints the reference values of its seven\n"
            "points, to record them before and after a calibration: input voltage low and high,\n"
            "output voltage low and high (volts, three decimals), output current low and high\n"
            "(amperes, three decimals, four on 0.001 A models) and the high temperature point\n"
            "(Celsius). Nothing is written. JSON keys: uin_low, uin_high, uout_low, uout_high,\n"
            "iout_low, iout_high, temp_high. Stock firmware and KORAD units offer none (exit "
            "2).\n");
    if (ACommand == "preset")
        return QStringLiteral(
            "Usage: benchlordctl LINK [--json] preset list\n"
            "       benchlordctl LINK [--json] preset show N\n"
            "       benchlordctl LINK [--json] preset select N\n"
            "       benchlordctl LINK [--json] preset save N [--voltage V] [--current A]\n"
            "                        [--ovp V] [--ocp A] [--opp W] [--timer H:MM]\n"
            "\n"
            "N is 0-9 for the presets M0-M9 and 10-19 for the charge profiles C0-C9 (the names\n"
            "M3 or C2 work as well). 'list' shows the presets the unit offers, 'show' one block,\n"
            "'select' makes a preset the live setting, 'save' changes the given values of a\n"
            "block (the others keep what the supply holds) and stores it.\n");
    if (ACommand == "sequence")
        return QStringLiteral(
            "Usage: benchlordctl [LINK] [--json] sequence show\n"
            "       benchlordctl LINK [--json] sequence run [FILE] [--log FILE]\n"
            "                        [--format txt|csv|xlsx] [--log-every S | --log-on-change "
            "V,I]\n"
            "\n"
            "'show' prints the table saved by the Auto Test window as a step file that 'run\n"
            "FILE' runs as it is (volts, amperes, seconds); the current unit is the model's, so\n"
            "give the LINK unless the window last used the supply on a serial port. A saved\n"
            "table that fails its check is neither shown nor run (exit 2). 'run' steps the\n"
            "supply through the saved table, or through FILE, a CSV of\n"
            "voltage,current,seconds[,enabled] lines (volts, amperes, 1-86400 s; a heading line\n"
            "and '#' comments allowed; at most 17 steps). Each step is printed as it starts.\n"
            "The log has a record at the start, then one every S seconds (--log-every), or one\n"
            "whenever a set point changes or the output voltage or current moves by more than\n"
            "V or I percent of the set value (--log-on-change; 0 any change, - never); without\n"
            "either the window's logging settings apply. --log writes it to FILE as it grows:\n"
            "the window's text format (txt, default), CSV (the columns of 'watch'), or an .xlsx\n"
            "workbook written at the end; without --format the file's extension decides. FILE\n"
            "is only emptied once the run starts. The output is switched off at the end, on\n"
            "Ctrl-C, on a closed standard output, on a lost link and when the log cannot be\n"
            "written.\n"
            "Exit codes: 0 the table ran to its end, 2 bad table (line number given; nothing\n"
            "is sent) or a value outside the model's limits, 3 link lost, 4 the output went off\n"
            "before the end (e.g. a protection trip), 6 the log cannot be written, 130\n"
            "interrupted.\n");
    if (ACommand == "serve-scpi")
        return QStringLiteral(
            "Usage: benchlordctl LINK serve-scpi [--listen ADDRESS[:PORT]] [--off-on-exit]\n"
            "                                     [--idle-timeout S]\n"
            "\n"
            "Holds one session with the supply and serves SCPI commands over TCP, on\n"
            "127.0.0.1:5025 unless --listen names another address (port 0: any free port), to\n"
            "one client at a time; a client that comes meanwhile waits up to 2 s for the place,\n"
            "then gets an error line. --idle-timeout S closes a client that sends nothing for S\n"
            "seconds. Lines end with a newline, ';' chains commands, ',' separates parameters,\n"
            "headers are case-insensitive in short or long form. Commands: *IDN?, *RST, *CLS,\n"
            "*ESE N, *ESE?, *ESR?, *SRE N, *SRE?, *STB?, *OPC, *OPC?, *WAI, *TST?, *RCL N and\n"
            "MEM:RCL N (select preset MN, N 0-9), [SOUR:]VOLT V|MIN|MAX, VOLT? [MIN|MAX],\n"
            "[SOUR:]CURR A|MIN|MAX, CURR? [MIN|MAX], APPL V[,A], APPL?, OUTP ON|OFF, OUTP?,\n"
            "MEAS:VOLT?, MEAS:CURR?, MEAS:POW?, MEAS:ALL?, VOLT:PROT V|MIN|MAX and CURR:PROT\n"
            "A|MIN|MAX (the OVP and OCP levels of the selected preset), VOLT:PROT?, CURR:PROT?,\n"
            "VOLT:PROT:TRIP?, CURR:PROT:TRIP?, OUTP:PROT:CLE (switches the output on again\n"
            "after a trip), STAT:OPER[:EVEN]?, STAT:OPER:COND?, STAT:OPER:ENAB N (256 constant\n"
            "voltage, 1024 constant current), STAT:QUES[:EVEN]?, STAT:QUES:COND?,\n"
            "STAT:QUES:ENAB N (1 OVP, 2 OCP, 4 OPP, 8 over-heat tripped, 16 constant current),\n"
            "STAT:PRES, SYST:ERR?, SYST:VERS?, SYST:LOCK ON|OFF, SYST:LOCK?, SYST:REM, SYST:LOC.\n"
            "Each command is carried out before the next one starts; a query about the\n"
            "supply's state answers from a reading requested after it arrived. A value outside\n"
            "the model's limits is refused (-222) and nothing is written; an error drops the\n"
            "rest of its line; SYST:ERR? reads the error queue (standard SCPI numbers). While\n"
            "the link is lost every query about the supply answers with a -300 error and the\n"
            "bridge reconnects. SYST:LOCK OFF gives the keys back to the front panel (no\n"
            "readings) until SYST:LOCK ON. Ctrl-C or SIGTERM ends it: the keys it locked are\n"
            "released and the output is left as it is, unless --off-on-exit switches it off\n"
            "first (also after SYST:LOCK OFF or a lost link).\n"
            "Exit codes: 0 ended by a signal, 3 cannot connect (or the output could not be\n"
            "switched off at the end), 6 the address cannot be taken.\n");
    return ToolHelp();
}
