#pragma once
// OVTool's window: one SHP model open in the model document, its component list
// and the selected component's details and attachments beside the 3D view.
//
// Every change of the model goes through ov::model::Document and becomes one step
// of an undo stack: a step keeps the chain before and after it (models are small),
// and undoing puts the earlier chain back. The window reads and writes no file
// itself; the document's messages and the window's own questions go through the
// shared QtReporter.
//
// The editor's validity messages for a component ("Uh oh...", "ERROR") are shown
// when the view is first given that component's blocks after a model is opened,
// once per component, never on a repaint.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <set>

#include "ovtool/model/document.h"
#include "common/ui/qt_reporter.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QSlider;
class QStringListModel;
class QUndoStack;

namespace ov::desktop {
class ModelViewWidget;
}

namespace ov::tool {

using desktop::ModelViewWidget;
using desktop::QtReporter;

class EditorWindow : public QMainWindow {
    Q_OBJECT

public:
    // The open and save dialogs' filter.
    static QString fileFilter();
    static constexpr int kMaxRecentFiles = 8;

    explicit EditorWindow(QWidget* parent = nullptr);
    ~EditorWindow() override;

    // Opens a model without asking about unsaved changes (openFile asks first).
    // True when a model is loaded; on failure the document has said why.
    bool loadFile(const QString& path);
    // Asks to save unsaved changes, then loadFile; false when the user cancelled or
    // nothing was loaded.
    bool openFile(const QString& path);
    // Merges another model's components as one undo step.
    bool mergeFile(const QString& path);
    // Saves under another name.
    bool saveFile(const QString& path);

    const model::Document& document() const { return doc_; }
    ModelViewWidget* view() const { return view_; }
    QUndoStack* undoStack() const { return undo_; }
    QStringList recentFiles() const;

    int selectedComponent() const { return component_; }
    int selectedAttachment() const { return attachment_; }
    int selectedBox() const { return box_; }
    void selectComponent(int component);
    void selectAttachment(int attachment);
    void selectBox(int box);

public slots:
    void open();
    void merge();
    bool save();
    bool saveAs();
    void attach();
    void detach();
    void deleteComponent();
    void addBox();
    void removeBox();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Selection {
        int component = -1;
        int attachment = -1;
        int box = -1;
    };
    using Snapshot = std::shared_ptr<const shp::BlockChain>;

    void createActions();
    void createWidgets();
    void createMenus();
    void readSettings();
    void writeSettings();
    bool maybeSave();
    QString chooseModel(const QString& caption);

    void addRecentFile(const QString& path);
    void updateRecentMenu();

    // After a document operation: records it as one undo step when it changed the
    // model, selecting `after`.
    void commit(const QString& text, Selection before, Selection after);
    // Undo and redo: puts a chain back with the selection it had.
    void restore(const Snapshot& chain, Selection selection);
    void editComponent(const QString& text,
                       const std::function<void(model::ComponentFields&)>& change);
    void editAttachment(const QString& text,
                        const std::function<void(model::AttachmentFields&)>& change);
    void editBox(const QString& text, const std::function<void(model::BoxFields&)>& change);
    Selection selection() const { return {component_, attachment_, box_}; }

    void documentChanged(model::Change change);
    void showModel(bool frame);
    void reportValidity();
    void updateTitle();
    void updateStatus();
    void updateShipClass();
    void updateComponentList();
    void updateDetails();
    void updateAttachments();
    void updateAttachmentDetails();
    void updateBoxes();
    void updateBoxDetails();
    void updateActions();
    void syncZoomSlider(double zoom);

    QtReporter reporter_;
    model::Document doc_;
    QUndoStack* undo_ = nullptr;
    Snapshot current_;
    // Components whose validity messages were shown since the model was opened.
    std::set<size_t> validityShown_;
    int component_ = -1;
    int attachment_ = -1;
    int box_ = -1;
    bool updating_ = false;  // widgets are being filled from the document

    ModelViewWidget* view_ = nullptr;
    QSlider* zoomSlider_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QComboBox* shipClass_ = nullptr;
    QListView* components_ = nullptr;
    QStringListModel* componentNames_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLineEdit* position_[3] = {};
    QLineEdit* value212_ = nullptr;
    QLineEdit* value260_ = nullptr;
    QCheckBox* switch240_ = nullptr;
    QCheckBox* block13_ = nullptr;
    QLabel* block14_ = nullptr;
    QLabel* geometry_ = nullptr;
    QLabel* summary_ = nullptr;
    QListView* attachments_ = nullptr;
    QStringListModel* attachmentNames_ = nullptr;
    QComboBox* attachKind_ = nullptr;
    QLineEdit* attachmentPosition_[3] = {};
    QComboBox* attachmentType_ = nullptr;
    QListView* boxes_ = nullptr;
    QStringListModel* boxNames_ = nullptr;
    QLineEdit* boxCentre_[3] = {};
    QLineEdit* boxHalf_[3] = {};
    QPushButton* cmdAddBox_ = nullptr;
    QPushButton* cmdRemoveBox_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdMerge_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
    QPushButton* cmdSaveAs_ = nullptr;
    QPushButton* cmdAttach_ = nullptr;
    QPushButton* cmdDetach_ = nullptr;
    QPushButton* cmdDeleteComponent_ = nullptr;

    QAction* actOpen_ = nullptr;
    QAction* actMerge_ = nullptr;
    QAction* actSave_ = nullptr;
    QAction* actSaveAs_ = nullptr;
    QAction* actQuit_ = nullptr;
    QAction* actUndo_ = nullptr;
    QAction* actRedo_ = nullptr;
    QMenu* recentMenu_ = nullptr;
};

}  // namespace ov::tool
