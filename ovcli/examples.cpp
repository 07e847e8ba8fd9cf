// The examples at the end of every command's --help. They are the examples of
// docs/USAGE.md (a test checks that each one is there, and runs those in order on
// a fresh sample game), so the guide and the help never tell two stories.

#include "cli.h"

namespace ovcli {

namespace {

// Plain constants, so the table costs nothing to start a command that never shows it.
struct Examples {
    const char* path;
    const char* first;
    const char* second = nullptr;
};

constexpr Examples kExamples[] = {
    {"pack", "ovcli pack out/raptor.shp out/raptor.packed"},
    {"unpack", "ovcli unpack out/raptor.packed out/raptor-again.shp"},
    {"shp", "ovcli shp blocks out/raptor.shp", "ovcli shp sample out/fighter.shp"},
    {"shp blocks", "ovcli shp blocks out/raptor.shp"},
    {"shp sample", "ovcli shp sample out/fighter.shp"},
    {"sample-game", "ovcli sample-game game"},
    {"hog",
     "ovcli hog list game/resource.hog",
     "ovcli hog unpack game/resource.hog out --all --if-not-packed extract"},
    {"hog list", "ovcli hog list game/resource.hog", "ovcli hog list game/resource.hog --json"},
    {"hog extract",
     "ovcli hog extract game/resource.hog stored raptor.shp data/readme.txt",
     "ovcli hog extract game/resource.hog stored/models '*.shp' --json"},
    {"hog unpack", "ovcli hog unpack game/resource.hog out --all --if-not-packed extract"},
    {"hog cat", "ovcli hog cat game/resource.hog data/readme.txt"},
    {"hog backup-fat", "ovcli hog backup-fat game/resource.hog"},
    {"hog restore-fat", "ovcli hog restore-fat game/resource.hog --yes"},
    {"hog paste", "ovcli hog paste game/resource.hog data/readme.txt raptor_t.shp"},
    {"hog set-entry",
     "ovcli hog set-entry game/resource.hog raptor.shp --offset 0x16A --size 0x71"},
    {"hog create",
     "ovcli hog create out.hog out --pack",
     "ovcli hog create my.hog --base out out/raptor.shp out/data/readme.txt"},
    {"hog add", "ovcli hog add game/resource.hog out/raptor_t.shp --as ships/heron.shp --pack"},
    {"hog replace",
     "ovcli hog replace game/resource.hog raptor.shp out/raptor.shp --pack --yes"},
    {"hog rename",
     "ovcli hog rename game/resource.hog data/readme.txt data/readme-old.txt",
     "ovcli hog rename game/resource.hog sounds/klaxon.raw sounds/alarm.raw --json"},
    {"hog delete",
     "ovcli hog delete game/resource.hog missions/m01.dat sounds/klaxon.raw --dry-run"},
    {"hog edit", "ovcli hog edit game/resource.hog --script out/changes.txt"},
    {"stats", "ovcli stats list game", "ovcli stats revert game Raptor"},
    {"stats list", "ovcli stats list game"},
    {"stats get", "ovcli stats get game Raptor", "ovcli stats get game/shipstats.def 0"},
    {"stats set",
     "ovcli stats set game Raptor \"Max Speed=480\" \"Shield Recharge=15\"",
     "ovcli stats set game/shipstats.bin 0 \"Ammo=40\" --dry-run"},
    {"stats import", "ovcli stats import game Corsair game/addons/stats/corsair.txt"},
    {"stats add",
     "ovcli stats add game Heron game/addons/stats/corsair.txt --model heron.shp",
     "ovcli stats add game Osprey game/addons/stats/corsair.txt --json"},
    {"stats ensure-default", "ovcli stats ensure-default game"},
    {"stats revert", "ovcli stats revert game Raptor", "ovcli stats revert game --dry-run"},
    {"stats switch-off", "ovcli stats switch-off game --dry-run"},
    {"stats restore",
     "ovcli stats restore game/shipstats.def game/shipstats.bin --dry-run"},
    {"ship", "ovcli ship class game/ships/kestrel.shp", "ovcli ship cloak game Kestrel --on"},
    {"ship class", "ovcli ship class game/ships/kestrel.shp"},
    {"ship cloak",
     "ovcli ship cloak game Kestrel --on",
     "ovcli ship cloak game/ships/kestrel.shp --off -o out/kestrel-plain.shp"},
    {"weapons", "ovcli weapons list game Raptor", "ovcli weapons types"},
    {"weapons types", "ovcli weapons types"},
    {"weapons list", "ovcli weapons list game Raptor"},
    {"weapons set",
     "ovcli weapons set game Raptor --points 0,1 --gun \"Proton Cannon\"",
     "ovcli weapons set game Raptor --points 3 --missile 4 --json"},
    {"weapons restore", "ovcli weapons restore game Raptor"},
    {"model", "ovcli model info out/raptor.shp", "ovcli model check out/raptor.shp"},
    {"model info", "ovcli model info out/raptor.shp"},
    {"model check", "ovcli model check out/raptor.shp"},
    {"model save", "ovcli model save stored/raptor.shp -o out/raptor-plain.shp"},
    {"model merge",
     "ovcli model merge out/raptor.shp out/raptor_t.shp -o out/raptor-pair.shp"},
    {"model delete-component", "ovcli model delete-component out/raptor-pair.shp 1"},
    {"model attach", "ovcli model attach out/raptor.shp 0 3 -o out/raptor-gun.shp"},
    {"model detach", "ovcli model detach out/raptor-gun.shp 0 0"},
    {"model set-class",
     "ovcli model set-class out/raptor.shp Capship",
     "ovcli model set-class out/raptor.shp Fighter --dry-run"},
    {"model block13",
     "ovcli model block13 out/raptor.shp 0 on",
     "ovcli model block13 out/raptor.shp 0 off --json"},
    {"convert",
     "ovcli convert game/models/drone.3ds drone_skin out/drone.shp",
     "ovcli convert game/models/drone.3ds drone_skin out/drone2.shp --json"},
    {"3ds", "ovcli 3ds dump game/models/drone.3ds"},
    {"3ds dump", "ovcli 3ds dump game/models/drone.3ds"},
    {"temp-files", "ovcli temp-files game --recursive"},
    {"completion", "ovcli completion bash > out/ovcli.bash", "ovcli completion commands"},
    {"completion bash", "ovcli completion bash > out/ovcli.bash"},
    {"completion commands", "ovcli completion commands"},
};

CLI::App* commandAt(CLI::App& app, std::string_view path) {
    CLI::App* at = &app;
    while (!path.empty() && at) {
        const size_t space = path.find(' ');
        const std::string name(path.substr(0, space));
        path = space == std::string_view::npos ? std::string_view() : path.substr(space + 1);
        CLI::App* next = nullptr;
        for (auto* s : at->get_subcommands([](CLI::App* sub) { return !sub->get_name().empty(); }))
            if (s->get_name() == name) next = s;
        at = next;
    }
    return at;
}

}  // namespace

void addAllExamples(CLI::App& app) {
    app.footer(
        "Examples:\n  ovcli sample-game game\n  ovcli hog list game/resource.hog\n\n"
        "`ovcli help COMMAND` or `ovcli COMMAND --help` shows a command's options.\n");
    for (const Examples& e : kExamples)
        if (CLI::App* sub = commandAt(app, e.path))
            e.second ? addExamples(sub, {e.first, e.second}) : addExamples(sub, {e.first});
}

}  // namespace ovcli
