#include "cli/cli_options.h"

#include "cli/cli_args.h"
#include "cli/cli_command_args.h"
#include "cli/cli_mqtt_args.h"
#include "cli/cli_plan_args.h"
#include "cli/cli_sequence_args.h"
#include "cli/cli_sweep_args.h"
#include "tools/core/charge_plan.h"

namespace {

using K = TValueKind;

template <bool TCliRequest::*AFlag>
QString SetFlag(const QString&, const QString&, TCliRequest& AReq) {
    AReq.*AFlag = true;
    return {};
}

template <class TRecord, bool TRecord::*AFlag>
QString SetCommandFlag(const QString&, const QString&, TCliRequest& AReq) {
    AReq.Of<TRecord>().*AFlag = true;
    return {};
}

QString SetOffOnExit(const QString&, const QString&, TCliRequest& AReq) {
    if (auto* scpi = AReq.If<TServeScpiOptions>())
        scpi->OffOnExit = true;
    else
        AReq.Of<TServeMqttOptions>().OffOnExit = true;
    return {};
}

std::vector<TOptionDecl> MakeOptions() {
    const QStringList mqtt{"serve-mqtt"};
    return {
        // The link and the output, taken by every command.
        {.Name = "--port",
         .Kind = K::Port,
         .Value = "NAME",
         .Help = "serial port: ShortName from 'ports' or a device path",
         .Apply = ApplyLinkOption},
        {.Name = "--tcp",
         .Kind = K::HostPort,
         .Value = "HOST[:PORT]",
         .Help = "Modbus TCP bridge (port 502 when not given)",
         .Apply = ApplyLinkOption,
         .Join = TUsageJoin::Or},
        {.Name = "--baud",
         .Kind = K::Choice,
         .Value = "N",
         .Choices = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"},
         .Help = "serial baud rate (9600): 2400 ... 115200",
         .Apply = ApplyLinkOption},
        {.Name = "--addr",
         .Kind = K::Number,
         .Value = "N",
         .Help = "Modbus slave address 1-127 (1)",
         .Apply = ApplyLinkOption},
        {.Name = "--json", .Help = "print results as JSON", .Apply = SetFlag<&TCliRequest::Json>},
        {.Name = "--keep-lock",
         .Help = "leave the keys locked on exit (commands that lock)",
         .Apply = SetFlag<&TCliRequest::KeepLock>},
        {.Name = "--take-over",
         .Help = "take over keys another program locked (left locked with --keep-lock) and "
                 "release them at the end",
         .Apply = SetFlag<&TCliRequest::TakeOver>},
        {.Name = "--help",
         .Short = 'h',
         .Help = "this help; 'benchlordctl COMMAND --help' for a command",
         .Apply = SetFlag<&TCliRequest::Help>,
         .InUsage = false},
        {.Name = "--help-all", .Help = "this help and that of every command", .InUsage = false},
        {.Name = "--version", .Help = "print the program version and licence", .InUsage = false},
        // The words the bash completion offers after the words given.
        {.Name = "--completion-words", .InUsage = false, .Hidden = true},

        // set, preset save, charge
        {.Name = "--voltage",
         .Kind = K::Number,
         .Value = "V",
         .Commands = {"set", "preset save"},
         .Help = "the set voltage",
         .Apply = ApplySetValueOption},
        {.Name = "--current",
         .Kind = K::Number,
         .Value = "A",
         .Commands = {"set", "preset save", "charge"},
         .Help = "the set current (charge: the charge current)",
         .Apply = ApplySetValueOption},
        {.Name = "--ovp",
         .Kind = K::Number,
         .Value = "V",
         .Commands = {"preset save"},
         .Help = "the over-voltage protection level",
         .Apply = ApplySetValueOption},
        {.Name = "--ocp",
         .Kind = K::Number,
         .Value = "A",
         .Commands = {"preset save"},
         .Help = "the over-current protection level",
         .Apply = ApplySetValueOption},
        {.Name = "--opp",
         .Kind = K::Number,
         .Value = "W",
         .Commands = {"preset save"},
         .Help = "the over-power protection level",
         .Apply = ApplySetValueOption},
        {.Name = "--timer",
         .Kind = K::Text,
         .Value = "H:MM",
         .Commands = {"preset save"},
         .Help = "the output timer",
         .Apply = ApplySetValueOption},

        // watch, stats
        {.Name = "--interval",
         .Kind = K::Number,
         .Value = "S",
         .Commands = {"watch", "bench"},
         .Help = "seconds between readings (1; 0.01-86400)",
         .Apply = ApplyWatchOption},
        {.Name = "--count",
         .Kind = K::Number,
         .Value = "N",
         .Commands = {"watch", "bench"},
         .Help = "end after N rows",
         .Apply = ApplyWatchOption},
        {.Name = "--csv",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = {"watch", "sweep", "bench"},
         .Help = "write the rows to FILE as CSV",
         .Apply = ApplyWatchOption},
        {.Name = "--stats",
         .Commands = {"watch"},
         .Help = "the link figures of 'stats' with the readings",
         .Apply = SetCommandFlag<TWatchOptions, &TWatchOptions::Stats>},
        {.Name = "--stats-every",
         .Kind = K::Number,
         .Value = "S",
         .Commands = {"watch"},
         .Needs = "--stats",
         .Help = "seconds between the CSV mode's summary lines (10)",
         .Apply = ApplyWatchOption,
         .Join = TUsageJoin::Inside},
        {.Name = "--seconds",
         .Kind = K::Number,
         .Value = "N",
         .Commands = {"stats"},
         .Help = "seconds to poll (10; 1-86400)",
         .Apply = ApplyWatchOption},

        // flash
        {.Name = "--no-verify",
         .Commands = {"flash"},
         .Help = "do not read the image back to compare it",
         .Apply = SetCommandFlag<TFlashOptions, &TFlashOptions::NoVerify>},
        {.Name = "--no-jump",
         .Commands = {"flash"},
         .Help = "the supply already waits in its boot loader",
         .Apply = SetCommandFlag<TFlashOptions, &TFlashOptions::NoJump>},

        // charge
        {.Name = "--chemistry",
         .Kind = K::Choice,
         .Choices = ChargeChemistries(),
         .Commands = {"charge"},
         .Required = {"charge"},
         .Help = "the battery's chemistry",
         .Apply = ApplyPlanOption},
        {.Name = "--cells",
         .Kind = K::Number,
         .Value = "N",
         .Commands = {"charge"},
         .Required = {"charge"},
         .Help = "cells in series (1-100)",
         .Apply = ApplyPlanOption},
        {.Name = "--capacity",
         .Kind = K::Number,
         .Value = "AH",
         .Commands = {"charge"},
         .Required = {"charge"},
         .Help = "the battery's capacity in ampere-hours",
         .Apply = ApplyPlanOption},
        {.Name = "--termination",
         .Kind = K::Number,
         .Value = "A",
         .Commands = {"charge"},
         .Help = "the current at which the charge ends",
         .Apply = ApplyPlanOption},

        // sequence, plan, charge
        {.Name = "--log",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = {"sequence", "plan", "charge"},
         .Help = "write the log to FILE as the run goes",
         .Apply = ApplySequenceOption},
        {.Name = "--format",
         .Kind = K::Choice,
         .Choices = {"txt", "csv", "xlsx"},
         .Commands = {"sequence"},
         .Help = "the log's format (by the extension of FILE, else txt)",
         .Apply = ApplySequenceOption},
        {.Name = "--log-every",
         .Kind = K::Number,
         .Value = "S",
         .Commands = {"sequence"},
         .Help = "a log record every S seconds",
         .Apply = ApplySequenceOption},
        {.Name = "--log-on-change",
         .Kind = K::Text,
         .Value = "V,I",
         .Commands = {"sequence"},
         .Help = "a log record when the output moves by V or I percent",
         .Apply = ApplySequenceOption,
         .Join = TUsageJoin::Or},
        {.Name = "--readings",
         .Kind = K::Number,
         .Value = "N",
         .Commands = {"plan", "charge"},
         .Help = "readings in a row that end a step on a condition (3)",
         .Apply = ApplyPlanOption},

        // sweep
        {.Name = "--dwell",
         .Kind = K::Number,
         .Value = "S",
         .Commands = {"sweep"},
         .Help = "seconds each point is held (1; 0.01-3600)",
         .Apply = ApplySweepOption},
        {.Name = "--limit",
         .Kind = K::Number,
         .Value = "A|V",
         .Commands = {"sweep"},
         .Help = "the compliance limit: amperes (voltage sweep) or volts",
         .Apply = ApplySweepOption},
        {.Name = "--png",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = {"sweep"},
         .Help = "draw the curve into FILE",
         .Apply = ApplySweepOption},

        // serve-scpi, serve-mqtt
        {.Name = "--listen",
         .Kind = K::HostPort,
         .Value = "ADDRESS[:PORT]",
         .Commands = {"serve-scpi"},
         .Help = "the address served (127.0.0.1:5025; port 0: any free one)",
         .Apply = ApplyScpiOption},
        {.Name = "--idle-timeout",
         .Kind = K::Number,
         .Value = "S",
         .Commands = {"serve-scpi"},
         .Help = "close a client that sends nothing for S seconds",
         .Apply = ApplyScpiOption},
        {.Name = "--broker",
         .Kind = K::HostPort,
         .Value = "HOST[:PORT]",
         .Commands = mqtt,
         .Help = "the MQTT broker (127.0.0.1:1883)",
         .Apply = ApplyMqttOption},
        {.Name = "--name",
         .Kind = K::Text,
         .Value = "NAME",
         .Commands = mqtt,
         .Help = "the bridge's name (the link's)",
         .Apply = ApplyMqttOption},
        {.Name = "--prefix",
         .Kind = K::Text,
         .Value = "TOPIC",
         .Commands = mqtt,
         .Help = "the topic prefix (benchlord/NAME)",
         .Apply = ApplyMqttOption},
        {.Name = "--client-id",
         .Kind = K::Text,
         .Value = "ID",
         .Commands = mqtt,
         .Help = "the MQTT client id (benchlord-NAME)",
         .Apply = ApplyMqttOption},
        {.Name = "--user",
         .Kind = K::Text,
         .Value = "USER",
         .Commands = mqtt,
         .Help = "the broker's user name",
         .Apply = ApplyMqttOption},
        {.Name = "--password-file",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = mqtt,
         .Help = "the password, on the first line of FILE",
         .Apply = ApplyMqttOption,
         .Join = TUsageJoin::And},
        {.Name = "--cafile",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = mqtt,
         .Help = "TLS with the certificate authorities of FILE",
         .Apply = ApplyMqttOption},
        {.Name = "--capath",
         .Kind = K::File,
         .Value = "DIR",
         .Commands = mqtt,
         .Help = "TLS with the certificate authorities in DIR",
         .Apply = ApplyMqttOption,
         .Join = TUsageJoin::Or},
        {.Name = "--cert",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = mqtt,
         .Help = "the client certificate",
         .Apply = ApplyMqttOption},
        {.Name = "--key",
         .Kind = K::File,
         .Value = "FILE",
         .Commands = mqtt,
         .Help = "the client certificate's key",
         .Apply = ApplyMqttOption,
         .Join = TUsageJoin::And},
        {.Name = "--tls-insecure",
         .Commands = mqtt,
         .Help = "skip the broker's host name check",
         .Apply = SetCommandFlag<TServeMqttOptions, &TServeMqttOptions::TlsInsecure>},
        {.Name = "--keepalive",
         .Kind = K::Number,
         .Value = "S",
         .Commands = mqtt,
         .Help = "the MQTT keep-alive in seconds (60; 5-65535)",
         .Apply = ApplyMqttOption},
        {.Name = "--rate",
         .Kind = K::Number,
         .Value = "N",
         .Commands = mqtt,
         .Help = "at most N readings a second (every reading)",
         .Apply = ApplyMqttOption},
        {.Name = "--allow-control",
         .Commands = mqtt,
         .Help = "carry out the commands of TOPIC/set/...",
         .Apply = SetCommandFlag<TServeMqttOptions, &TServeMqttOptions::AllowControl>},
        {.Name = "--max-voltage",
         .Kind = K::Number,
         .Value = "V",
         .Commands = mqtt,
         .Help = "refuse set voltages above V",
         .Apply = ApplyMqttOption},
        {.Name = "--max-current",
         .Kind = K::Number,
         .Value = "A",
         .Commands = mqtt,
         .Help = "refuse set currents above A",
         .Apply = ApplyMqttOption},
        {.Name = "--discovery-prefix",
         .Kind = K::Text,
         .Value = "TOPIC",
         .Commands = mqtt,
         .Help = "the Home Assistant discovery prefix (homeassistant)",
         .Apply = ApplyMqttOption},
        {.Name = "--off-on-exit",
         .Commands = {"serve-scpi", "serve-mqtt"},
         .Help = "switch the output off when ended",
         .Apply = SetOffOnExit},
        {.Name = "--metrics",
         .Kind = K::HostPort,
         .Value = "ADDRESS:PORT",
         .Commands = {"watch", "serve-scpi", "serve-mqtt"},
         .Help = "serve /metrics for Prometheus",
         .Apply = ApplyMetricsOption},
    };
}

}  // namespace

QString TOptionDecl::ValueWord() const {
    return Value.isEmpty() ? Choices.join('|') : Value;
}

QString TOptionDecl::Synopsis() const {
    return TakesValue() ? Name + ' ' + ValueWord() : Name;
}

bool TOptionDecl::TakenBy(const QString& ACommand) const {
    for (const QString& scope : Commands)
        if (scope == ACommand || scope.startsWith(ACommand + ' ')) return true;
    return false;
}

const std::vector<TOptionDecl>& CliOptions() {
    static const std::vector<TOptionDecl> options = MakeOptions();
    return options;
}

const TOptionDecl* FindOption(const QString& AName) {
    const bool isShort = AName.size() == 2 && AName[0] == '-' && AName[1] != '-';
    for (const TOptionDecl& option : CliOptions())
        if (isShort ? option.Short != 0 && AName[1] == QChar(option.Short) : option.Name == AName)
            return &option;
    return nullptr;
}

std::vector<const TOptionDecl*> ScopeOptions(const QString& AScope) {
    std::vector<const TOptionDecl*> options;
    for (const TOptionDecl& option : CliOptions())
        if (option.Commands.contains(AScope)) options.push_back(&option);
    return options;
}
