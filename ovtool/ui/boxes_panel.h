#pragma once
// The selected component's collision boxes: the list, the picked box's centre and
// half extents, and Add box / Remove box.

#include <QWidget>

class QPushButton;

namespace ov::tool {

class ItemList;
class ModelWorkspace;
class Vec3Editor;

class BoxesPanel : public QWidget {
    Q_OBJECT

public:
    explicit BoxesPanel(ModelWorkspace& workspace, QWidget* parent = nullptr);

private:
    void refresh();
    void showSelected();

    ModelWorkspace& ws_;
    ItemList* list_ = nullptr;
    Vec3Editor* centre_ = nullptr;
    Vec3Editor* half_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
};

}  // namespace ov::tool
