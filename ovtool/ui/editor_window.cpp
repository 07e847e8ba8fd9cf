#include "ovtool/ui/editor_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QTabWidget>
#include <QToolBar>
#include <QUndoCommand>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>
#include <bit>
#include <cmath>
#include <optional>

#include "common/ui/model_view.h"
#include "common/ui/paths.h"

namespace ov::tool {

namespace {

constexpr const char* kProgramName = "OVTool";
constexpr const char* kRecentKey = "recentModels";
constexpr const char* kGeometryKey = "geometry";
constexpr const char* kSplitterKey = "splitter";
constexpr int kUndoLimit = 100;

// The zoom slider moves in hundredths of a doubling, so that every step looks alike.
int sliderPosition(double zoom) {
    return int(std::lround(100.0 * std::log2(zoom)));
}
double sliderZoom(int position) {
    return std::exp2(position / 100.0);
}

using desktop::fromPath;
using desktop::toPath;

// Names are bytes in the file; Latin-1 shows each byte as one character and
// turns it back into the same byte.
QString fromBytes(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// The shortest text that reads back as the same float, so that a field left as
// shown changes nothing.
QString floatText(float v) {
    const QLocale c = QLocale::c();
    for (int precision = 6; precision <= 9; ++precision) {
        const QString s = c.toString(v, 'g', precision);
        bool ok = false;
        const float back = c.toFloat(s, &ok);
        if (ok && std::bit_cast<uint32_t>(back) == std::bit_cast<uint32_t>(v)) return s;
    }
    return c.toString(v, 'g', 9);
}

std::optional<float> parseFloat(const QString& text) {
    bool ok = false;
    const float v = QLocale::c().toFloat(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<uint32_t> parseU32(const QString& text) {
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull) return std::nullopt;
    return uint32_t(v);
}

// A step of the undo stack. The edit has been made when the step is pushed, so its
// first redo does nothing.
class EditCommand final : public QUndoCommand {
public:
    EditCommand(const QString& text, std::function<void()> undo, std::function<void()> redo)
        : QUndoCommand(text), undo_(std::move(undo)), redo_(std::move(redo)) {}
    void undo() override { undo_(); }
    void redo() override {
        if (made_) {
            made_ = false;
            return;
        }
        redo_();
    }

private:
    std::function<void()> undo_, redo_;
    bool made_ = true;
};

// Fills a combo box with (name, value) items and picks `value`, adding it as
// "[Value = %d]" when it is none of them.
void fillValues(QComboBox* box, const std::vector<std::pair<QString, uint32_t>>& items,
                std::optional<uint32_t> value, const std::function<std::string(uint32_t)>& other) {
    const QSignalBlocker block(box);
    box->clear();
    for (const auto& [name, v] : items)
        box->addItem(name, QVariant::fromValue(v));
    if (!value) {
        box->setCurrentIndex(-1);
        return;
    }
    int at = box->findData(QVariant::fromValue(*value));
    if (at < 0) {
        box->addItem(fromBytes(other(*value)), QVariant::fromValue(*value));
        at = box->count() - 1;
    }
    box->setCurrentIndex(at);
}

std::string valueText(uint32_t v) {
    return "[Value = " + std::to_string(v) + "]";
}

QLineEdit* numberField(const char* name, const QString& accessible, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    return e;
}

}  // namespace

QString EditorWindow::fileFilter() {
    return QStringLiteral("Orvane SHP (*.shp);;All Files (*.*)");
}

EditorWindow::EditorWindow(QWidget* parent)
    : QMainWindow(parent), reporter_(this), doc_(reporter_) {
    setObjectName("OVToolWindow");
    setAcceptDrops(true);
    undo_ = new QUndoStack(this);
    undo_->setUndoLimit(kUndoLimit);
    // A document back at its saved state is unmodified again.
    connect(undo_, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (doc_.loaded()) doc_.setModified(!clean);
    });
    doc_.addListener([this](model::Change change) { documentChanged(change); });

    createActions();
    createWidgets();
    createMenus();
    readSettings();
    showModel(true);
}

EditorWindow::~EditorWindow() {
    // Children go after the members they call into: the undo stack says it is clean
    // as it goes, a focused field that loses its focus says its editing finished.
    disconnect(undo_, nullptr, this, nullptr);
    delete takeCentralWidget();
}

// ---- building the window ----------------------------------------------------------

void EditorWindow::createActions() {
    auto make = [this](const char* name, const QString& text, QKeySequence key) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        return a;
    };
    actOpen_ = make("actOpen", tr("Open SHP File"), QKeySequence::Open);
    actMerge_ = make("actMerge", tr("Merge SHP"), QKeySequence(tr("Ctrl+M")));
    actSave_ = make("actSave", tr("Save"), QKeySequence::Save);
    actSaveAs_ = make("actSaveAs", tr("Save As"), QKeySequence::SaveAs);
    actQuit_ = make("actQuit", tr("Quit"), QKeySequence::Quit);
    connect(actOpen_, &QAction::triggered, this, &EditorWindow::open);
    connect(actMerge_, &QAction::triggered, this, &EditorWindow::merge);
    connect(actSave_, &QAction::triggered, this, &EditorWindow::save);
    connect(actSaveAs_, &QAction::triggered, this, &EditorWindow::saveAs);
    connect(actQuit_, &QAction::triggered, this, &QWidget::close);

