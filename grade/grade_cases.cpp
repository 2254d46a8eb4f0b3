#include "grade_cases.h"

#include "run_spec.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdint>
#include <map>

namespace wren::grade {

namespace {

constexpr const char* kVisibilities[] = {"visible", "hidden", "after_due_date", "after_published"};

// Thrown while reading, caught once in ReadCaseFile.
struct Bad {
    int line;
    std::string message;
};

int LineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }
int LineOf(const toml::key& key) { return static_cast<int>(key.source().begin.line); }

void OnlyKeys(const toml::table& table, std::initializer_list<std::string_view> known,
              const std::string& where) {
    for (auto&& [key, value] : table) {
        bool ok = false;
        for (auto k : known)
            ok = ok || key.str() == k;
        if (!ok)
            throw Bad{LineOf(key), "unknown key '" + std::string(key.str()) + "' in " + where};
    }
}

std::int32_t Address(const toml::key& key, const std::string& what) {
    const auto address = cli::ParseAddress(key.str());
    if (!address)
        throw Bad{LineOf(key),
                  what + ": '" + std::string(key.str()) + "' is not an address from 0 to 65535"};
    return *address;
}

// What a value was given as, for a message that says so.
std::string Given(const toml::node& node) {
    if (const auto* s = node.as_string())
        return "\"" + s->get() + "\"";
    if (const auto* i = node.as_integer())
        return std::to_string(i->get());
    switch (node.type()) {
    case toml::node_type::floating_point: return "a fractional number";
    case toml::node_type::boolean: return node.as_boolean()->get() ? "true" : "false";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
    }
}

// An integer, or a string read by the program-file operand rules ("&H10").
std::int32_t Word(const toml::node& node, const std::string& what) {
    if (const auto* i = node.as_integer()) {
        if (i->get() < INT32_MIN || i->get() > INT32_MAX)
            throw Bad{LineOf(node), what + " does not fit 32 bits"};
        return static_cast<std::int32_t>(i->get());
    }
    if (const auto* s = node.as_string())
        if (const auto value = cli::ParseWordValue(s->get()))
            return *value;
    throw Bad{LineOf(node),
              what + " is " + Given(node) + ": give a whole number or a string such as \"&H10\""};
}

// An expectation: a word as above, or "same" (noted in same under name).
std::int32_t Expected(const toml::node& node, const std::string& what, const std::string& name,
                      std::vector<std::string>& same) {
    if (const auto* s = node.as_string(); s != nullptr && s->get() == "same") {
        same.push_back(name);
        return 0;
    }
    if (const auto* s = node.as_string(); s != nullptr && !cli::ParseWordValue(s->get()))
        throw Bad{LineOf(node),
                  what + " is " + Given(node) +
                      ": give a whole number, a string such as \"&H10\", or \"same\" for what "
                      "the reference program leaves"};
    return Word(node, what);
}

long long Runs(const toml::node& node) {
    const auto* i = node.as_integer();
    if (i == nullptr || i->get() <= 0)
        throw Bad{LineOf(node), "runs is " + Given(node) + ": give a whole number of 1 or more"};
    return i->get();
}

long long Steps(const toml::node& node) {
    const auto* i = node.as_integer();
    if (i == nullptr || i->get() < 0)
        throw Bad{LineOf(node), "steps must be a whole number of 0 or more"};
    return i->get();
}

const toml::table& Table(const toml::node& node, const std::string& what) {
    const auto* table = node.as_table();
    if (table == nullptr)
        throw Bad{LineOf(node), what + " must be a table, such as { 100 = 7 }"};
    return *table;
}

Expectations ReadExpect(const toml::table& table) {
    OnlyKeys(table, {"a", "v", "pc", "mem", "cycles_at_most"}, "[case.expect]");
    Expectations expect;
    if (const auto* a = table.get("a"))
        expect.a = Expected(*a, "expect.a", "a", expect.same);
    if (const auto* pc = table.get("pc"))
        expect.pc = Expected(*pc, "expect.pc", "pc", expect.same);
    if (const auto* v = table.get("v")) {
        if (const auto* s = v->as_string(); s != nullptr && s->get() == "same") {
            expect.same.push_back("v");
            expect.v = false;
        } else if (!v->is_boolean()) {
            throw Bad{LineOf(*v), "expect.v is " + Given(*v) + ": give true, false or \"same\""};
        } else {
            expect.v = v->as_boolean()->get();
        }
    }
    if (const auto* mem = table.get("mem"))
        for (auto&& [key, value] : Table(*mem, "expect.mem")) {
            const std::int32_t address = Address(key, "expect.mem");
            expect.mem[address] = Expected(value, "expect.mem." + std::string(key.str()),
                                           "mem." + std::to_string(address), expect.same);
        }
    if (const auto* c = table.get("cycles_at_most")) {
        const auto* i = c->as_integer();
        if (const auto* s = c->as_string(); s != nullptr && s->get() == "same") {
            expect.same.push_back("cycles_at_most");
            expect.cyclesAtMost = 0;
        } else if (i == nullptr || i->get() < 0 || i->get() > INT32_MAX) {
            throw Bad{LineOf(*c), "cycles_at_most is " + Given(*c) +
                                      ": give a whole number from 0 to 2147483647 or \"same\""};
        } else {
            expect.cyclesAtMost = static_cast<std::int32_t>(i->get());
        }
    }
    return expect;
}

// A range [LO, HI] of random or every; its word must not be an input already.
RandomWord Range(const toml::key& key, const toml::node& value, const std::string& table,
                 std::map<std::int32_t, std::string>& inputs) {
    const auto* range = value.as_array();
    const std::string what = table + "." + std::string(key.str());
    if (range == nullptr || range->size() != 2)
        throw Bad{LineOf(value), what + " must be a range [LO, HI]"};
    RandomWord word{Address(key, table), Word(*range->get(0), what), Word(*range->get(1), what)};
    if (word.lo > word.hi)
        throw Bad{LineOf(value), what + ": the range is reversed: LO " + std::to_string(word.lo) +
                                     " is greater than HI " + std::to_string(word.hi)};
    if (const auto [at, fresh] = inputs.emplace(word.address, table); !fresh)
        throw Bad{LineOf(key), what + ": the word is also in " + at->second +
                                   "; give each input word in one of set, random and every"};
    return word;
}

// How many combinations every's ranges hold; a count past 2^63 - 1 is refused.
void CheckCount(const std::vector<RandomWord>& every, int line) {
    std::uint64_t count = 1;
    for (const RandomWord& w : every) {
        const std::uint64_t span =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(w.hi) - w.lo) + 1;
        if (count > static_cast<std::uint64_t>(INT64_MAX) / span)
            throw Bad{line, "every: the ranges hold more combinations than can be counted "
                            "(more than 9223372036854775807): narrow them, or draw the words "
                            "with random"};
        count *= span;
    }
}

