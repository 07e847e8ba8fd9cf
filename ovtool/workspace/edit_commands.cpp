#include "ovtool/workspace/edit_commands.h"

namespace ov::tool {

void ModelCommand::redo() {
    if (pushing_) {
        pushing_ = false;
        return;
    }
    if (made_) {
        workspace_.restore(after_, selectionAfter_);
        return;
    }
    selectionBefore_ = workspace_.selection();
    before_ = workspace_.snapshot();
    const std::optional<Selection> after = apply(workspace_.doc_, selectionBefore_);
    if (!after) {
        setObsolete(true);
        return;
    }
    made_ = true;
    after_ = workspace_.snapshot();
    selectionAfter_ = workspace_.clamped(*after);
    workspace_.setSelection(selectionAfter_);
    workspace_.reportValidity();
}

bool ModelCommand::makeBeforePush() {
    redo();
    pushing_ = !isObsolete();
    return pushing_;
}

void ModelCommand::undo() {
    workspace_.restore(before_, selectionBefore_);
}

void ModelCommand::takeResult(const ModelCommand& later) {
    after_ = later.after_;
    selectionAfter_ = later.selectionAfter_;
}

bool PositionCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = dynamic_cast<const PositionCommand*>(other);
    if (!later || !later->made() || later->target_ != target_) return false;
    takeResult(*later);
    return true;
}

std::optional<Selection> PositionCommand::apply(model::Document& doc, Selection now) {
    if (target_.component < 0 || axis_ < 0 || axis_ > 2) return std::nullopt;
    const auto k = size_t(target_.component);
    const auto index = size_t(target_.index);
    auto set = [this](shp::Vec3& p) { (axis_ == 0 ? p.x : axis_ == 1 ? p.y : p.z) = value_; };
    Result<bool> done = false;
    switch (target_.kind) {
        case PositionTarget::Kind::Component: {
            auto fields = doc.componentFields(k);
            if (!fields) return std::nullopt;
            set(fields->position);
            done = doc.setComponentFields(k, *fields);
            break;
        }
        case PositionTarget::Kind::Attachment: {
            if (target_.index < 0) return std::nullopt;
            auto fields = doc.attachmentFields(k, index);
            if (!fields) return std::nullopt;
            set(fields->position);
            done = doc.setAttachmentFields(k, index, *fields);
            break;
        }
        case PositionTarget::Kind::BoxCentre:
        case PositionTarget::Kind::BoxHalfExtents: {
            if (target_.index < 0) return std::nullopt;
            auto fields = doc.boxFields(k, index);
            if (!fields) return std::nullopt;
            set(target_.kind == PositionTarget::Kind::BoxCentre ? fields->centre
                                                                : fields->halfExtents);
            done = doc.setBoxFields(k, index, *fields);
            break;
        }
    }
    if (!done || !*done) return std::nullopt;
    return now;
}

}  // namespace ov::tool