    actUndo_ = undo_->createUndoAction(this, tr("Undo"));
    actUndo_->setObjectName("actUndo");
    actUndo_->setShortcut(QKeySequence::Undo);
    actRedo_ = undo_->createRedoAction(this, tr("Redo"));
    actRedo_->setObjectName("actRedo");
    actRedo_->setShortcut(QKeySequence::Redo);
}

void EditorWindow::createWidgets() {
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);

    // The file buttons.
    auto* files = new QHBoxLayout;
    auto button = [](const char* name, QAction* action) {
        auto* b = new QPushButton(action->text());
        b->setObjectName(name);
        b->setAccessibleName(action->text());
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        return b;
    };
    cmdOpen_ = button("cmdOpen", actOpen_);
    cmdMerge_ = button("cmdMerge", actMerge_);
    cmdSave_ = button("cmdSave", actSave_);
    cmdSaveAs_ = button("cmdSaveAs", actSaveAs_);
    for (QPushButton* b : {cmdOpen_, cmdMerge_, cmdSave_, cmdSaveAs_})
        files->addWidget(b);
    leftLayout->addLayout(files);

    // The ship class.
    auto* classRow = new QFormLayout;
    shipClass_ = new QComboBox;
    shipClass_->setObjectName("cboShipClass");
    shipClass_->setAccessibleName(tr("Ship class"));
    classRow->addRow(tr("Ship class:"), shipClass_);
    leftLayout->addLayout(classRow);
    connect(shipClass_, &QComboBox::activated, this, [this](int index) {
        if (updating_ || index < 0) return;
        const auto value = uint8_t(shipClass_->itemData(index).toUInt());
        const Selection s = selection();
        auto done = doc_.setShipClass(value);
        if (done && *done)
            commit(tr("Set ship class to %1").arg(fromBytes(shp::shipClassName(value))), s, s);
        else
            updateShipClass();
    });

