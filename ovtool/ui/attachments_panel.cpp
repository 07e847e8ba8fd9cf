#include "ovtool/ui/attachments_panel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStringListModel>
#include <QVBoxLayout>

#include "ovtool/ui/fields.h"
#include "ovtool/ui/vec3_editor.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

AttachmentsPanel::AttachmentsPanel(ModelWorkspace& workspace, QWidget* parent)
    : QWidget(parent), ws_(workspace) {
    setObjectName("frameAttachments");
    auto* layout = new QVBoxLayout(this);
    names_ = new QStringListModel(this);
    list_ = new QListView;
    list_->setObjectName("lstAttachments");
    list_->setAccessibleName(tr("Attachments"));
    list_->setModel(names_);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list_);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (!filling_) ws_.selectAttachment(now.isValid() ? now.row() : -1);
            });

    auto* form = new QFormLayout;
    position_ = new Vec3Editor("txtAttachment", tr("Attachment"));
    form->addRow(tr("Position:"), position_);
    connect(position_, &Vec3Editor::axisEdited, this, [this](int axis, float v) {
        const Selection s = ws_.selection();
        if (!ws_.setPosition({PositionTarget::Kind::Attachment, s.component, s.attachment}, axis,
                             v))
            showSelected();
    });
    type_ = new QComboBox;
    type_->setObjectName("cboAttachmentType");
    type_->setAccessibleName(tr("Attached object or gun type"));
    form->addRow(tr("Type:"), type_);
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
    attach_ = new QPushButton(tr("Attach"));
    attach_->setObjectName("cmdAttach");
    attach_->setAccessibleName(attach_->text());
    connect(attach_, &QPushButton::clicked, this,
            [this] { ws_.attach(ws_.selection().component, kind_->currentData().toUInt()); });
    detach_ = new QPushButton(tr("Remove attachment"));
    detach_->setObjectName("cmdDetach");
    detach_->setAccessibleName(detach_->text());
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
    {
        const QScopedValueRollback guard(filling_, true);
        QStringList names;
        const int k = ws_.selection().component;
        if (k >= 0)
            if (auto list = ws_.document().attachmentNames(size_t(k)))
                for (const std::string& n : *list)
                    names << fromBytes(n);
        if (names != names_->stringList()) names_->setStringList(names);
    }
    showSelected();
}

void AttachmentsPanel::showSelected() {
    const QScopedValueRollback guard(filling_, true);
    const Selection s = ws_.selection();
    if (s.attachment >= 0 && s.attachment < names_->rowCount())
        list_->setCurrentIndex(names_->index(s.attachment));
    else
        list_->selectionModel()->clear();

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
