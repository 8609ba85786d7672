#pragma once
// The rows of a restore run: one per backup item, in the order they run, with the restore list
// entries whose tick selects each and the item line it logs.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup_format/items.h"

namespace kestrine::restore {

using backup_format::Choice;
using backup_format::Choices;
using backup_format::Item;

struct RestoreRow {
    Item item;                         // the item whose flag must be "1", and whose handler runs
    std::vector<Choice> tickedBy;      // the row runs when any of these entries is ticked
    std::optional<Choice> loggedAs{};  // the row's item line, or none
};

// The configuration runs first, so that every later row, the data files above all, works on the
// imported profile key; the data files run last.
const std::array<RestoreRow, backup_format::kItemCount>& RestoreRows();

bool RowSelected(const RestoreRow& row, const Choices& ticked, std::string_view itemFlags);

// The name the user reads for a row: its item line's name, or what the row restores.
std::string RowName(Item item);

}  // namespace kestrine::restore