    // The components.
    auto* componentsBox = new QGroupBox(tr("Components"));
    componentsBox->setObjectName("frameComponents");
    auto* componentsLayout = new QVBoxLayout(componentsBox);
    componentNames_ = new QStringListModel(this);
    components_ = new QListView;
    components_->setObjectName("lstComponents");
    components_->setAccessibleName(tr("Components"));
    components_->setModel(componentNames_);
    components_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    components_->setSelectionMode(QAbstractItemView::SingleSelection);
    componentsLayout->addWidget(components_);
    connect(components_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (!updating_) selectComponent(now.isValid() ? now.row() : -1);
            });
    cmdDeleteComponent_ = new QPushButton(tr("Delete component"));
    cmdDeleteComponent_->setObjectName("cmdDeleteComponent");
    cmdDeleteComponent_->setAccessibleName(cmdDeleteComponent_->text());
    connect(cmdDeleteComponent_, &QPushButton::clicked, this, &EditorWindow::deleteComponent);
    componentsLayout->addWidget(cmdDeleteComponent_);
    leftLayout->addWidget(componentsBox, 1);

    // The selected component's details.
    auto* details = new QGroupBox(tr("Component"));
    details->setObjectName("frameDetails");
    auto* form = new QFormLayout(details);
    name_ = new QLineEdit;
    name_->setObjectName("txtName");
    name_->setAccessibleName(tr("Name"));
    name_->setMaxLength(int(model::kMaxComponentName));
    name_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x20-\\x7E\\xA0-\\xFF]*")), name_));
    form->addRow(tr("Name:"), name_);
    connect(name_, &QLineEdit::editingFinished, this, [this] {
        if (updating_) return;
        const std::string name = name_->text().toLatin1().toStdString();
        editComponent(tr("Rename component"), [&](model::ComponentFields& f) { f.name = name; });
    });

    kind_ = new QComboBox;
    kind_->setObjectName("cboKind");
    kind_->setAccessibleName(tr("Kind"));
    form->addRow(tr("Kind:"), kind_);
    connect(kind_, &QComboBox::activated, this, [this](int index) {
        if (updating_ || index < 0) return;
        const uint32_t kind = kind_->itemData(index).toUInt();
        editComponent(tr("Change component kind"),
                      [&](model::ComponentFields& f) { f.kind = kind; });
    });

    auto* positionRow = new QHBoxLayout;
    const char* axisNames[3] = {"txtPositionX", "txtPositionY", "txtPositionZ"};
    const QString axisLabels[3] = {tr("Position x"), tr("Position y"), tr("Position z")};
    for (int i = 0; i < 3; ++i) {
        position_[i] = numberField(axisNames[i], axisLabels[i], details);
        positionRow->addWidget(position_[i]);
        connect(position_[i], &QLineEdit::editingFinished, this, [this, i] {
            if (updating_) return;
            const auto v = parseFloat(position_[i]->text());
            if (!v) return updateDetails();
            editComponent(tr("Move component"), [&](model::ComponentFields& f) {
                (i == 0 ? f.position.x : i == 1 ? f.position.y : f.position.z) = *v;
            });
        });
    }
    form->addRow(tr("Position:"), positionRow);

    auto numberRow = [&](QLineEdit*& field, const char* name, const QString& label,
                         uint32_t model::ComponentFields::*member) {
        field = numberField(name, label, details);
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("\\d{0,10}")), field));
        form->addRow(label + ':', field);
        connect(field, &QLineEdit::editingFinished, this, [this, field, member, label] {
            if (updating_) return;
            const auto v = parseU32(field->text());
            if (!v) return updateDetails();
            editComponent(tr("Change %1").arg(label.toLower()),
                          [&](model::ComponentFields& f) { f.*member = *v; });
        });
    };
    numberRow(value212_, "txtValue212", tr("Value at 212"), &model::ComponentFields::value212);
    numberRow(value260_, "txtValue260", tr("Value at 260"), &model::ComponentFields::value260);

    auto* switches = new QHBoxLayout;
    switch240_ = new QCheckBox(tr("Switch at 240"));
    switch240_->setObjectName("chkSwitch240");
    switch240_->setAccessibleName(switch240_->text());
    connect(switch240_, &QCheckBox::clicked, this, [this](bool on) {
        if (updating_) return;
        editComponent(on ? tr("Set switch at 240") : tr("Clear switch at 240"),
                      [&](model::ComponentFields& f) {
                          // Keep a non-zero value as it is stored.
                          if (!on)
                              f.switch240 = 0;
                          else if (f.switch240 == 0)
                              f.switch240 = 1;
                      });
    });
    block13_ = new QCheckBox(tr("Block13"));
    block13_->setObjectName("chkBlock13");
    block13_->setAccessibleName(block13_->text());
    connect(block13_, &QCheckBox::clicked, this, [this](bool on) {
        if (updating_ || component_ < 0) return;
        const Selection s = selection();
        auto done = doc_.setBlock13(size_t(component_), on);
        if (done && *done)
            commit(on ? tr("Switch block13 on") : tr("Switch block13 off"), s, s);
        else
            updateDetails();
    });
    block14_ = new QLabel;
    block14_->setObjectName("lblBlock14");
    switches->addWidget(switch240_);
    switches->addWidget(block13_);
    switches->addWidget(block14_);
    switches->addStretch(1);
    form->addRow(switches);
    geometry_ = new QLabel;
    geometry_->setObjectName("lblGeometry");
    geometry_->setWordWrap(true);
    form->addRow(geometry_);
    leftLayout->addWidget(details);

    // The selected component's attachments.
    auto* parts = new QTabWidget;
    parts->setObjectName("tabParts");
    auto* attachBox = new QWidget;
    attachBox->setObjectName("frameAttachments");
    auto* attachLayout = new QVBoxLayout(attachBox);
    attachmentNames_ = new QStringListModel(this);
    attachments_ = new QListView;
    attachments_->setObjectName("lstAttachments");
    attachments_->setAccessibleName(tr("Attachments"));
    attachments_->setModel(attachmentNames_);
    attachments_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    attachments_->setSelectionMode(QAbstractItemView::SingleSelection);
    attachLayout->addWidget(attachments_);
    connect(attachments_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (!updating_) selectAttachment(now.isValid() ? now.row() : -1);
            });

    auto* attachmentForm = new QFormLayout;
    auto* attachmentPositionRow = new QHBoxLayout;
    const char* attachmentAxisNames[3] = {"txtAttachmentX", "txtAttachmentY", "txtAttachmentZ"};
    const QString attachmentAxisLabels[3] = {tr("Attachment x"), tr("Attachment y"),
                                             tr("Attachment z")};
    for (int i = 0; i < 3; ++i) {
        attachmentPosition_[i] =
            numberField(attachmentAxisNames[i], attachmentAxisLabels[i], attachBox);
        attachmentPositionRow->addWidget(attachmentPosition_[i]);
        connect(attachmentPosition_[i], &QLineEdit::editingFinished, this, [this, i] {
            if (updating_) return;
            const auto v = parseFloat(attachmentPosition_[i]->text());
            if (!v) return updateAttachmentDetails();
            editAttachment(tr("Move attachment"), [&](model::AttachmentFields& f) {
                (i == 0 ? f.position.x : i == 1 ? f.position.y : f.position.z) = *v;
            });
        });
    }
    attachmentForm->addRow(tr("Position:"), attachmentPositionRow);
    attachmentType_ = new QComboBox;
    attachmentType_->setObjectName("cboAttachmentType");
    attachmentType_->setAccessibleName(tr("Attached object or gun type"));
    attachmentForm->addRow(tr("Type:"), attachmentType_);
    connect(attachmentType_, &QComboBox::activated, this, [this](int index) {
        if (updating_ || index < 0) return;
        const uint32_t value = attachmentType_->itemData(index).toUInt();
        editAttachment(tr("Change attachment type"), [&](model::AttachmentFields& f) {
            (f.kind == 1 ? f.objectIndex : f.gunType) = value;
        });
    });
    attachLayout->addLayout(attachmentForm);

    auto* attachRow = new QHBoxLayout;
    attachKind_ = new QComboBox;
    attachKind_->setObjectName("cboAttachKind");
    attachKind_->setAccessibleName(tr("Kind to attach"));
    for (uint32_t kind = 0; kind < uint32_t(shp::kAttachmentKinds); ++kind)
        attachKind_->addItem(QString::fromLatin1(shp::attachMenuName(kind)), kind);
    cmdAttach_ = new QPushButton(tr("Attach"));
    cmdAttach_->setObjectName("cmdAttach");
    cmdAttach_->setAccessibleName(cmdAttach_->text());
    connect(cmdAttach_, &QPushButton::clicked, this, &EditorWindow::attach);
    cmdDetach_ = new QPushButton(tr("Remove attachment"));
    cmdDetach_->setObjectName("cmdDetach");
    cmdDetach_->setAccessibleName(cmdDetach_->text());
    connect(cmdDetach_, &QPushButton::clicked, this, &EditorWindow::detach);
    attachRow->addWidget(attachKind_, 1);
    attachRow->addWidget(cmdAttach_);
    attachRow->addWidget(cmdDetach_);
    attachLayout->addLayout(attachRow);
    parts->addTab(attachBox, tr("Attachments"));

    // The selected component's collision boxes.
    auto* boxBox = new QWidget;
    boxBox->setObjectName("frameBoxes");
    auto* boxLayout = new QVBoxLayout(boxBox);
    boxNames_ = new QStringListModel(this);
    boxes_ = new QListView;
    boxes_->setObjectName("lstBoxes");
    boxes_->setAccessibleName(tr("Collision boxes"));
    boxes_->setModel(boxNames_);
    boxes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    boxes_->setSelectionMode(QAbstractItemView::SingleSelection);
    boxLayout->addWidget(boxes_);
    connect(boxes_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (!updating_) selectBox(now.isValid() ? now.row() : -1);
            });
    auto* boxForm = new QFormLayout;
    auto boxRow = [&](QLineEdit*(&fields)[3], const char* prefix, const QString& label,
                      shp::Vec3 model::BoxFields::*member, const QString& undoText) {
        auto* row = new QHBoxLayout;
        const char* axes = "XYZ";
        for (int i = 0; i < 3; ++i) {
            const QString name = QString::fromLatin1(prefix) + QChar::fromLatin1(axes[i]);
            fields[i] = numberField(qPrintable(name),
                                    label + ' ' + QChar::fromLatin1(axes[i]).toLower(), boxBox);
            fields[i]->setObjectName(name);
            row->addWidget(fields[i]);
            QLineEdit* field = fields[i];
            connect(field, &QLineEdit::editingFinished, this, [this, field, i, member, undoText] {
                if (updating_) return;
                const auto v = parseFloat(field->text());
                if (!v) return updateBoxDetails();
                editBox(undoText, [&](model::BoxFields& f) {
                    shp::Vec3& p = f.*member;
                    (i == 0 ? p.x : i == 1 ? p.y : p.z) = *v;
                });
            });
        }
        boxForm->addRow(label + ':', row);
    };
    boxRow(boxCentre_, "txtBoxCentre", tr("Centre"), &model::BoxFields::centre, tr("Move box"));
    boxRow(boxHalf_, "txtBoxHalf", tr("Half extents"), &model::BoxFields::halfExtents,
           tr("Resize box"));
    boxLayout->addLayout(boxForm);
    auto* boxButtons = new QHBoxLayout;
    cmdAddBox_ = new QPushButton(tr("Add box"));
    cmdAddBox_->setObjectName("cmdAddBox");
    cmdAddBox_->setAccessibleName(cmdAddBox_->text());
    connect(cmdAddBox_, &QPushButton::clicked, this, &EditorWindow::addBox);
    cmdRemoveBox_ = new QPushButton(tr("Remove box"));
    cmdRemoveBox_->setObjectName("cmdRemoveBox");
    cmdRemoveBox_->setAccessibleName(cmdRemoveBox_->text());
    connect(cmdRemoveBox_, &QPushButton::clicked, this, &EditorWindow::removeBox);
    boxButtons->addStretch(1);
    boxButtons->addWidget(cmdAddBox_);
    boxButtons->addWidget(cmdRemoveBox_);
    boxLayout->addLayout(boxButtons);
    parts->addTab(boxBox, tr("Collision boxes"));
    leftLayout->addWidget(parts, 1);

    // The view with its zoom.
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    view_ = new ModelViewWidget;
    rightLayout->addWidget(view_, 1);
    auto* zoomRow = new QHBoxLayout;
    zoomRow->setContentsMargins(6, 0, 6, 4);
    auto* zoomCaption = new QLabel(tr("Zoom:"));
    zoomSlider_ = new QSlider(Qt::Horizontal);
    zoomSlider_->setObjectName("sldZoom");
    zoomSlider_->setAccessibleName(tr("Zoom"));
    zoomSlider_->setRange(sliderPosition(ModelViewWidget::kMinZoom),
                          sliderPosition(ModelViewWidget::kMaxZoom));
    zoomSlider_->setPageStep(50);
    zoomCaption->setBuddy(zoomSlider_);
    zoomLabel_ = new QLabel;
    zoomLabel_->setObjectName("lblZoom");
    zoomLabel_->setMinimumWidth(zoomLabel_->fontMetrics().horizontalAdvance("10000%"));
    zoomRow->addWidget(zoomCaption);
    zoomRow->addWidget(zoomSlider_, 1);
    zoomRow->addWidget(zoomLabel_);
    rightLayout->addLayout(zoomRow);
    // Slider and view move each other through their signals; the blocker keeps the
    // slider's rounding from feeding back into the view.
    connect(zoomSlider_, &QSlider::valueChanged, this,
            [this](int position) { view_->setZoom(sliderZoom(position)); });
    connect(view_, &ModelViewWidget::zoomChanged, this, &EditorWindow::syncZoomSlider);
    connect(view_, &ModelViewWidget::componentClicked, this, &EditorWindow::selectComponent);
    syncZoomSlider(view_->zoom());

    auto* splitter = new QSplitter;
    splitter->setObjectName("splitter");
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    statusBar()->setObjectName("statusBar");
    summary_ = new QLabel;
    summary_->setObjectName("lblSummary");
    statusBar()->addPermanentWidget(summary_);
}

void EditorWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(actOpen_);
    recentMenu_ = file->addMenu(tr("Recent models"));
    recentMenu_->setObjectName("mnuRecent");
    file->addAction(actMerge_);
    file->addSeparator();
    file->addAction(actSave_);
    file->addAction(actSaveAs_);
    file->addSeparator();
    file->addAction(view_->action(ModelViewWidget::Action::SaveImage));
    file->addSeparator();
    file->addAction(actQuit_);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(actUndo_);
    edit->addAction(actRedo_);

    QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
    auto* tools = addToolBar(tr("View"));
    tools->setObjectName("viewToolBar");
    tools->addAction(actUndo_);
    tools->addAction(actRedo_);
    tools->addSeparator();
    using A = ModelViewWidget::Action;
    for (A a :
         {A::Wireframe, A::Boxes, A::Attachments, A::Normals, A::FrameAll, A::FrameSelected}) {
        viewMenu->addAction(view_->action(a));
        tools->addAction(view_->action(a));
        if (a == A::Normals) {
            viewMenu->addSeparator();
            tools->addSeparator();
        }
    }
    tools->addAction(view_->action(A::SaveImage));
}

void EditorWindow::readSettings() {
    QSettings settings;
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) resize(1180, 760);
    if (auto* splitter = findChild<QSplitter*>("splitter")) {
        const QByteArray state = settings.value(kSplitterKey).toByteArray();
        if (state.isEmpty() || !splitter->restoreState(state)) splitter->setSizes({400, 780});
    }
    updateRecentMenu();
}

