#pragma once
// The undo steps of the model workspace. A step's first redo() makes its change
// through the document and keeps the chain before and after it (models are
// small, and a snapshot is shared with the neighbouring steps); later redos and
// undos put those chains back with the selection they had. A first redo that
// changes nothing (refused, or already so) marks the step obsolete, and it is
// never pushed.

#include <QUndoCommand>
#include <functional>
#include <optional>

#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

class ModelCommand : public QUndoCommand {
public:
    ModelCommand(ModelWorkspace& workspace, const QString& text)
        : QUndoCommand(text), workspace_(workspace) {}

    void redo() final;
    void undo() final;

    // Makes the change before the step is pushed, so that an edit that changes
    // nothing never reaches the stack (pushing even an obsolete step would drop
    // the steps that could be redone). True when there is a step to push; its
    // push then does not make the change again.
    bool makeBeforePush();

protected:
    // Makes the change; returns the selection after it, or nothing when the
    // model did not change.
    virtual std::optional<Selection> apply(model::Document& doc, Selection now) = 0;
    // For mergeWith: takes over the later step's result.
    void takeResult(const ModelCommand& later);
    bool made() const { return made_; }

private:
    ModelWorkspace& workspace_;
    ModelWorkspace::Snapshot before_, after_;
    Selection selectionBefore_, selectionAfter_;
    bool made_ = false;
    bool pushing_ = false;
};

// Any change a function makes through the document (a field, a flag, a block).
class DocumentCommand final : public ModelCommand {
public:
    using Change = std::function<std::optional<Selection>(model::Document&, Selection)>;
    DocumentCommand(ModelWorkspace& workspace, const QString& text, Change change)
        : ModelCommand(workspace, text), change_(std::move(change)) {}

protected:
    std::optional<Selection> apply(model::Document& doc, Selection now) override {
        return change_(doc, now);
    }

private:
    Change change_;
};

// One axis of one position; the steps for the axes of the same position merge.
class PositionCommand final : public ModelCommand {
public:
    static constexpr int kId = 1;
    PositionCommand(ModelWorkspace& workspace, const QString& text, PositionTarget target,
                    int axis, float value)
        : ModelCommand(workspace, text), target_(target), axis_(axis), value_(value) {}
    int id() const override { return kId; }
    bool mergeWith(const QUndoCommand* other) override;

protected:
    std::optional<Selection> apply(model::Document& doc, Selection now) override;

private:
    PositionTarget target_;
    int axis_;
    float value_;
};

}  // namespace ov::tool
