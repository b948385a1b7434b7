#pragma once
// Factories of the session commands (cli_command.h); MakeCommand picks one by the request.

#include <memory>

#include "cli/cli_command.h"

std::unique_ptr<TCliCommand> MakeInfoCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeReadCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeWatchCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeStatsCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeSetCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeSwitchCommand(TCliContext& AContext, bool AOn);
std::unique_ptr<TCliCommand> MakePresetCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeSequenceCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeSweepCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakePlanCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeChargeCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeFlashCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeCalibrationCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeScpiCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeMqttCommand(TCliContext& AContext);
std::unique_ptr<TCliCommand> MakeBenchCommand(TCliContext& AContext);
