#include "ovtool/ui/components_panel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include "ovtool/ui/fields.h"
#include "ovtool/ui/item_list.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

ComponentsPanel::ComponentsPanel(ModelWorkspace& workspace, QWidget* parent)
    : QWidget(parent), ws_(workspace) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* classRow = new QFormLayout;
    shipClass_ = new QComboBox;
    shipClass_->setObjectName("cboShipClass");
    shipClass_->setAccessibleName(tr("Ship class"));
    classRow->addRow(tr("Ship c&lass:"), shipClass_);
    layout->addLayout(classRow);
    connect(shipClass_, &QComboBox::activated, this, [this](int index) {
        if (filling_ || index < 0) return;
        if (!ws_.setShipClass(uint8_t(shipClass_->itemData(index).toUInt()))) refresh();
    });

    auto* box = new QGroupBox(tr("Com&ponents"));
    box->setObjectName("frameComponents");
    auto* boxLayout = new QVBoxLayout(box);
    list_ = new ItemList("lstComponents", tr("Components"));
    boxLayout->addWidget(list_);
    connect(list_, &ItemList::rowPicked, this, [this](int row) { ws_.selectComponent(row); });
    delete_ = new QPushButton(tr("&Delete component"));
    delete_->setObjectName("cmdDeleteComponent");
    delete_->setAccessibleName(tr("Delete component"));
    connect(delete_, &QPushButton::clicked, this, &ComponentsPanel::deleteSelected);
    boxLayout->addWidget(delete_);
    layout->addWidget(box, 1);

    connect(&ws_, &ModelWorkspace::modelReset, this, &ComponentsPanel::refresh);
    connect(&ws_, &ModelWorkspace::modelEdited, this, &ComponentsPanel::refresh);
    connect(&ws_, &ModelWorkspace::selectionChanged, this, &ComponentsPanel::showSelection);
    refresh();
}

void ComponentsPanel::refresh() {
    const QScopedValueRollback guard(filling_, true);
    const model::Document& doc = ws_.document();
    const auto value = doc.loaded() ? shp::shipClass(doc.chain()) : std::nullopt;
    std::vector<std::pair<QString, uint32_t>> items;
    for (uint32_t v = 0; v < 3; ++v)
        items.emplace_back(fromBytes(shp::shipClassName(v)), v);
    fillValues(shipClass_, items, value ? std::optional<uint32_t>(*value) : std::nullopt,
               valueText);
    shipClass_->setEnabled(value.has_value());

    QStringList names;
    for (const std::string& n : doc.componentNames())
        names << fromBytes(n);
    list_->setNames(names);
    showSelection();
}

void ComponentsPanel::showSelection() {
    const int k = ws_.selection().component;
    list_->showRow(k);
    delete_->setEnabled(k >= 0);
}

void ComponentsPanel::deleteSelected() {
    ws_.deleteComponent(ws_.selection().component);
}

}  // namespace ov::tool
