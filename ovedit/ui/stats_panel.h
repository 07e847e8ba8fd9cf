#pragma once
// The ship's 15 figures in the game's display order, with Apply, Revert, Defaults,
// Import and the undo and redo of Apply. A view of the ships workspace: it shows
// the workspace's figures and hands every edit to it.
//
// A box shows three decimals; a box still showing the value it was filled with
// stands for the exact figure, so a figure the user does not touch is written back
// with its exact 4 bytes.

#include <QGroupBox>
#include <array>

#include "ovedit/ships/stats.h"

class QDoubleSpinBox;
class QPushButton;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::edit {

class ShipsWorkspace;

class StatsPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit StatsPanel(ShipsWorkspace& workspace, QWidget* parent = nullptr);

private:
    void fillBoxes();
    void boxEdited(size_t displayPosition);
    void refresh();
    void browseImport();

    ShipsWorkspace& ws_;
    bool filling_ = false;
    std::array<double, ships::kStatsFieldCount> shownValues_{};
    std::array<float, ships::kStatsFieldCount> shownFigures_{};

    desktop::ValueLabel* lblShipName_ = nullptr;
    std::array<QDoubleSpinBox*, ships::kStatsFieldCount> boxes_{};
    QPushButton* cmdApplyStats_ = nullptr;
    QPushButton* cmdRevertStats_ = nullptr;
    QPushButton* cmdDefaultStats_ = nullptr;
    QPushButton* cmdImportStats_ = nullptr;
    QPushButton* cmdUndoStats_ = nullptr;
    QPushButton* cmdRedoStats_ = nullptr;
};

}  // namespace ov::edit
