#pragma once
// The selected component's attachments: the list, the picked one's position and
// attached object or gun type, and Attach / Remove attachment.

#include <QWidget>

class QComboBox;
class QPushButton;

namespace ov::tool {

class ItemList;
class ModelWorkspace;
class Vec3Editor;

class AttachmentsPanel : public QWidget {
    Q_OBJECT

public:
    explicit AttachmentsPanel(ModelWorkspace& workspace, QWidget* parent = nullptr);

private:
    void refresh();
    void showSelected();

    ModelWorkspace& ws_;
    bool filling_ = false;
    ItemList* list_ = nullptr;
    Vec3Editor* position_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* kind_ = nullptr;
    QPushButton* attach_ = nullptr;
    QPushButton* detach_ = nullptr;
};

}  // namespace ov::tool
