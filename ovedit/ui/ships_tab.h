#pragma once
// The ship stats and weapons tab: the ships of the game folder with a filter, the
// shown ship's figures (StatsPanel) and its model's weapon points (WeaponsPanel),
// over one ShipsWorkspace that holds the state, the undo history of Apply and the
// status line. The tab only composes them; its undo stack is the one the Edit
// menu's Undo and Redo act on while the tab is in front.

#include <QWidget>

#include "common/ui/value_label.h"

class QLabel;
class QLineEdit;
class QSettings;
class QSortFilterProxyModel;
class QTableView;
class QUndoStack;

namespace ov::desktop {
class QtReporter;
}

namespace ov::edit {

class ShipsWorkspace;
class StatsPanel;
class WeaponsPanel;

class ShipsTab : public QWidget {
    Q_OBJECT

public:
    explicit ShipsTab(desktop::QtReporter& reporter, QWidget* parent = nullptr);
    ~ShipsTab() override;

    ShipsWorkspace& workspace() const { return *ws_; }
    QUndoStack* undoStack() const;
    QLabel* statusLabel() const { return lblShipStatus_; }

    // Loads the ships of the game folder; false when the user kept unapplied figures.
    bool setGameFolder(const QString& folder);
    // Asks about figures edited and not applied; false on Cancel.
    bool maybeLeave();
    // The OVTool program "Open in OVTool" starts (looked for unless set).
    void setToolProgram(const QString& program);

    void readSettings(const QSettings& settings);
    void writeSettings(QSettings& settings) const;

private:
    void createControls();
    void filterChanged(const QString& text);
    void showShipRow(int position);
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);

    ShipsWorkspace* ws_ = nullptr;
    QSortFilterProxyModel* shipsProxy_ = nullptr;
    bool followingWorkspace_ = false;

    QLineEdit* txtShipFilter_ = nullptr;
    desktop::ValueLabel* lblShipCount_ = nullptr;
    QTableView* lstShips_ = nullptr;
    StatsPanel* stats_ = nullptr;
    WeaponsPanel* weapons_ = nullptr;
    desktop::ValueLabel* lblShipStatus_ = nullptr;
};

}  // namespace ov::edit
