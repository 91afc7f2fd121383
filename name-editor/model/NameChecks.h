// The name table checked as font validators check it (the rules of the
// OpenType 'name' table chapter and fontbakery's name checks):
// each rule says in plain words what a name should be, with a short id that
// stays the same from release to release, for scripts and the command line.
// Only text an encoding can't hold stops a save; the rest are warnings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "NameTable.h"
#include "TableDirectory.h"

enum class Severity { Warning, Error };

struct NameRule {
    const char* id;    // "postscript-length", ...
    const char* text;  // the rule in plain words
    Severity severity;
};

// Every rule checked, in the order checkNames reports them.
std::span<const NameRule> nameRules();
// The rule with that id, or null.
const NameRule* findNameRule(std::string_view id);

struct NameWarning {
    const NameRule* rule = nullptr;
    // The record the warning is about (never null).
    const NameRecord* record = nullptr;
    // What was found, for this record: "64 characters", "holds ' '", ...
    std::string detail;
};

// What the checks need to know of the rest of the font.
struct CheckContext {
    // head.fontRevision; without it the version string's number isn't compared.
    std::optional<double> fontRevision;
};

// The context read from the font's tables: fontRevision from a 'head' long
// enough to hold it.
CheckContext checkContextOf(TableDirectory& directory);

// Every warning for the records a save would write, in table order of the
// records, rules in nameRules() order for each record.
std::vector<NameWarning> checkNames(const NameTable& table, const CheckContext& context = {});
