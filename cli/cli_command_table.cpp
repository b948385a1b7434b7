#include "cli/cli_options.h"

#include "cli/cli_bench_args.h"
#include "cli/cli_command_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_plan_args.h"
#include "cli/cli_sequence_args.h"
#include "cli/cli_sweep_args.h"

namespace {

std::unique_ptr<TCliCommand> MakeOnCommand(TCliContext& AContext) {
    return MakeSwitchCommand(AContext, true);
}

std::unique_ptr<TCliCommand> MakeOffCommand(TCliContext& AContext) {
    return MakeSwitchCommand(AContext, false);
}

std::vector<TCommandDecl> MakeCommands() {
    return {
        {.Name = "ports",
         .Listed = "ports",
         .Summary = "list the ports (\"TCP\" first)",
         .Usages = {{"[--json] ports", ""}},
         .Text =
             "Lists the ports as the window offers them, the \"TCP\" entry first: the ShortName,\n"
             "a tab and the friendly name. With --json an array of {\"short\", \"friendly\"}.\n",
         .NeedsLink = false},
        {.Name = "info",
         .Listed = "info",
         .Summary = "model, firmware and limits of the supply",
         .Usages = {{"LINK [--json] info", ""}},
         .Text = "Connects, identifies the supply and prints its model, firmware version and\n"
                 "class, name prefix, window title and limits (volts, amperes, watts). JSON keys:\n"
                 "model, version, class, prefix, title, max_voltage, max_current, max_power.\n",
         .Make = MakeInfoCommand},
        {.Name = "read",
         .Listed = "read",
         .Summary = "one live reading",
         .Usages = {{"LINK [--json] read", ""}},
         .Text =
             "Prints one live reading: set and output voltage and current, power, input\n"
             "voltage, CV/CC, protection, output state, key lock, temperature (when the unit\n"
             "has one) and the device's time, charge and energy counters (when it keeps them).\n"
             "JSON keys: uset, iset, uout, iout, power, uin, mode, protect, output, lock,\n"
             "temperature, time_s, charge_ah, energy_wh (null where the unit has no such\n"
             "value).\n",
         .Make = MakeReadCommand},
        {.Name = "set",
         .Listed = "set",
         .Summary = "change the set voltage and/or current",
         .Usages = {{"LINK [--json] set", ""}},
         .Text =
             "Checks the values against the model's limits (exit 2 and nothing is written when\n"
             "one is out of range), writes them, reads them back and prints the new set\n"
             "values. Values are rounded to the model's resolution.\n",
         .Options = TSetOptions{},
         .Check = CheckSetRequest,
         .Make = MakeSetCommand},
        {.Name = "on",
         .Listed = "on, off",
         .Summary = "switch the output",
         .Usages = {{"LINK [--json] on", ""}, {"LINK [--json] off", ""}},
         .Text = "Switches the output and confirms the new state from the device's next reading\n"
                 "(exit 4 when the output did not follow, e.g. after a protection trip).\n",
         .Make = MakeOnCommand},
        {.Name = "off", .Listed = "", .Make = MakeOffCommand},
        {.Name = "watch",
         .Listed = "watch",
         .Summary = "stream readings, optionally into a CSV file",
         .Usages = {{"LINK [--json] watch", ""}},
         .Text =
             "Reads the supply once every S seconds (1; at most as fast as the link allows)\n"
             "and prints a row per reading until N rows are written or the program is\n"
             "interrupted (Ctrl-C ends it cleanly with exit 0). Rows go to standard output as\n"
             "CSV (JSON lines with --json) and, with --csv, to FILE; each row is flushed at\n"
             "once; FILE is emptied only once the session runs. A row that cannot be written\n"
             "ends the command with exit 6. watch only reads: it neither locks nor releases\n"
             "the keys and goes on when they are released at the supply. CSV header (the names\n"
             "of 'read --json'; time in ISO 8601 with milliseconds and the UTC offset):\n"
             "  time,uset,iset,uout,iout,power,uin,mode,protect,output\n"
             "--stats adds the link figures of 'stats' to each JSON row; in CSV mode they go\n"
             "to standard error as a summary line every S seconds (10). With --stats an\n"
             "exception reply is counted instead of ending the command. --metrics\n"
             "ADDRESS:PORT serves /metrics for Prometheus (see serve-mqtt).\n",
         .Options = TWatchOptions{},
         .Check = CheckWatchRequest,
         .Make = MakeWatchCommand},
        {.Name = "stats",
         .Listed = "stats",
         .Summary = "poll for N seconds and print the link's health figures",
         .Usages = {{"LINK [--json] stats", ""}},
         .Text = "Polls the supply as fast as the link allows for N seconds (10; 1-86400) and\n"
                 "prints the link's health: requests per second and the round trip's median and\n"
                 "99th percentile over the last minute (the exchange alone, from the request\n"
                 "written to the reply read), then since the connect: requests, good replies,\n"
                 "time-outs, checksum errors, length errors, exception replies, other failures,\n"
                 "reconnects, and the milliseconds since the last good reply. Ctrl-C or a lost\n"
                 "link ends it early; the figures are printed all the same (exit 0, or 3 after a\n"
                 "loss). JSON keys: requests_per_s, rtt_median_ms, rtt_p99_ms, requests,\n"
                 "good_replies, timeouts, crc_errors, length_errors, exceptions, other_errors,\n"
                 "reconnects, since_good_ms (the round trip is null without a reply in the last\n"
                 "minute).\n",
         .Options = TStatsOptions{},
         .Make = MakeStatsCommand},
        {.Name = "preset",
         .Listed = "preset",
         .Summary = "list, show, select or save presets M0-M9 and C0-C9",
         .Usages = {{"LINK [--json] preset list", "-"},
                    {"LINK [--json] preset show N", "-"},
                    {"LINK [--json] preset select N", "-"},
                    {"LINK [--json] preset save N", "preset save"}},
         .Text = "N is 0-9 for the presets M0-M9 and 10-19 for the charge profiles C0-C9 (the\n"
                 "names M3 or C2 work as well). 'list' shows the presets the unit offers, 'show'\n"
                 "one block, 'select' makes a preset the live setting, 'save' changes the given\n"
                 "values of a block (the others keep what the supply holds) and stores it.\n",
         .Options = TPresetOptions{},
         .Arguments = ParsePreset,
         .Make = MakePresetCommand},
        {.Name = "sequence",
         .Listed = "sequence",
         .Summary = "show the autotest table, or run it (or a CSV step file)",
         .Usages = {{"[LINK] [--json] sequence show", "-"},
                    {"LINK [--json] sequence run [FILE]", ""}},
         .Text =
             "'show' prints the table saved by the Auto Test window as a step file that 'run\n"
             "FILE' runs as it is (volts, amperes, seconds); the current unit is the model's,\n"
             "so give the LINK unless the window last used the supply on a serial port. A\n"
             "saved table that fails its check is neither shown nor run (exit 2). 'run' steps\n"
             "the supply through the saved table, or through FILE, a CSV of\n"
             "voltage,current,seconds[,enabled] lines (volts, amperes, 1-86400 s; a heading\n"
             "line and '#' comments allowed; at most 17 steps). Each step is printed as it\n"
             "starts. The log has a record at the start, then one every S seconds\n"
             "(--log-every), or one whenever a set point changes or the output voltage or\n"
             "current moves by more than V or I percent of the set value (--log-on-change; 0\n"
             "any change, - never); without either the window's logging settings apply. --log\n"
             "writes it to FILE as it grows:\n"
             "the window's text format (txt, default), CSV (the columns of 'watch'), or an\n"
             ".xlsx workbook written at the end; without --format the file's extension\n"
             "decides. FILE is only emptied once the run starts. The output is switched off at\n"
             "the end, on Ctrl-C, on a closed standard output, on a lost link and when the log\n"
             "cannot be written. Exit codes: 0 the table ran to its end, 2 bad table (line\n"
             "number given; nothing is sent) or a value outside the model's limits, 3 link\n"
             "lost, 4 the output went off before the end (e.g. a protection trip) or the\n"
             "supply had not confirmed it on when the last step ended, 6 the log cannot be\n"
             "written, 130 interrupted.\n",
         .Options = TSequenceOptions{},
         .Arguments = ParseSequence,
         .Check = CheckSequenceRequest,
         .Make = MakeSequenceCommand},
        {.Name = "sweep",
         .Listed = "sweep",
         .Summary = "step the set voltage or current and record the I-V curve",
         .Usages = {{"LINK [--json] sweep voltage FROM TO STEP", ""},
                    {"LINK [--json] sweep current FROM TO STEP", ""}},
         .Text =
             "Steps the set voltage (or current) from FROM to TO in steps of STEP (volts or\n"
             "amperes; FROM may be above TO; the last point is the last step that does not\n"
             "pass TO), holds each point for S seconds (--dwell, 1; 0.01-3600) and records its\n"
             "settled reading: the mean of the readings taken in the last half of the dwell,\n"
             "which counts from the first reading that shows the point's set values. The other\n"
             "set point is the compliance limit (--limit; without it the supply's own): the\n"
             "sweep stops at the first point where the supply regulates that quantity instead\n"
             "(CC in a voltage sweep, CV in a current sweep) or its reading reaches the limit.\n"
             "The output is switched on only once the supply shows the first point's set\n"
             "values, and off at the end, on Ctrl-C, on a closed standard output and on a lost\n"
             "link. Each point is printed as it is recorded (a JSON line with --json, then one\n"
             "with the end). --csv writes one row per point, --png a plot of the curve\n"
             "(current against voltage), both once the sweep has ended, also after an\n"
             "interrupt, and only when a point was recorded. CSV header (set points, then the\n"
             "settled means; mode CV or CC; readings averaged):\n"
             "  point,uset,iset,uout,iout,power,mode,readings\n"
             "Values finer than the supply's resolution, points outside the model's range and\n"
             "a voltage the input cannot give (the output needs about a tenth of headroom) are\n"
             "refused before anything is written. Exit codes: 0 every point recorded or\n"
             "stopped at compliance, 2 a value out of range (nothing is written), 3 link lost,\n"
             "4 the output went off before the end (e.g. a protection trip) or the supply did\n"
             "not take a set point, 6 a file cannot be written, 130 interrupted.\n",
         .Options = TSweepOptions{},
         .Arguments = ParseSweep,
         .Make = MakeSweepCommand},
        {.Name = "plan",
         .Listed = "plan",
         .Summary = "run a plan file: steps that end on a condition or a time",
         .Usages = {{"LINK [--json] plan run FILE", ""}},
         .Text =
             "Runs a plan: a CSV file of steps, each a set voltage and current held until the\n"
             "first of its end conditions holds. With a heading line its columns are voltage,\n"
             "current, seconds, until, max_seconds, ramp and enabled (any order; a step file\n"
             "of 'sequence run' is a plan as it is). A step runs for seconds, or until one of\n"
             "the conditions of until, joined by '|', holds: I<=A, I>=A (output current),\n"
             "V<=V, V>=V (output voltage), Ah>=N, Wh>=N (charge and energy delivered in the\n"
             "step; plan.Ah>=N and plan.Wh>=N count the whole plan), CC, CV (the mode\n"
             "entered), trip (a protection switched the output off; the next step switches it\n"
             "on again). A step with until needs max_seconds, the longest it runs (up to\n"
             "604800 s), so no plan runs for ever. Example:\n"
             "4.20,1.000,,I<=0.100|Ah>=2.5,14400. A condition ends the step once it holds for\n"
             "N readings in a row (--readings, 3), so one noisy reading ends nothing. The\n"
             "column ramp moves the voltage (V), the current (I) or both (V|I) linearly over\n"
             "the step's seconds (else its max_seconds) from the previous step's set point, or\n"
             "from a named start (V from 1.00, I from 0.500), to the step's own: in the\n"
             "model's units, a write only once a reading shows the last one taken; the step's\n"
             "conditions count during the ramp. The plan is checked against the model (set\n"
             "points, ramp starts, what it can measure, the input voltage the highest voltage\n"
             "needs) before anything is written. The output is switched on once the supply\n"
             "shows the first step's set points. Each step and why it ended (the condition,\n"
             "time, max time) are printed as they happen, then the time, charge (Ah) and\n"
             "energy (Wh) of the plan; --json prints one object per line. --log writes the\n"
             "readings to FILE as CSV (the columns of 'watch'), a row a second and one at each\n"
             "step's end; FILE is only emptied once the run starts. The output is switched off\n"
             "at the end, on Ctrl-C, on a closed standard output, on a lost link and when the\n"
             "log cannot be written. Exit codes: 0 the plan ran to its end, 2 bad plan (line\n"
             "number given; nothing is sent) or one the model cannot deliver, 3 link lost, 4\n"
             "the output went off where no step waited for a trip, 6 the log cannot be\n"
             "written, 7 another program holds the keys, 130 interrupted.\n",
         .Options = TPlanOptions{},
         .Arguments = ParsePlan,
         .Make = MakePlanCommand},
        {.Name = "charge",
         .Listed = "charge",
         .Summary = "charge a battery: constant current, then voltage",
         .Usages = {{"LINK [--json] charge", ""}},
         .Text =
             "Charges a battery of N cells in series and AH ampere-hours with the usual values\n"
             "of its chemistry: constant current up to the charge voltage (li-ion 4.20 V,\n"
             "lifepo4 3.65 V, lead-acid 2.40 V, nimh 1.50 V a cell), then constant voltage\n"
             "until the current falls to the termination current (li-ion C/10, lifepo4 C/20,\n"
             "lead-acid and nimh C/50; nimh also ends once 160 % of its capacity went in). The\n"
             "current is C/2 for lithium and C/10 for the others unless --current gives it (C\n"
             "is the capacity in Ah taken as amperes). The maximum time is one and a half\n"
             "times what the capacity takes at the current, plus an hour. The plan is printed\n"
             "first (as a plan file 'plan run' takes) and refused before anything is written\n"
             "when the model cannot deliver it: a voltage or current above its range, or an\n"
             "input voltage too low for the charge voltage. For the run the OVP and OCP of the\n"
             "live preset are set 5 % above the charge voltage and 10 % above the current\n"
             "(rounded up to the supply's step) and put back at its end, also after Ctrl-C, an\n"
             "error or a lost link (after the output is off). A charge ends as charged only\n"
             "once its current has risen above the termination current: one whose current\n"
             "stays below it for 10 s after switching on (no cell, an open contact) ends with\n"
             "exit 4. At the end it prints why it ended, the time, the charge (Ah) and energy\n"
             "(Wh). --log and --readings and the endings are those of 'plan run'.\n"
             "Exit codes: those of 'plan run'; 3 also when the old protections could not be\n"
             "confirmed as put back (the message gives the command that sets them).\n",
         .Options = TChargeOptions{},
         .Check = CheckPlanRequest,
         .Make = MakeChargeCommand},
        {.Name = "flash",
         .Listed = "flash FILE",
         .Summary = "write a firmware image through the STM32 boot loader",
         .Usages = {{"--port NAME flash FILE", ""}},
         .Text =
             "Updates the supply's firmware over its serial line: connects and identifies the\n"
             "supply, asks the firmware to jump into the STM32 boot loader, then reopens the\n"
             "port at 38400 baud, even parity, erases the chip, writes FILE (a raw binary\n"
             "image) from 0x08000000, reads it back and compares it (not with --no-verify) and\n"
             "starts it. Each step is printed as a line; a progress bar goes to standard error\n"
             "on a terminal. --no-jump skips the Modbus part for a supply that already waits\n"
             "in its boot loader. An update that fails or is interrupted prints what it did to\n"
             "the chip (and what the chip held, when it read it) and the command that finishes\n"
             "it (with --no-jump); that retry, started at once, finds the boot loader wherever\n"
             "the first run left it. Not over --tcp or a Bluetooth port, not for KORAD units.\n"
             "Exit codes: 0 written (and verified) and started; 2 the file is missing,\n"
             "unreadable, empty or larger than the chip's flash (nothing written), or the link\n"
             "or unit is refused; 3 the port or the link failed; 5 a boot loader step failed\n"
             "(the message names it); 130 interrupted.\n",
         .Options = TFlashOptions{},
         .Arguments = ParseFlash,
         .Make = MakeFlashCommand},
        {.Name = "calibration",
         .Listed = "calibration",
         .Summary = "the supply's seven calibration values (read only)",
         .Usages = {{"LINK [--json] calibration", ""}},
         .Text = "Reads the supply's calibration block and prints the reference values of its\n"
                 "seven points, to record them before and after a calibration: input voltage low\n"
                 "and high, output voltage low and high (volts, three decimals), output current\n"
                 "low and high (amperes, three decimals, four on 0.001 A models) and the high\n"
                 "temperature point (Celsius). Nothing is written. JSON keys: uin_low, uin_high,\n"
                 "uout_low, uout_high, iout_low, iout_high, temp_high. Stock firmware and KORAD\n"
                 "units offer none (exit 2).\n",
         .Make = MakeCalibrationCommand},
        {.Name = "serve-scpi",
         .Listed = "serve-scpi",
         .Summary = "a SCPI server on TCP port 5025 for lab scripts",
         .Usages = {{"LINK serve-scpi", ""}},
         .Text =
             "Holds one session with the supply and serves SCPI commands over TCP, on\n"
             "127.0.0.1:5025 unless --listen names another address (port 0: any free port), to\n"
             "one client at a time; a client that comes meanwhile waits up to 2 s for the\n"
             "place, then gets an error line. --idle-timeout S closes a client that sends\n"
             "nothing for S seconds. Lines end with a newline, ';' chains commands, ','\n"
             "separates parameters, headers are case-insensitive in short or long form.\n"
             "Commands: *IDN?, *RST, *CLS, *ESE N, *ESE?, *ESR?, *SRE N, *SRE?, *STB?, *OPC,\n"
             "*OPC?, *WAI, *TST?, *RCL N and MEM:RCL N (select preset MN, N 0-9), [SOUR:]VOLT\n"
             "V|MIN|MAX, VOLT? [MIN|MAX], [SOUR:]CURR A|MIN|MAX, CURR? [MIN|MAX], APPL V[,A],\n"
             "APPL?, OUTP ON|OFF, OUTP?, MEAS:VOLT?, MEAS:CURR?, MEAS:POW?, MEAS:ALL?,\n"
             "VOLT:PROT V|MIN|MAX and CURR:PROT A|MIN|MAX (the OVP and OCP levels of the\n"
             "selected preset), VOLT:PROT?, CURR:PROT?, VOLT:PROT:TRIP?, CURR:PROT:TRIP?,\n"
             "OUTP:PROT:CLE (switches the output on again after a trip), STAT:OPER[:EVEN]?,\n"
             "STAT:OPER:COND?, STAT:OPER:ENAB N (256 constant voltage, 1024 constant current),\n"
             "STAT:QUES[:EVEN]?, STAT:QUES:COND?, STAT:QUES:ENAB N (1 OVP, 2 OCP, 4 OPP, 8\n"
             "over-heat tripped, 16 constant current), STAT:PRES, SYST:ERR?, SYST:VERS?,\n"
             "SYST:LOCK ON|OFF, SYST:LOCK?, SYST:REM, SYST:LOC. Each command is carried out\n"
             "before the next one starts; a query about the supply's state answers from a\n"
             "reading requested after it arrived. A value outside the model's limits is\n"
             "refused (-222) and nothing is written; an error drops the rest of its line;\n"
             "SYST:ERR? reads the error queue (standard SCPI numbers). While the link is lost\n"
             "every query about the supply answers with a -300 error and the bridge\n"
             "reconnects. SYST:LOCK OFF gives the keys back to the front panel (no readings)\n"
             "until SYST:LOCK ON. Ctrl-C or SIGTERM ends it: the keys it locked are released\n"
             "and the output is left as it is, unless --off-on-exit switches it off first\n"
             "(also after SYST:LOCK OFF or a lost link). Exit codes: 0 ended by a signal, 3\n"
             "cannot connect (or the output could not be switched off at the end), 6 the\n"
             "address cannot be taken, 7 another program holds the keys at the start (a link\n"
             "that comes back to such keys waits for them). --metrics ADDRESS:PORT serves\n"
             "/metrics for Prometheus (see serve-mqtt).\n",
         .Options = TServeScpiOptions{},
         .Make = MakeScpiCommand},
        {.Name = "serve-mqtt",
         .Listed = "serve-mqtt",
         .Summary = "readings and control over an MQTT broker",
         .Usages = {{"LINK serve-mqtt", ""}},
         .Text =
             "Holds one session with the supply and publishes it on an MQTT broker\n"
             "(127.0.0.1:1883 unless --broker names another) under TOPIC, benchlord/NAME by\n"
             "default; NAME is --name, else the link's (ttyUSB0, 127.0.0.1-502):\n"
             "  TOPIC/availability    online or offline, retained; the last will says offline\n"
             "  TOPIC/reading         each reading (at most N a second with --rate): JSON with\n"
             "                        the time and the names of 'read --json'\n"
             "  TOPIC/state           retained JSON: model, firmware, name, max_voltage,\n"
             "                        max_current, limit_voltage, limit_current, control,\n"
             "                        uset, iset, output, mode, protect, preset\n"
             "  TOPIC/link            the link figures of 'stats' every 5 s, with readings,\n"
             "                        published and dropped\n"
             "  TOPIC/set/voltage     commands: V; A; ON or OFF; a preset 0-9 (M0-M9)\n"
             "  TOPIC/set/current\n"
             "  TOPIC/set/output\n"
             "  TOPIC/set/preset\n"
             "  TOPIC/result          JSON for each command: command, value, ok, and result\n"
             "                        or error\n"
             "Home Assistant discovery configs go to the discovery prefix (homeassistant):\n"
             "sensors for V, I and P, and with --allow-control a switch for the output and\n"
             "numbers for the set points (else a binary sensor for the output).\n"
             "Commands are refused unless --allow-control is given; then they run one at a\n"
             "time, each written, read back and confirmed before the next, and a value\n"
             "outside the model's limits or above --max-voltage / --max-current (a preset\n"
             "holding one too) is refused with nothing written. The bridge logs in as ID\n"
             "(benchlord-NAME), and as USER with the password on the first line of FILE. TLS\n"
             "is on with a CA FILE or DIR; --tls-insecure skips the host name check.\n"
             "When the broker goes away the bridge tries again, waiting twice as long each\n"
             "time (up to 30 s); readings made meanwhile are dropped and counted, and the\n"
             "retained topics are published afresh when it is back. When the supply goes\n"
             "away availability turns offline and the bridge reconnects as serve-scpi does.\n"
             "--metrics ADDRESS:PORT serves /metrics for Prometheus: the readings as gauges\n"
             "(benchlord_output_voltage_volts, ...), the link's counters, the round trip as\n"
             "a histogram, labelled model, link and name; 127.0.0.1 unless another address\n"
             "is named (with a warning). Ctrl-C or SIGTERM ends it: offline is published,\n"
             "keys it locked are released, the output is left as it is unless --off-on-exit\n"
             "switches it off first. Exit codes: 0 ended by a signal, 2 a bad option or an\n"
             "unreadable password file, 3 cannot connect to the supply, 6 the metrics address\n"
             "cannot be taken, 7 another program holds the keys at the start (with\n"
             "--allow-control or --off-on-exit).\n",
         .Options = TServeMqttOptions{},
         .Make = MakeMqttCommand},
        {.Name = "bench",
         .Listed = "bench FILE ACTION",
         .Summary = "several supplies of a bench file: read, watch, switch",
         .Usages = {{"[--json] bench FILE read", "-"},
                    {"[--json] bench FILE watch", "bench"},
                    {"[--json] bench FILE on NAME", "-"},
                    {"[--json] bench FILE off NAME", "-"},
                    {"[--json] bench FILE all-on", "-"},
                    {"[--json] bench FILE all-off", "-"}},
         .Text = "Runs the supplies of the bench FILE together, each on a session of its own over\n"
                 "the link the file gives it (no --port or --tcp). The file is INI text: a\n"
                 "[bench] section (off-on-loss = yes, off-on-failed-step = yes, confirm = 2), a\n"
                 "[supply] section per supply (name, tcp = HOST[:PORT] or port = NAME with baud,\n"
                 "addr, order, delay), and [track] sections (follower, leader, factor, current);\n"
                 "a malformed file is refused with its line number (exit 2). NAME here is a\n"
                 "supply's name.\n"
                 "read prints one row of every supply's reading; watch prints a row every S\n"
                 "seconds (1) until N rows or Ctrl-C, and writes them to FILE with --csv. A row\n"
                 "has a time column and each supply's columns of 'watch', named with the supply's\n"
                 "name without blanks (+12V.uout); a supply that gave no reading in the interval\n"
                 "has empty cells (null with --json), and one that is lost comes back by itself.\n"
                 "all-on switches the outputs on in the bench order, waiting each supply's delay\n"
                 "before it and for its reading to show the output on (confirm seconds); a step\n"
                 "that trips, is lost or does not confirm stops it (exit 4, or 3 for a lost\n"
                 "link), switches that supply off and, with off-on-failed-step, the ones it had\n"
                 "switched on. all-off runs backwards and goes on past a supply that fails. on\n"
                 "and off switch one supply. While the bench runs (all of them but read), a\n"
                 "supply that is lost or trips switches every supply off (off-on-loss), and a\n"
                 "follower's set voltage (and with current = yes its set current) is the\n"
                 "leader's times the factor; a value beyond the follower's limits is refused and\n"
                 "said, never clipped, and a lost link ends the tracking. Each step prints\n"
                 "'NAME: on' or 'NAME: off' ({\"supply\", \"output\"} with --json). Every supply\n"
                 "follows the key rules of the other commands: all but read lock its keys and\n"
                 "release them at the end (exit 7 when another program holds them), read only\n"
                 "reads. A supply that cannot be reached at the start ends the run with exit 3,\n"
                 "except for all-off, which still switches the others off.\n",
         .NeedsLink = false,
         .Options = TBenchCommandOptions{},
         .Arguments = ParseBench,
         .Check = CheckBenchRequest,
         .Make = MakeBenchCommand},
    };
}

}  // namespace

const std::vector<TCommandDecl>& CliCommands() {
    static const std::vector<TCommandDecl> commands = MakeCommands();
    return commands;
}

const TCommandDecl* FindCommand(const QString& AName) {
    for (const TCommandDecl& command : CliCommands())
        if (command.Name == AName) return &command;
    return nullptr;
}

const TCommandDecl& HelpOwner(const TCommandDecl& ACommand) {
    const std::vector<TCommandDecl>& commands = CliCommands();
    size_t at = static_cast<size_t>(&ACommand - commands.data());
    while (at > 0 && commands[at].Listed.isEmpty())
        --at;
    return commands[at];
}

std::vector<QStringList> PositionalForms(const TCommandDecl& ACommand) {
    std::vector<QStringList> forms;
    for (const TUsage& usage : HelpOwner(ACommand).Usages) {
        const QStringList words = usage.Words.split(' ');
        const qsizetype at = words.indexOf(ACommand.Name);
        if (at >= 0) forms.push_back(words.mid(at + 1));
    }
    return forms;
}
