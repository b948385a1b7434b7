#include "cli/cli_commands.h"

std::unique_ptr<TCliCommand> MakeCommand(TCliContext& AContext) {
    const QString& name = AContext.Request().Command;
    if (name == "info") return MakeInfoCommand(AContext);
    if (name == "read") return MakeReadCommand(AContext);
    if (name == "watch") return MakeWatchCommand(AContext);
    if (name == "stats") return MakeStatsCommand(AContext);
    if (name == "calibration") return MakeCalibrationCommand(AContext);
    if (name == "set") return MakeSetCommand(AContext);
    if (name == "on" || name == "off") return MakeSwitchCommand(AContext, name == "on");
    if (name == "sequence") return MakeSequenceCommand(AContext);
    if (name == "sweep") return MakeSweepCommand(AContext);
    if (name == "plan") return MakePlanCommand(AContext);
    if (name == "charge") return MakeChargeCommand(AContext);
    if (name == "flash") return MakeFlashCommand(AContext);
    if (name == "serve-scpi") return MakeScpiCommand(AContext);
    if (name == "serve-mqtt") return MakeMqttCommand(AContext);
    return MakePresetCommand(AContext);
}
