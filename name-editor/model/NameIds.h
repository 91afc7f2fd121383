// What each name ID is for: the standard names of the OpenType 'name' table,
// and for the font-specific IDs (256 and up) what the font's own tables use
// them for, where the font says ('fvar' axes and instances, 'STAT' axes and
// axis values).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "TableDirectory.h"

// Name ID -> its use in this font: "fvar axis 'wght'", "STAT axis value", ...
using NameIdUses = std::map<std::uint16_t, std::string>;

// The uses 'fvar' and 'STAT' give IDs; tables that are absent, or too short
// for what they claim, add nothing (and never fail).
NameIdUses nameIdUsesOf(TableDirectory& directory);

// The standard name of an ID, "" for IDs without one: "Typographic Family".
const char* standardNameOf(std::uint16_t nameID);

// The ID as a user reads it: "16 Typographic Family", "25 Variations
// PostScript Name Prefix", "26 reserved", "256 font-specific", "300
// font-specific: fvar axis 'wght'".
std::string nameIdLabel(std::uint16_t nameID, const NameIdUses& uses = {});
