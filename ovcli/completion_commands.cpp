// ovcli completion: the bash completion script, made from the command tree itself,
// and the list of every command.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"

namespace ovcli {

namespace {

struct Node {
    std::string path;  // "" for ovcli itself, else "hog extract"
    std::vector<std::string> commands, options;
};

void collectOptions(CLI::App* app, std::vector<std::string>& out) {
    for (const CLI::Option* o : app->get_options()) {
        if (o->get_positional()) continue;
        for (const auto& n : o->get_lnames())
            out.push_back("--" + n);
        for (const auto& n : o->get_snames())
            out.push_back("-" + n);
    }
    for (auto* g : app->get_subcommands([](CLI::App* s) { return s->get_name().empty(); }))
        collectOptions(g, out);
}

void collect(CLI::App* app, const std::string& path, std::vector<Node>& out) {
    Node n{path, {}, {}};
    collectOptions(app, n.options);
    auto subs = app->get_subcommands([](CLI::App* s) { return !s->get_name().empty(); });
    for (auto* s : subs)
        n.commands.push_back(s->get_name());
    out.push_back(n);
    for (auto* s : subs)
        collect(s, path.empty() ? s->get_name() : path + " " + s->get_name(), out);
}

std::string words(const std::vector<std::string>& ws) {
    std::string s;
    for (const auto& w : ws)
        s += (s.empty() ? "" : " ") + w;
    return s;
}

std::string bashScript(CLI::App& app) {
    std::vector<Node> nodes;
    collect(&app, "", nodes);
    std::string s =
        "# bash completion for ovcli. Made by `ovcli completion bash` from its commands;\n"
        "# install as /usr/share/bash-completion/completions/ovcli.\n"
        "_ovcli() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} path= word i commands= options=\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        word=${COMP_WORDS[i]}\n"
        "        case \"$path/$word\" in\n";
    std::string known;
    for (const auto& n : nodes)
        for (const auto& c : n.commands)
            known += (known.empty() ? "            \"" : "|\"") + n.path + "/" + c + "\"";
    s += known + ") path=${path:+$path }$word ;;\n";
    s += "        esac\n"
         "    done\n"
         "    case \"$path\" in\n";
    for (const auto& n : nodes) {
        s += "        \"" + n.path + "\")\n";
        if (!n.commands.empty()) s += "            commands=\"" + words(n.commands) + "\"\n";
        s += "            options=\"" + words(n.options) + "\" ;;\n";
    }
    s += "    esac\n"
         "    if [[ $cur == -* ]]; then\n"
         "        mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
         "    elif [[ -n $commands ]]; then\n"
         "        mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- \"$cur\")\n"
         "    else\n"
         "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
         "    fi\n"
         "}\n"
         "complete -o filenames -o bashdefault -F _ovcli ovcli\n";
    return s;
}

}  // namespace

void addCompletionCommands(Cli& cli) {
    auto* completion = cli.app.add_subcommand(
        "completion", "Shell completion: the bash script, or the list of every command");
    completion->require_subcommand(1);
    auto* bash = completion->add_subcommand(
        "bash", "Print the bash completion script (the package installs it already)");
    bash->callback([&cli] { std::cout << bashScript(cli.app); });
    auto* commands = completion->add_subcommand("commands", "Print every command, one a line");
    commands->callback([&cli] {
        std::vector<Node> nodes;
        collect(&cli.app, "", nodes);
        for (const auto& n : nodes)
            if (!n.path.empty()) std::cout << n.path << '\n';
    });
}

}  // namespace ovcli
