#include "cli/cli_commands.h"

#include "cli/cli_options.h"

std::unique_ptr<TCliCommand> MakeCommand(TCliContext& AContext) {
    const TCommandDecl* command = FindCommand(AContext.Request().Command);
    return command && command->Make ? command->Make(AContext) : nullptr;
}