void EditorWindow::writeSettings() {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    if (auto* splitter = findChild<QSplitter*>("splitter"))
        settings.setValue(kSplitterKey, splitter->saveState());
}

// ---- files ------------------------------------------------------------------------

QString EditorWindow::chooseModel(const QString& caption) {
    const QString dir =
        doc_.fileName().empty() ? QString() : QFileInfo(fromPath(doc_.fileName())).absolutePath();
    return QFileDialog::getOpenFileName(this, caption, dir, fileFilter());
}

void EditorWindow::open() {
    if (!maybeSave()) return;
    const QString path = chooseModel(tr("Open SHP File"));
    if (!path.isEmpty()) loadFile(path);
}

bool EditorWindow::openFile(const QString& path) {
    return maybeSave() && loadFile(path);
}

bool EditorWindow::loadFile(const QString& path) {
    component_ = -1;
    attachment_ = -1;
    box_ = -1;
    validityShown_.clear();
    undo_->clear();
    const model::OpenResult result = doc_.open(toPath(path));
    current_ = std::make_shared<const shp::BlockChain>(doc_.chain());
    undo_->setClean();
    showModel(true);
    switch (result) {
        case model::OpenResult::Loaded:
            addRecentFile(path);
            statusBar()->showMessage(tr("Opened %1").arg(QFileInfo(path).fileName()), 4000);
            reportValidity();
            return true;
        case model::OpenResult::Empty:
            statusBar()->showMessage(
                tr("%1 holds no blocks: nothing was loaded").arg(QFileInfo(path).fileName()));
            return false;
        case model::OpenResult::Failed:
            return false;
    }
    return false;
}

void EditorWindow::merge() {
    if (!doc_.loaded()) return;
    const QString path = chooseModel(tr("Merge SHP"));
    if (!path.isEmpty()) mergeFile(path);
}

bool EditorWindow::mergeFile(const QString& path) {
    const Selection s = selection();
    auto done = doc_.merge(toPath(path));
    if (!done || !*done) return false;
    commit(tr("Merge %1").arg(QFileInfo(path).fileName()), s, s);
    return true;
}

bool EditorWindow::save() {
    if (!doc_.loaded()) return false;
    if (!doc_.save()) return false;
    undo_->setClean();
    addRecentFile(fromPath(doc_.fileName()));
    updateTitle();
    statusBar()->showMessage(tr("Saved %1").arg(fromPath(doc_.fileName().filename())), 4000);
    return true;
}

bool EditorWindow::saveAs() {
    if (!doc_.loaded()) return false;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save As"), fromPath(doc_.fileName()), fileFilter());
    return !path.isEmpty() && saveFile(path);
}

bool EditorWindow::saveFile(const QString& path) {
    if (!doc_.loaded() || !doc_.saveAs(toPath(path))) return false;
    undo_->setClean();
    addRecentFile(path);
    updateTitle();
    statusBar()->showMessage(tr("Saved %1").arg(QFileInfo(path).fileName()), 4000);
    return true;
}

bool EditorWindow::maybeSave() {
    if (!doc_.loaded() || !doc_.modified()) return true;
    const QString name = fromPath(doc_.fileName().filename());
    const ov::Answer answer =
        reporter_.question(kProgramName,
                           tr("The model %1 has been changed.\nDo you want to save your changes?")
                               .arg(name)
                               .toStdString(),
                           ov::Buttons::YesNoCancel, ov::Icon::Question);
    switch (answer) {
        case ov::Answer::Yes:
            return save();
        case ov::Answer::No:
            return true;
        default:
            return false;
    }
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (maybeSave()) {
        writeSettings();
        event->accept();
    } else {
        event->ignore();
    }
}

void EditorWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void EditorWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls.first().toLocalFile();
    // Leave the drag source before any question or message shows.
    QMetaObject::invokeMethod(
        this, [this, path] { openFile(path); }, Qt::QueuedConnection);
}

QStringList EditorWindow::recentFiles() const {
    return QSettings().value(kRecentKey).toStringList();
}

void EditorWindow::addRecentFile(const QString& path) {
    QStringList files = recentFiles();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kMaxRecentFiles)
        files.removeLast();
    QSettings().setValue(kRecentKey, files);
    updateRecentMenu();
}

void EditorWindow::updateRecentMenu() {
    recentMenu_->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* a = recentMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        a->setToolTip(path);
        a->setStatusTip(path);
        connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

// ---- edits ------------------------------------------------------------------------

void EditorWindow::commit(const QString& text, Selection before, Selection after) {
    const Snapshot was = current_;
    const Snapshot now = std::make_shared<const shp::BlockChain>(doc_.chain());
    current_ = now;
    undo_->push(new EditCommand(
        text, [this, was, before] { restore(was, before); },
        [this, now, after] { restore(now, after); }));
    selectComponent(after.component);
    selectAttachment(after.attachment);
    selectBox(after.box);
    reportValidity();
}

void EditorWindow::restore(const Snapshot& chain, Selection selection) {
    component_ = selection.component;
    attachment_ = selection.attachment;
    box_ = selection.box;
    current_ = chain;
    doc_.replaceChain(*chain);
    reportValidity();
}

void EditorWindow::editComponent(const QString& text,
                                 const std::function<void(model::ComponentFields&)>& change) {
    auto fields = component_ >= 0 ? doc_.componentFields(size_t(component_)) : std::nullopt;
    if (!fields) return;
    change(*fields);
    const Selection s = selection();
    auto done = doc_.setComponentFields(size_t(component_), *fields);
    if (done && *done)
        commit(text, s, s);
    else
        updateDetails();
}

void EditorWindow::editAttachment(const QString& text,
                                  const std::function<void(model::AttachmentFields&)>& change) {
    auto fields = component_ >= 0 && attachment_ >= 0
                      ? doc_.attachmentFields(size_t(component_), size_t(attachment_))
                      : std::nullopt;
    if (!fields) return;
    change(*fields);
    const Selection s = selection();
    auto done = doc_.setAttachmentFields(size_t(component_), size_t(attachment_), *fields);
    if (done && *done)
        commit(text, s, s);
    else
        updateAttachmentDetails();
}

void EditorWindow::attach() {
    if (component_ < 0) return;
    const uint32_t kind = attachKind_->currentData().toUInt();
    const Selection s = selection();
    auto index = doc_.attach(size_t(component_), kind);
    if (!index) return;
    commit(tr("Attach %1").arg(QString::fromLatin1(shp::attachMenuName(kind))), s,
           {component_, int(*index), box_});
}

void EditorWindow::detach() {
    if (component_ < 0 || attachment_ < 0) return;
    const Selection s = selection();
    const QString name = attachmentNames_->index(attachment_).data().toString();
    auto done = doc_.detach(size_t(component_), size_t(attachment_));
    if (!done || !*done) return;
    const int left = attachmentNames_->rowCount();
    commit(tr("Remove %1").arg(name), s, {component_, std::min(attachment_, left - 1), box_});
}

void EditorWindow::deleteComponent() {
    if (component_ < 0) return;
    const Selection s = selection();
    const QString name = componentNames_->index(component_).data().toString();
    auto done = doc_.deleteComponent(size_t(component_));
    if (!done || !*done) return;
    commit(tr("Delete component %1").arg(name), s, {});
}

void EditorWindow::editBox(const QString& text,
                           const std::function<void(model::BoxFields&)>& change) {
    auto fields = component_ >= 0 && box_ >= 0 ? doc_.boxFields(size_t(component_), size_t(box_))
                                               : std::nullopt;
    if (!fields) return;
    change(*fields);
    const Selection s = selection();
    auto done = doc_.setBoxFields(size_t(component_), size_t(box_), *fields);
    if (done && *done)
        commit(text, s, s);
    else
        updateBoxDetails();
}

void EditorWindow::addBox() {
    if (component_ < 0) return;
    const Selection s = selection();
    auto index = doc_.addBox(size_t(component_));
    if (!index) return;
    commit(tr("Add box"), s, {component_, attachment_, int(*index)});
}

void EditorWindow::removeBox() {
    if (component_ < 0 || box_ < 0) return;
    const Selection s = selection();
    auto done = doc_.removeBox(size_t(component_), size_t(box_));
    if (!done || !*done) return;
    const int left = boxNames_->rowCount();
    commit(tr("Remove box"), s, {component_, attachment_, std::min(box_, left - 1)});
}

// ---- showing the document ---------------------------------------------------------

void EditorWindow::documentChanged(model::Change change) {
    switch (change) {
        case model::Change::Opened:
        case model::Change::Closed:
            break;  // loadFile shows the result once it is complete
        case model::Change::Edited:
            showModel(false);
            break;
        case model::Change::Saved:
        case model::Change::Modified:
            updateTitle();
            break;
    }
}

void EditorWindow::showModel(bool frame) {
    if (doc_.loaded())
        view_->setModel(doc_.chain(), frame);
    else
        view_->clearModel();
    const int count = int(doc_.componentCount());
    if (component_ >= count) component_ = -1;
    updateShipClass();
    updateComponentList();
    view_->setSelectedComponent(component_);
    updateDetails();
    updateAttachments();
    updateBoxes();
    updateStatus();
    updateTitle();
}

void EditorWindow::reportValidity() {
    const size_t count = doc_.componentCount();
    for (size_t k = 0; k < count; ++k) {
        if (!validityShown_.insert(k).second) continue;
        for (const shp::Problem& p : doc_.validity(k))
            reporter_.message(p.caption, p.text,
                              p.caption == shp::kEmptyGeometryCaption ? ov::Icon::Critical
                                                                      : ov::Icon::Exclamation);
    }
}

void EditorWindow::updateTitle() {
    if (!doc_.loaded()) {
        setWindowTitle(kProgramName);
        setWindowModified(false);
        return;
    }
    setWindowTitle(QStringLiteral("%1[*] - %2")
                       .arg(fromPath(doc_.fileName().filename()), QString(kProgramName)));
    setWindowModified(doc_.modified());
}

void EditorWindow::updateStatus() {
    if (!doc_.loaded()) {
        summary_->clear();
        return;
    }
    const model::RenderMesh& mesh = view_->mesh();
    auto count = [](size_t n, const QString& one, const QString& many) {
        return QString::number(n) + ' ' + (n == 1 ? one : many);
    };
    QString text = count(doc_.componentCount(), tr("component"), tr("components")) + ", " +
                   count(mesh.triangleCount(), tr("triangle"), tr("triangles"));
    if (const size_t skipped = mesh.skippedFaces())
        text += ", " + count(skipped, tr("faulty face"), tr("faulty faces")) + tr(" not drawn");
    if (doc_.wasPacked()) text += ", " + tr("opened packed, saved unpacked");
    summary_->setText(text);
}

void EditorWindow::updateShipClass() {
    const QScopedValueRollback guard(updating_, true);
    const auto value = doc_.loaded() ? shp::shipClass(doc_.chain()) : std::nullopt;
    std::vector<std::pair<QString, uint32_t>> items;
    for (uint32_t v = 0; v < 3; ++v)
        items.emplace_back(fromBytes(shp::shipClassName(v)), v);
    fillValues(shipClass_, items, value ? std::optional<uint32_t>(*value) : std::nullopt,
               valueText);
    shipClass_->setEnabled(value.has_value());
}

void EditorWindow::updateComponentList() {
    const QScopedValueRollback guard(updating_, true);
    QStringList names;
    for (const std::string& n : doc_.componentNames())
        names << fromBytes(n);
    if (names != componentNames_->stringList()) componentNames_->setStringList(names);
    if (component_ >= 0)
        components_->setCurrentIndex(componentNames_->index(component_));
    else
        components_->selectionModel()->clear();
}

void EditorWindow::selectComponent(int component) {
    if (component < 0 || component >= int(doc_.componentCount())) component = -1;
    if (component != component_) attachment_ = box_ = -1;
    component_ = component;
    {
        const QScopedValueRollback guard(updating_, true);
        if (component_ >= 0)
            components_->setCurrentIndex(componentNames_->index(component_));
        else
            components_->selectionModel()->clear();
    }
    view_->setSelectedComponent(component_);
    updateDetails();
    updateAttachments();
    updateBoxes();
}

void EditorWindow::selectAttachment(int attachment) {
    if (attachment < 0 || attachment >= attachmentNames_->rowCount()) attachment = -1;
    attachment_ = attachment;
    {
        const QScopedValueRollback guard(updating_, true);
        if (attachment_ >= 0)
            attachments_->setCurrentIndex(attachmentNames_->index(attachment_));
        else
            attachments_->selectionModel()->clear();
    }
    view_->setMarkedAttachment(component_, attachment_);
    updateAttachmentDetails();
    updateActions();
}

void EditorWindow::updateDetails() {
    const QScopedValueRollback guard(updating_, true);
    const bool shown = component_ >= 0;
    const auto fields = shown ? doc_.componentFields(size_t(component_)) : std::nullopt;
    const shp::ComponentSummary summary =
        shown ? doc_.summary(size_t(component_)) : shp::ComponentSummary{};
    const bool editable = fields && !doc_.reducedComponentTable();

    name_->setText(fields ? fromBytes(fields->name) : QString());
    std::vector<std::pair<QString, uint32_t>> kinds;
    for (uint32_t v = 0; v < 4; ++v)
        kinds.emplace_back(fromBytes(shp::componentKindName(v)), v);
    fillValues(kind_, kinds, fields ? std::optional<uint32_t>(fields->kind) : std::nullopt,
               [](uint32_t v) { return shp::componentKindName(v); });
    const float xyz[3] = {fields ? fields->position.x : 0.0f, fields ? fields->position.y : 0.0f,
                          fields ? fields->position.z : 0.0f};
    for (int i = 0; i < 3; ++i)
        position_[i]->setText(fields ? floatText(xyz[i]) : QString());
    value212_->setText(fields ? QString::number(fields->value212) : QString());
    value260_->setText(fields ? QString::number(fields->value260) : QString());
    switch240_->setChecked(fields && fields->switch240 != 0);
    block13_->setChecked(summary.block13.value_or(false));
    block13_->setEnabled(shown && summary.block13.has_value());
    block13_->setToolTip(shown && !summary.block13 ? tr("This component has no block13")
                                                   : QString());
    block14_->setText(!shown            ? QString()
                      : summary.block14 ? tr("Block14: present")
                                        : tr("Block14: absent"));

    for (QWidget* w : {static_cast<QWidget*>(name_), static_cast<QWidget*>(kind_),
                       static_cast<QWidget*>(position_[0]), static_cast<QWidget*>(position_[1]),
                       static_cast<QWidget*>(position_[2]), static_cast<QWidget*>(value212_),
                       static_cast<QWidget*>(value260_), static_cast<QWidget*>(switch240_)}) {
        w->setEnabled(editable);
        w->setToolTip(fields && !editable ? tr("This ship uses a reduced version of Block1: its "
                                               "component records are not changed")
                                          : QString());
    }

    if (!shown) {
        geometry_->clear();
    } else {
        auto count = [](const std::optional<size_t>& n) {
            return n ? QString::number(*n) : tr("missing");
        };
        geometry_->setText(tr("Vertices: %1, faces: %2, textures: %3, boxes: %4")
                               .arg(count(summary.vertices), count(summary.faces),
                                    count(summary.textures), count(summary.boxes)));
    }
    updateActions();
}

void EditorWindow::updateAttachments() {
    {
        const QScopedValueRollback guard(updating_, true);
        QStringList names;
        if (component_ >= 0)
            if (auto list = doc_.attachmentNames(size_t(component_)))
                for (const std::string& n : *list)
                    names << fromBytes(n);
        if (names != attachmentNames_->stringList()) attachmentNames_->setStringList(names);
    }
    selectAttachment(attachment_);
}

void EditorWindow::updateAttachmentDetails() {
    const QScopedValueRollback guard(updating_, true);
    const auto fields = component_ >= 0 && attachment_ >= 0
                            ? doc_.attachmentFields(size_t(component_), size_t(attachment_))
                            : std::nullopt;
    const float xyz[3] = {fields ? fields->position.x : 0.0f, fields ? fields->position.y : 0.0f,
                          fields ? fields->position.z : 0.0f};
    for (int i = 0; i < 3; ++i) {
        attachmentPosition_[i]->setText(fields ? floatText(xyz[i]) : QString());
        attachmentPosition_[i]->setEnabled(fields.has_value());
    }
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
    fillValues(attachmentType_, types, value, valueText);
    attachmentType_->setEnabled(value.has_value());
}

void EditorWindow::selectBox(int box) {
    if (box < 0 || box >= boxNames_->rowCount()) box = -1;
    box_ = box;
    {
        const QScopedValueRollback guard(updating_, true);
        if (box_ >= 0)
            boxes_->setCurrentIndex(boxNames_->index(box_));
        else
            boxes_->selectionModel()->clear();
    }
    view_->setMarkedBox(component_, box_);
    updateBoxDetails();
    updateActions();
}

void EditorWindow::updateBoxes() {
    {
        const QScopedValueRollback guard(updating_, true);
        QStringList names;
        for (size_t i = 0; component_ >= 0; ++i) {
            const auto b = doc_.boxFields(size_t(component_), i);
            if (!b) break;
            names << tr("Box %1 at (%2, %3, %4), half (%5, %6, %7)")
                         .arg(i + 1)
                         .arg(floatText(b->centre.x), floatText(b->centre.y),
                              floatText(b->centre.z), floatText(b->halfExtents.x),
                              floatText(b->halfExtents.y), floatText(b->halfExtents.z));
        }
        if (names != boxNames_->stringList()) boxNames_->setStringList(names);
    }
    selectBox(box_);
}

void EditorWindow::updateBoxDetails() {
    const QScopedValueRollback guard(updating_, true);
    const auto fields = component_ >= 0 && box_ >= 0
                            ? doc_.boxFields(size_t(component_), size_t(box_))
                            : std::nullopt;
    const shp::Vec3 centre = fields ? fields->centre : shp::Vec3{};
    const shp::Vec3 half = fields ? fields->halfExtents : shp::Vec3{};
    const float values[2][3] = {{centre.x, centre.y, centre.z}, {half.x, half.y, half.z}};
    QLineEdit* const* rows[2] = {boxCentre_, boxHalf_};
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < 3; ++i) {
            rows[r][i]->setText(fields ? floatText(values[r][i]) : QString());
            rows[r][i]->setEnabled(fields.has_value());
        }
}

void EditorWindow::updateActions() {
    const bool loaded = doc_.loaded();
    for (QAction* a : {actMerge_, actSave_, actSaveAs_})
        a->setEnabled(loaded);
    for (QPushButton* b : {cmdMerge_, cmdSave_, cmdSaveAs_})
        b->setEnabled(loaded);
    const bool component = component_ >= 0;
    cmdDeleteComponent_->setEnabled(component);
    cmdAttach_->setEnabled(component);
    attachKind_->setEnabled(component);
    cmdDetach_->setEnabled(component && attachment_ >= 0);
    cmdAddBox_->setEnabled(component);
    cmdRemoveBox_->setEnabled(component && box_ >= 0);
}

void EditorWindow::syncZoomSlider(double zoom) {
    {
        const QSignalBlocker block(zoomSlider_);
        zoomSlider_->setValue(sliderPosition(zoom));
    }
    zoomLabel_->setText(QStringLiteral("%1%").arg(std::lround(zoom * 100.0)));
}

}  // namespace ov::tool
