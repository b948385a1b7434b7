// preset list, show, select and save.

#include "cli/cli_commands.h"

namespace {

class TPresetCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    QString Prepare() override { return "preset: not available in this build"; }
};

}  // namespace

std::unique_ptr<TCliCommand> MakePresetCommand(TCliContext& AContext) {
    return std::make_unique<TPresetCommand>(AContext);
}
