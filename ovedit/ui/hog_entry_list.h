#pragma once
// The hog tab's list of entries: a filter by name above a table of the FAT (or of
// the planned entries while changes are pending), with Select All and Select None.
// Files dragged in from outside are handed on; drags out carry what the tab makes
// of the selection.

#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <functional>

class QLineEdit;
class QMimeData;
class QPushButton;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::edit {

class HogFilterModel;
class HogListModel;

// The table: Tab and Shift+Tab leave it (the arrows move in it), and drags carry
// what the factory makes.
class HogListView : public QTableView {
    Q_OBJECT

public:
    using DragFactory = std::function<QMimeData*()>;
    explicit HogListView(QWidget* parent = nullptr);
    void setDragFactory(DragFactory factory) { dragFactory_ = std::move(factory); }
    // Whether files dragged in from outside the program may be dropped now.
    void setDropAllowed(std::function<bool()> allowed) { dropAllowed_ = std::move(allowed); }

signals:
    // Files from outside dropped on the list; `at` is the row under the drop, if any.
    void filesDropped(const QStringList& files, const QModelIndex& at);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool accepts(const QDropEvent* event) const;

    DragFactory dragFactory_;
    std::function<bool()> dropAllowed_;
};

class HogEntryList : public QWidget {
    Q_OBJECT

public:
    HogEntryList(HogListModel* model, HogFilterModel* proxy, QWidget* parent = nullptr);

    HogListView* view() const { return list_; }
    // "12 of 16": the rows the filter lets through, of all the rows; empty without
    // an archive.
    void updateCount(bool archiveOpen);
    void setCommands(bool archiveOpen, bool idle);

private:
    HogListModel* model_;
    HogFilterModel* proxy_;
    QLineEdit* txtHogFilter_ = nullptr;
    desktop::ValueLabel* lblHogFilterCount_ = nullptr;
    QPushButton* cmdSelectAll_ = nullptr;
    QPushButton* cmdSelectNone_ = nullptr;
    HogListView* list_ = nullptr;
    QTimer filterTimer_;
    bool archiveOpen_ = false;
};

}  // namespace ov::edit
