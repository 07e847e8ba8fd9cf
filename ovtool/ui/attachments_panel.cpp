#include "ovtool/ui/attachments_panel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include "ovtool/ui/fields.h"
#include "ovtool/ui/item_list.h"
#include "ovtool/ui/vec3_editor.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

AttachmentsPanel::AttachmentsPanel(ModelWorkspace& workspace, QWidget* parent)
    : QWidget(parent), ws_(workspace) {
    setObjectName("frameAttachments");
    auto* layout = new QVBoxLayout(this);
    list_ = new ItemList("lstAttachments", tr("Attachments"));
    layout->addWidget(list_);
    setFocusProxy(list_);
    connect(list_, &ItemList::rowPicked, this, [this](int row) { ws_.selectAttachment(row); });

    auto* form = new QFormLayout;
    position_ = new Vec3Editor("txtAttachment", tr("Attachment"));
    form->addRow(tr("Posi&tion:"), position_);
    connect(position_, &Vec3Editor::axisEdited, this, [this](int axis, float v) {
        const Selection s = ws_.selection();
        if (!ws_.setPosition({PositionTarget::Kind::Attachment, s.component, s.attachment}, axis,
                             v))
            showSelected();
    });
    type_ = new QComboBox;
    type_->setObjectName("cboAttachmentType");
    type_->setAccessibleName(tr("Attached object or gun type"));
    form->addRow(tr("T&ype:"), type_);
    connect(type_, &QComboBox::activated, this, [this](int index) {
        if (filling_ || index < 0) return;
        const Selection s = ws_.selection();
        if (!ws_.setAttachmentType(s.component, s.attachment, type_->itemData(index).toUInt()))
            showSelected();
    });
    layout->addLayout(form);

    auto* row = new QHBoxLayout;
    kind_ = new QComboBox;
    kind_->setObjectName("cboAttachKind");
    kind_->setAccessibleName(tr("Kind to attach"));
    for (uint32_t kind = 0; kind < uint32_t(shp::kAttachmentKinds); ++kind)
        kind_->addItem(QString::fromLatin1(shp::attachMenuName(kind)), kind);
    attach_ = new QPushButton(tr("Attac&h"));
    attach_->setObjectName("cmdAttach");
    attach_->setAccessibleName(tr("Attach"));
    connect(attach_, &QPushButton::clicked, this,
            [this] { ws_.attach(ws_.selection().component, kind_->currentData().toUInt()); });
    detach_ = new QPushButton(tr("&Remove attachment"));
    detach_->setObjectName("cmdDetach");
    detach_->setAccessibleName(tr("Remove attachment"));
    connect(detach_, &QPushButton::clicked, this, [this] {
        const Selection s = ws_.selection();
        ws_.detach(s.component, s.attachment);
    });
    row->addWidget(kind_, 1);
    row->addWidget(attach_);
    row->addWidget(detach_);
    layout->addLayout(row);

    connect(&ws_, &ModelWorkspace::modelReset, this, &AttachmentsPanel::refresh);
    connect(&ws_, &ModelWorkspace::modelEdited, this, &AttachmentsPanel::refresh);
    connect(&ws_, &ModelWorkspace::selectionChanged, this, &AttachmentsPanel::refresh);
    refresh();
}

void AttachmentsPanel::refresh() {
    QStringList names;
    const int k = ws_.selection().component;
    if (k >= 0)
        if (auto list = ws_.document().attachmentNames(size_t(k)))
            for (const std::string& n : *list)
                names << fromBytes(n);
    list_->setNames(names);
    showSelected();
}

void AttachmentsPanel::showSelected() {
    const QScopedValueRollback guard(filling_, true);
    const Selection s = ws_.selection();
    list_->showRow(s.attachment);

    const auto fields = s.component >= 0 && s.attachment >= 0
                            ? ws_.document().attachmentFields(size_t(s.component),
                                                              size_t(s.attachment))
                            : std::nullopt;
    position_->setValue(fields ? std::optional<shp::Vec3>(fields->position) : std::nullopt);
    std::vector<std::pair<QString, uint32_t>> types;
    std::optional<uint32_t> value;
    if (fields && fields->kind == 1) {
        for (uint32_t i = 0; shp::attachedObjectName(i); ++i)
            types.emplace_back(QString::fromLatin1(shp::attachedObjectName(i)), i);
        value = fields->objectIndex;
    } else if (fields && fields->kind == 3) {
        for (uint32_t i = 0; shp::gunTypeName(i); ++i) {
            const QString name = QString::fromLatin1(shp::gunTypeName(i));
            types.emplace_back(name.isEmpty() ? tr("(none)") : name, i);
        }
        value = fields->gunType;
    }
    fillValues(type_, types, value, valueText);
    type_->setEnabled(value.has_value());

    const bool component = s.component >= 0;
    kind_->setEnabled(component);
    attach_->setEnabled(component);
    detach_->setEnabled(component && s.attachment >= 0);
}

}  // namespace ov::tool