Case ReadCase(const toml::table& table, int number, std::optional<long long> steps,
              std::optional<long long> runs) {
    OnlyKeys(table,
             {"name", "points", "visibility", "set", "random", "every", "runs", "stop", "steps",
              "expect"},
             "[[case]]");
    Case c;
    c.line = LineOf(table);
    c.name = "case " + std::to_string(number);
    if (const auto* name = table.get("name")) {
        if (!name->is_string() || name->as_string()->get().empty())
            throw Bad{LineOf(*name), "name must be a text"};
        c.name = name->as_string()->get();
    }
    if (const auto* points = table.get("points")) {
        const auto value = points->value<double>();
        if (!value || *value < 0)
            throw Bad{LineOf(*points), "points must be a number of 0 or more"};
        c.points = *value;
    }
    if (const auto* vis = table.get("visibility")) {
        const auto value = vis->value<std::string>();
        bool ok = false;
        for (const char* known : kVisibilities)
            ok = ok || value == known;
        if (!ok)
            throw Bad{LineOf(*vis),
                      "visibility must be visible, hidden, after_due_date or after_published"};
        c.visibility = *value;
    }
    std::map<std::int32_t, std::string> inputs;
    if (const auto* set = table.get("set"))
        for (auto&& [key, value] : Table(*set, "set")) {
            c.sets.emplace_back(Address(key, "set"), Word(value, "set." + std::string(key.str())));
            inputs.emplace(c.sets.back().first, "set");
        }
    if (const auto* random = table.get("random"))
        for (auto&& [key, value] : Table(*random, "random"))
            c.random.push_back(Range(key, value, "random", inputs));
    if (const auto* every = table.get("every")) {
        for (auto&& [key, value] : Table(*every, "every"))
            c.every.push_back(Range(key, value, "every", inputs));
        std::sort(c.every.begin(), c.every.end(),
                  [](const RandomWord& x, const RandomWord& y) { return x.address < y.address; });
        CheckCount(c.every, LineOf(*every));
    }
    if (const auto* r = table.get("runs"))
        runs = Runs(*r);
    c.runs = runs.value_or(kDefaultRuns);
    if (const auto* stop = table.get("stop")) {
        if (const auto text = stop->value<std::string>(); text && *text == "end") {
        } else if (const auto* i = stop->as_integer();
                   i != nullptr && i->get() >= 0 && i->get() <= 65535) {
            c.stopAt = static_cast<std::int32_t>(i->get());
        } else {
            throw Bad{LineOf(*stop), "stop must be \"end\" or an address from 0 to 65535"};
        }
    }
    if (const auto* s = table.get("steps"))
        steps = Steps(*s);
    c.steps = steps.value_or(kDefaultSteps);
    if (const auto* expect = table.get("expect"))
        c.expect = ReadExpect(Table(*expect, "expect"));
    return c;
}

} // namespace

CaseFile ReadCaseFile(const std::filesystem::path& path, std::optional<CaseFileError>& error) {
    CaseFile file;
    error.reset();
    try {
        const toml::table root = toml::parse_file(path.string());
        OnlyKeys(root, {"steps", "runs", "reference", "case"}, "the top level");
        if (const auto* reference = root.get("reference")) {
            const auto* name = reference->as_string();
            if (name == nullptr || name->get().empty())
                throw Bad{LineOf(*reference),
                          "reference must name a program file, such as \"model.ram\""};
            file.reference = path.parent_path() / name->get();
            file.referenceLine = LineOf(*reference);
        }
        std::optional<long long> steps;
        if (const auto* s = root.get("steps"))
            steps = Steps(*s);
        std::optional<long long> runs;
        if (const auto* r = root.get("runs"))
            runs = Runs(*r);
        const auto* cases = root.get("case");
        if (cases == nullptr || !cases->is_array_of_tables() || cases->as_array()->empty())
            throw Bad{cases != nullptr ? LineOf(*cases) : 0, "no [[case]] tables"};
        int number = 0;
        for (const auto& node : *cases->as_array()) {
            file.cases.push_back(ReadCase(*node.as_table(), ++number, steps, runs));
            if (!file.cases.back().expect.same.empty() && file.reference.empty())
                throw Bad{file.cases.back().line,
                          "case '" + file.cases.back().name +
                              "' expects \"same\", but the file names no reference "
                              "program: add reference = \"model.ram\" at the top"};
        }
    } catch (const toml::parse_error& e) {
        error =
            CaseFileError{static_cast<int>(e.source().begin.line), std::string(e.description())};
    } catch (const Bad& e) {
        error = CaseFileError{e.line, e.message};
    }
    return file;
}

} // namespace wren::grade
