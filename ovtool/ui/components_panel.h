#pragma once
// The model's ship class and its component list, with Delete component. Picking
// a row selects the component in the workspace.

#include <QWidget>

class QComboBox;
class QPushButton;

namespace ov::tool {

class ItemList;
class ModelWorkspace;

class ComponentsPanel : public QWidget {
    Q_OBJECT

public:
    explicit ComponentsPanel(ModelWorkspace& workspace, QWidget* parent = nullptr);

private:
    void refresh();
    void showSelection();
    void deleteSelected();

    ModelWorkspace& ws_;
    bool filling_ = false;
    QComboBox* shipClass_ = nullptr;
    ItemList* list_ = nullptr;
    QPushButton* delete_ = nullptr;
};

}  // namespace ov::tool
