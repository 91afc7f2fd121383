// The small dialogs of the records window: each collects what one operation
// of the name model needs, and the preview shows the operation's plan before
// and after, so that nothing changes until the user confirms.
#pragma once

#include <QString>
#include <optional>

#include "NameOperations.h"

class QWidget;

// The display names of a triple's parts, as the Encode list names them.
struct TripleNames {
    QString platform, encoding, language;
};
TripleNames namesOf(NameTriple triple);
// "Microsft, Unicode, English (United States, 1033)".
QString tripleText(NameTriple triple);

// Shows every change of `plan` with its text before and after, and which
// changes the record's encoding can't hold. True when the user confirmed a
// plan that changes something; an empty plan is told as such and false.
bool confirmPlan(QWidget* parent, const QString& title, const NamePlan& plan);

// Each asks for its operation's input and returns the plan, or nothing when
// the user cancelled.
std::optional<NamePlan> askRenameFamily(QWidget* parent, NameTable& table);
std::optional<NamePlan> askFindReplace(QWidget* parent, NameTable& table);
// `suggested` fills the fields: the triple and name ID of the selected record.
std::optional<NamePlan> askAddRecord(QWidget* parent, NameTable& table, NameTriple suggested,
                                     std::uint16_t suggestedNameID);
// One name ID set to one text in every platform, encoding and language.
std::optional<NamePlan> askSetName(QWidget* parent, NameTable& table,
                                   std::uint16_t suggestedNameID);
std::optional<NamePlan> askAddLanguage(QWidget* parent, NameTable& table, NameTriple suggested);
