#include "cli/arguments.h"

#include <utility>

#include "cli/failure.h"

namespace nuvak::cli {

CommandLine& CommandLine::flag(std::string name, std::function<void()> seen) {
    options_.push_back({std::move(name), std::move(seen), {}, {}});
    return *this;
}

CommandLine& CommandLine::option(std::string name, std::function<void(const std::string&)> take, std::string missing) {
    if (missing.empty()) missing = name + " needs a value";
    options_.push_back({std::move(name), {}, std::move(take), std::move(missing)});
    return *this;
}

const CommandLine::Option* CommandLine::find(const std::string& name) const {
    for (const Option& o : options_)
        if (o.name == name) return &o;
    return nullptr;
}

std::vector<std::string> CommandLine::parse(const std::vector<std::string>& args) const {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" gives an option its value in the same argument.
        const std::size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        const Option* o = find(name);
        if (!o || (o->seen && equals != std::string::npos)) throw UsageError{"unknown option: " + a};
        if (o->seen) {
            o->seen();
        } else if (equals != std::string::npos) {
            o->take(a.substr(equals + 1));
        } else {
            if (i + 1 >= args.size()) throw UsageError{o->missing};
            o->take(args[++i]);
        }
    }
    return positional;
}

}  // namespace nuvak::cli
