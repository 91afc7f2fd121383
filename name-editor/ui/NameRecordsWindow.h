// The window of every name record: a sortable table of the records with
// their warnings, where any text can be edited and records, languages and
// whole families added, removed, renamed and replaced. It changes the same
// NameTable as the main dialog; Cancel gives back the table as it was when
// the window opened.
#pragma once

class QWidget;
class NameTable;
class TableDirectory;

// Runs the window modally over `names`; `directory`, when given, supplies
// the font's revision and its 'fvar'/'STAT' name uses. True when the user
// closed it with OK, keeping the edits.
bool RunNameRecordsWindow(QWidget* parent, NameTable& names, TableDirectory* directory);

#include <string>

// The main dialog's count of what the checks found: "3 name warnings", ""
// when there is nothing to tell.
std::string NameWarningsSummary(const NameTable& names, TableDirectory* directory);
