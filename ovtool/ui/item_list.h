#pragma once
// A list of names the user picks one of (components, attachments, boxes). Showing
// new names or the workspace's own pick never counts as the user's pick, so a
// panel refreshing itself cannot select anything.

#include <QListView>
#include <QStringList>

class QStringListModel;

namespace ov::tool {

class ItemList : public QListView {
    Q_OBJECT

public:
    ItemList(const char* objectName, const QString& accessibleName, QWidget* parent = nullptr);

    // Names that are already shown leave the view (and its scroll position) alone.
    void setNames(const QStringList& names);
    // Shows `row` as the current one; a row outside the list clears the selection.
    void showRow(int row);

signals:
    // The row the user picked, or -1 when none is.
    void rowPicked(int row);

private:
    QStringListModel* names_ = nullptr;
    bool filling_ = false;
};

}  // namespace ov::tool
