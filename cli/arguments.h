#pragma once
// The one reader of every command's arguments: each command declares its options (flags and
// options with a value) and takes the rest as positional arguments, so that "--", "--name=value",
// a missing value and an unknown option mean the same to every command.

#include <functional>
#include <string>
#include <vector>

namespace nuvak::cli {

class CommandLine {
public:
    // A flag: seen() runs at each occurrence.
    CommandLine& flag(std::string name, std::function<void()> seen);
    // An option with a value, the next argument or after "=": take(value) runs at each
    // occurrence, in order, and may throw UsageError for a value it refuses. missing is the
    // problem reported without a value; by default "NAME needs a value".
    CommandLine& option(std::string name, std::function<void(const std::string&)> take, std::string missing = {});

    // Reads args as declared and returns the positional arguments in order. An argument of two
    // characters or more that starts with '-' is an option (one not declared is a UsageError)
    // until "--", after which every argument is positional.
    std::vector<std::string> parse(const std::vector<std::string>& args) const;

private:
    struct Option {
        std::string name;
        std::function<void()> seen;                    // a flag
        std::function<void(const std::string&)> take;  // an option with a value
        std::string missing;
    };
    const Option* find(const std::string& name) const;

    std::vector<Option> options_;
};

}  // namespace nuvak::cli
