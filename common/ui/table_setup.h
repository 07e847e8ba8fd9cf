#pragma once
// One look and behaviour for the programs' lists shown as tables: whole rows
// selected, every row one line high (no row is measured, however many there are),
// no row numbers, alternating colours, nothing edited in place unless asked for.

class QTableView;

namespace ov::desktop {

struct TableSetup {
    bool multiSelect = true;  // Ctrl and Shift extend the selection
    bool editable = false;    // cells edited in place (double click, F2, typing)
    bool sortable = false;    // a header click sorts; no sort column at first
};

void setUpTable(QTableView* view, const TableSetup& setup = {});

}  // namespace ov::desktop
