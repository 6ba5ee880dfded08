#include "options/option_parser.h"

#include <getopt.h>

#include <algorithm>
#include <mutex>

namespace options {

namespace {

// getopt_long answers with a row's letter, or with this plus the row's place
// for a row without one: past every letter, so the two never meet.
constexpr int kFirstRowCode = 256;

// getopt_long's answer for an operand when the letters start with '-'.
constexpr int kOperandCode = 1;

// getopt_long keeps its place in globals.
std::mutex gParserTurn;

int CodeOf(std::span<const Option> table, std::size_t row) {
    return table[row].letter != 0 ? table[row].letter : kFirstRowCode + static_cast<int>(row);
}

const Option* RowOf(std::span<const Option> table, int code) {
    for (std::size_t row = 0; row < table.size(); ++row) {
        if (CodeOf(table, row) == code)
            return &table[row];
    }
    return nullptr;
}

// The leading '-' hands operands back in their place, whatever
// POSIXLY_CORRECT says; the ':' after it tells a missing value apart from an
// unknown option and keeps getopt_long from printing anything itself.
std::string Letters(std::span<const Option> table) {
    std::string letters = "-:";
    for (const Option& option : table) {
        if (option.letter == 0)
            continue;
        letters += option.letter;
        if (option.takes == Takes::kValue)
            letters += ':';
    }
    return letters;
}

// getopt_long's view of the table. It points into `names`, which must live
// as long as the result.
std::vector<option> LongOptions(std::span<const Option> table, std::vector<std::string>& names) {
    names.assign(table.size(), {});
    std::vector<option> longOptions;
    for (std::size_t row = 0; row < table.size(); ++row) {
        names[row] = table[row].name;
        const int hasArgument = table[row].takes == Takes::kValue ? required_argument : no_argument;
        longOptions.push_back({names[row].c_str(), hasArgument, nullptr, CodeOf(table, row)});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});
    return longOptions;
}

// The argument getopt_long refused with '?': a letter of no row (optopt), or
// the whole argument it has just stepped over.
Refusal UnknownOption(std::span<const Option> table, char* const* argv) {
    if (optopt != 0 && RowOf(table, optopt) == nullptr)
        return {Mistake::kUnknownOption, std::string("-") + static_cast<char>(optopt), {}};
    return {Mistake::kUnknownOption, argv[optind - 1], {}};
}

Refusal MissingValue(std::span<const Option> table, char* const* argv) {
    const Option* row = RowOf(table, optopt);
    const std::string option = row != nullptr ? "--" + std::string(row->name) : std::string();
    return {Mistake::kMissingValue, argv[optind - 1], option};
}

// The arguments as getopt_long takes them: a program name, the arguments,
// then a null pointer.
class ArgumentVector {
public:
    explicit ArgumentVector(const std::vector<std::string>& arguments)
        : words_{"program"} {
        words_.insert(words_.end(), arguments.begin(), arguments.end());
        for (std::string& word : words_)
            pointers_.push_back(word.data());
        pointers_.push_back(nullptr);
    }
    int Count() const { return static_cast<int>(words_.size()); }
    char* const* Data() const { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

} // namespace

bool ParsedLine::Has(int id) const {
    return std::any_of(uses.begin(), uses.end(), [id](const Use& use) { return use.id == id; });
}

ParsedLine Parse(std::span<const Option> table, const std::vector<std::string>& arguments) {
    const ArgumentVector argv(arguments);
    std::vector<std::string> names;
    const std::vector<option> longOptions = LongOptions(table, names);
    const std::string letters = Letters(table);

    const std::lock_guard turn(gParserTurn);
    optind = 0; // 0, not 1: glibc starts afresh, forgetting the last line
    opterr = 0;
    ParsedLine line;
    for (int code; (code = getopt_long(argv.Count(), argv.Data(), letters.c_str(),
                                       longOptions.data(), nullptr)) != -1;) {
        std::optional<Refusal> refusal;
        if (code == kOperandCode)
            line.operands.emplace_back(optarg);
        else if (code == '?')
            refusal = UnknownOption(table, argv.Data());
        else if (code == ':')
            refusal = MissingValue(table, argv.Data());
        else
            line.uses.push_back({RowOf(table, code)->id, optarg != nullptr ? optarg : ""});
        if (refusal && !line.refusal)
            line.refusal = std::move(refusal);
    }
    // What follows `--`.
    for (int index = optind; index < argv.Count(); ++index)
        line.operands.emplace_back(argv.Data()[index]);
    return line;
}

} // namespace options
