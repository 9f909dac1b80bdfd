// CLI11 set up from the option table. CLI11 only takes the line apart here:
// every option is the main program's (so it counts wherever it stands, before
// or after a subcommand), keeps every value given, and is checked and
// defaulted by resolve(), which knows the command.
#include <map>
#include <memory>

#include <CLI/CLI.hpp>

#include "rawoptions.h"

namespace qlx5100status {

bool RawOptions::has(OptionId id) const {
    for (const Given& g : given) {
        if (g.id == id) {
            return true;
        }
    }
    return false;
}

const std::string* RawOptions::last(OptionId id) const {
    for (auto g = given.rbegin(); g != given.rend(); ++g) {
        if (g->id == id) {
            return &g->value;
        }
    }
    return nullptr;
}

std::vector<std::string> RawOptions::all(OptionId id) const {
    std::vector<std::string> values;
    for (const Given& g : given) {
        if (g.id == id) {
            values.push_back(g.value);
        }
    }
    return values;
}

RawOptions parseCommandLine(int argc, const char* const* argv) {
    RawOptions raw;
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    app.fallthrough();
    // CLI11 would read "/name" as an option on Windows; here it is a path
    // (wine hands programs Unix paths), and options are spelt the same
    // everywhere.
    app.allow_windows_style_options(false);
    std::vector<std::string> inputs;
    app.add_option("inputs", inputs);

    std::map<const CLI::Option*, OptionId> ids;
    std::map<OptionId, std::vector<std::string>> values;
    for (const OptionDef& def : optionTable()) {
        const std::string names = std::string(def.shortName).empty()
                                      ? def.longName
                                      : std::string(def.shortName) + "," + def.longName;
        CLI::Option* option = nullptr;
        if (def.valueName == nullptr) {
            option = app.add_flag(names);
        } else {
            option = app.add_option(names, values[def.id])->allow_extra_args(false);
        }
        ids[option] = def.id;
    }

    std::vector<std::string> subcommandArgs;
    for (const CommandDef& command : commandTable()) {
        if (command.subcommand == nullptr) {
            continue;
        }
        CLI::App* sub = app.add_subcommand(command.subcommand);
        sub->set_help_flag();
        sub->allow_extras();
        sub->add_option("args", subcommandArgs);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }

    for (const CLI::App* sub : app.get_subcommands()) {
        raw.subcommand = sub->get_name();
        for (const std::string& extra : sub->remaining()) {
            raw.unknown.push_back(extra);
        }
    }
    raw.positionals = raw.subcommand.empty() ? inputs : subcommandArgs;
    if (!raw.subcommand.empty()) {
        // Inputs before the subcommand are no block of it.
        raw.positionals.insert(raw.positionals.begin(), inputs.begin(), inputs.end());
    }
    for (const std::string& extra : app.remaining()) {
        raw.unknown.push_back(extra);
    }
    // parse_order() lists an option once per time it was given, so the n-th
    // time is its n-th value.
    std::map<OptionId, std::size_t> taken;
    for (const CLI::Option* option : app.parse_order()) {
        const auto known = ids.find(option);
        if (known == ids.end()) {  // the positionals
            continue;
        }
        const OptionId id = known->second;
        std::string value;
        if (optionDef(id).valueName != nullptr) {
            const std::vector<std::string>& all = values[id];
            const std::size_t n = taken[id]++;
            value = n < all.size() ? all[n] : std::string();
        }
        raw.given.push_back({id, value});
    }
    return raw;
}

}  // namespace qlx5100status
