// The command-line parser of the program and its tools, on glibc's
// getopt_long, so that all three follow the GNU conventions alike: `--name
// value` and `--name=value`, an unambiguous abbreviation of a long name,
// bundled short options (`-hv`), `--` ending the options, and operands
// anywhere among the options, kept in their order. A program describes its
// options in a table and gives the values their meaning itself.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace options {

// The exit status of every bad command line, in every program.
inline constexpr int kExitUsage = 2;

enum class Takes { kNothing, kValue };

// One row of a program's option table.
struct Option {
    // The program's own number for the option, handed back with each use.
    int id = 0;
    // The long name without its dashes: "quality" is `--quality`.
    std::string_view name;
    Takes takes = Takes::kNothing;
    // The short form's letter, `-h`; 0 for none.
    char letter = 0;
};

// One use of an option, in the order of the command line.
struct Use {
    int id = 0;
    std::string value; // empty for an option that takes nothing
    bool operator==(const Use&) const = default;
};

enum class Mistake {
    // Not in the table, ambiguous as an abbreviation, or given a value it
    // does not take (`--help=yes`).
    kUnknownOption,
    // The last argument is an option that needs a value.
    kMissingValue,
};

struct Refusal {
    Mistake mistake = Mistake::kUnknownOption;
    // The argument as written (`--frobnicate=3`, or `-x` out of `-hx`).
    std::string argument;
    // kMissingValue: the option's long form, `--quality`, however abbreviated.
    std::string option;
    bool operator==(const Refusal&) const = default;
};

struct ParsedLine {
    std::vector<Use> uses;
    // The arguments that are not options, those after `--` included.
    std::vector<std::string> operands;
    // The first mistake. Parsing goes on past it, so that a program may let
    // --help answer whatever else the line holds.
    std::optional<Refusal> refusal;

    bool Has(int id) const;
};

// Parses `arguments`, the command line without the program's name. Safe to
// call from several threads: the calls take turns on getopt_long's state.
ParsedLine Parse(std::span<const Option> table, const std::vector<std::string>& arguments);

} // namespace options
