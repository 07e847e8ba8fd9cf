// ovcli sample-game: writes the generated sample game folder.

#include <iostream>

#include "cli.h"
#include "common/fileio.h"
#include "sample_game.h"

namespace ovcli {

void addSampleCommands(Cli& cli) {
    auto* cmd = cli.app.add_subcommand("sample-game",
                                       "Write a small generated game folder to try the toolkit on");
    auto dir = std::make_shared<std::string>();
    auto force = std::make_shared<bool>(false);
    cmd->add_option("DIR", *dir, "Folder to write (new or empty)")->required();
    cmd->add_flag("--force", *force, "Write the sample files even if the folder is not empty");
    auto dryRun = std::make_shared<bool>(false);
    cmd->add_flag("--dry-run", *dryRun, "Say where the sample would be written and write nothing");
    cmd->callback([&cli, dir, force, dryRun] {
        if (*dryRun) {
            std::cout << "would write the sample game folder to " << *dir << '\n';
            return;
        }
        if (auto st = writeSampleGame(ov::pathFromText(*dir), *force); !st) {
            printError(st.error().describe());
            cli.exitCode = kFailed;
            return;
        }
        std::cout << "Sample game written to " << *dir << '\n';
    });
}

}  // namespace ovcli
