// ovcli: the toolkit's command-line front end.

#include "cli.h"

int main(int argc, char** argv) {
    CLI::App app{"Orvane modding toolkit: archives, ship models, statistics and converters",
                 "ovcli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "ovcli 0.1.0");

    ovcli::CliReporter reporter;
    int exitCode = ovcli::kOk;
    ovcli::Cli cli{app, reporter, exitCode};
    ovcli::addCodecCommands(cli);
    ovcli::addShpCommands(cli);
    ovcli::addSampleCommands(cli);
    ovcli::addHogCommands(cli);
    ovcli::addShipsCommands(cli);
    ovcli::addModelCommands(cli);
    ovcli::addConvertCommands(cli);
    ovcli::addFileCommands(cli);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : ovcli::kUsage;
    }
    return exitCode;
}
