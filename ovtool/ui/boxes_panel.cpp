#include "ovtool/ui/boxes_panel.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ovtool/ui/fields.h"
#include "ovtool/ui/item_list.h"
#include "ovtool/ui/vec3_editor.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

BoxesPanel::BoxesPanel(ModelWorkspace& workspace, QWidget* parent)
    : QWidget(parent), ws_(workspace) {
    setObjectName("frameBoxes");
    auto* layout = new QVBoxLayout(this);
    list_ = new ItemList("lstBoxes", tr("Collision boxes"));
    layout->addWidget(list_);
    setFocusProxy(list_);
    connect(list_, &ItemList::rowPicked, this, [this](int row) { ws_.selectBox(row); });

    auto* form = new QFormLayout;
    centre_ = new Vec3Editor("txtBoxCentre", tr("Centre"));
    half_ = new Vec3Editor("txtBoxHalf", tr("Half extents"));
    form->addRow(tr("Cen&tre:"), centre_);
    form->addRow(tr("&Half extents:"), half_);
    for (auto [editor, kind] : {std::pair{centre_, PositionTarget::Kind::BoxCentre},
                                std::pair{half_, PositionTarget::Kind::BoxHalfExtents}}) {
        connect(editor, &Vec3Editor::axisEdited, this, [this, kind](int axis, float v) {
            const Selection s = ws_.selection();
            if (!ws_.setPosition({kind, s.component, s.box}, axis, v)) showSelected();
        });
    }
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(tr("Add bo&x"));
    add_->setObjectName("cmdAddBox");
    add_->setAccessibleName(tr("Add box"));
    connect(add_, &QPushButton::clicked, this, [this] { ws_.addBox(ws_.selection().component); });
    remove_ = new QPushButton(tr("&Remove box"));
    remove_->setObjectName("cmdRemoveBox");
    remove_->setAccessibleName(tr("Remove box"));
    connect(remove_, &QPushButton::clicked, this, [this] {
        const Selection s = ws_.selection();
        ws_.removeBox(s.component, s.box);
    });
    buttons->addStretch(1);
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    layout->addLayout(buttons);

    connect(&ws_, &ModelWorkspace::modelReset, this, &BoxesPanel::refresh);
    connect(&ws_, &ModelWorkspace::modelEdited, this, &BoxesPanel::refresh);
    connect(&ws_, &ModelWorkspace::selectionChanged, this, &BoxesPanel::refresh);
    refresh();
}

void BoxesPanel::refresh() {
    QStringList names;
    const int k = ws_.selection().component;
    for (size_t i = 0; k >= 0; ++i) {
        const auto b = ws_.document().boxFields(size_t(k), i);
        if (!b) break;
        names << tr("Box %1 at (%2, %3, %4), half (%5, %6, %7)")
                     .arg(i + 1)
                     .arg(floatText(b->centre.x), floatText(b->centre.y), floatText(b->centre.z),
                          floatText(b->halfExtents.x), floatText(b->halfExtents.y),
                          floatText(b->halfExtents.z));
    }
    list_->setNames(names);
    showSelected();
}

void BoxesPanel::showSelected() {
    const Selection s = ws_.selection();
    list_->showRow(s.box);
    const auto fields = s.component >= 0 && s.box >= 0
                            ? ws_.document().boxFields(size_t(s.component), size_t(s.box))
                            : std::nullopt;
    centre_->setValue(fields ? std::optional<shp::Vec3>(fields->centre) : std::nullopt);
    half_->setValue(fields ? std::optional<shp::Vec3>(fields->halfExtents) : std::nullopt);
    add_->setEnabled(s.component >= 0);
    remove_->setEnabled(s.component >= 0 && s.box >= 0);
}

}  // namespace ov::tool
