#pragma once
// OVTool's model workspace: the open model (ov::model::Document), its undo history
// and the selection, without any widget. Panels and the window are views of it:
// they call its methods and listen to its signals.
//
// Every edit is one QUndoCommand on undoStack() whose redo() makes the change; an
// edit the document refuses (it has said why) or one that changes nothing leaves
// no step. Editing x, y and z of one position in a row is one step. Only the
// workspace and its commands change the document; everyone else reads it.
//
// The editor's validity messages for a component ("Uh oh...", "ERROR") are shown
// once per component after a model is opened, when a change first shows it,
// never again for the same opened model.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <set>

#include "common/report.h"
#include "common/shp.h"
#include "ovtool/model/document.h"

class QUndoStack;

namespace ov::tool {

// What the user has picked: a component, and of it an attachment and a box
// (-1 for none).
struct Selection {
    int component = -1;
    int attachment = -1;
    int box = -1;
    bool operator==(const Selection&) const = default;
};

// One of the positions the editor edits axis by axis.
struct PositionTarget {
    enum class Kind { Component, Attachment, BoxCentre, BoxHalfExtents };
    Kind kind = Kind::Component;
    int component = -1;
    int index = -1;  // the attachment or box; unused for a component
    bool operator==(const PositionTarget&) const = default;
};

class ModelCommand;

class ModelWorkspace : public QObject {
    Q_OBJECT

public:
    using Snapshot = std::shared_ptr<const shp::BlockChain>;
    static constexpr int kUndoLimit = 100;

    explicit ModelWorkspace(Reporter& reporter, QObject* parent = nullptr);
    ~ModelWorkspace() override;

    const model::Document& document() const { return doc_; }
    QUndoStack* undoStack() const { return undo_; }

    // ---- files -------------------------------------------------------------
    // Opens a model in place of the current one (no question asked: the caller
    // asks about unsaved changes first). The history and the selection start
    // empty.
    model::OpenResult open(const QString& path);
    // Takes a model built in memory (an import) as a new document that was never
    // saved: modified, without a file name; Save As proposes `suggestedName`
    // (a file name or path).
    model::OpenResult openBuilt(shp::BlockChain chain, const QString& suggestedName);
    // Adds another model's components as one step. False when nothing changed.
    bool merge(const QString& path);
    // Saves over the model's file, keeping the file's first state as NAME.bak.
    // False when it failed (said) or there is no file name yet (see hasFileName).
    bool save();
    // Saves under another name, which becomes the model's file (a file replaced
    // there keeps its first state as NAME.bak too).
    bool saveAs(const QString& path);
    // Writes the model for a 3D suite, the format from the name: .gltf with its
    // .bin, .glb, or .obj with its .mtl. Nothing is written when any of the files
    // cannot be (said), nor over the model's own file or anything not a regular
    // file. The model itself does not change.
    bool exportTo(const QString& path);
    // Makes a model of a mesh file (an exported ship comes back as it went out,
    // any other mesh becomes a new ship) and takes it as openBuilt does, Save As
    // proposing the file's name with .shp beside it. A refused file is said and
    // leaves the open model as it was. `texture`, when not empty, names the
    // texture of every imported face.
    model::OpenResult importFrom(const QString& path, const QString& texture = {});

    bool loaded() const { return doc_.loaded(); }
    bool modified() const { return doc_.loaded() && doc_.modified(); }
    bool hasFileName() const { return !doc_.fileName().empty(); }
    // The model's file; empty for a built model not yet saved.
    QString filePath() const;
    // The name a title shows: the file's name, or the suggested one.
    QString displayName() const;
    // Where Save As starts: the model's file, or the suggested name.
    QString suggestedPath() const;

    // The last thing the workspace did, for a status line.
    QString status() const { return status_; }

    // ---- selection ---------------------------------------------------------
    Selection selection() const { return selection_; }
    // Out-of-range indices select nothing; another component clears the
    // attachment and the box.
    void selectComponent(int component);
    void selectAttachment(int attachment);
    void selectBox(int box);

    // ---- edits: each one undo step when it changes the model -----------------
    bool setShipClass(uint8_t value);
    bool deleteComponent(int component);
    bool renameComponent(int component, const std::string& name);
    bool setComponentKind(int component, uint32_t kind);
    bool setComponentValue212(int component, uint32_t value);
    bool setComponentValue260(int component, uint32_t value);
    bool setComponentSwitch240(int component, bool on);
    bool setBlock13(int component, bool on);
    // One axis (0-2) of a position; consecutive edits of one position merge.
    bool setPosition(PositionTarget target, int axis, float value);

    // Attaches a new record of kind 0-4 to the component and selects it.
    bool attach(int component, uint32_t kind);
    bool detach(int component, int attachment);
    // The attached object (kind 1) or gun type (kind 3) of an attachment.
    bool setAttachmentType(int component, int attachment, uint32_t value);

    bool addBox(int component);
    bool removeBox(int component, int box);

signals:
    // Another model, or none: views show it afresh.
    void modelReset();
    // The open model's chain changed (an edit, its undo or redo).
    void modelEdited();
    void selectionChanged();
    // The file name or the modified flag changed.
    void fileStateChanged();
    void statusChanged(const QString& text);

private:
    friend class ModelCommand;

    // Pushes a command; true when it became a step.
    bool push(ModelCommand* command);
    // The chain as it is now, shared by the steps that keep it.
    Snapshot snapshot();
    // Undo and redo: puts a chain back with the selection it had.
    void restore(const Snapshot& chain, Selection selection);
    void setSelection(Selection selection);
    Selection clamped(Selection selection) const;
    void reportValidity();
    void setStatus(const QString& text);
    void saved();
    void documentChanged(model::Change change);

    Reporter& reporter_;
    model::Document doc_;
    QUndoStack* undo_ = nullptr;
    Selection selection_;
    QString suggestedName_;
    QString status_;
    Snapshot current_;
    uint64_t currentVersion_ = 0;
    // Components whose validity messages were shown since the model was opened.
    std::set<size_t> validityShown_;
};

}  // namespace ov::tool
