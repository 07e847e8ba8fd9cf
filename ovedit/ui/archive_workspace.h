#pragma once
// The hog tab's state without its widgets: the open archive (a read-only snapshot
// shared with the workers), the edit plan of entry changes not yet applied, the
// undo history of those changes, and the FAT commands that write in place. Every
// change to the plan is one QUndoCommand; a refused change leaves no step. Windows
// show the workspace and call it; it talks to them through its signals and knows
// none of them.
//
// A FAT command works on a fresh read of the archive, and the workspace then takes
// that read as its snapshot, so nothing a worker is reading ever changes under it.
// While entry changes are pending the FAT commands are refused: they would change
// the archive under the plan.

#include <QObject>
#include <QUndoStack>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/report.h"
#include "common/result.h"
#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"

namespace ov::edit {

class ArchiveWorkspace : public QObject {
    Q_OBJECT

public:
    explicit ArchiveWorkspace(QObject* parent = nullptr);
    ~ArchiveWorkspace() override;

    const std::shared_ptr<const archive::HogArchive>& archive() const { return archive_; }
    // Takes another snapshot of the archive (or none): the plan and its history go.
    void setArchive(std::shared_ptr<const archive::HogArchive> archive);

    // The plan the changes are taken into; null before the first change.
    const archive::HogEditPlan* plan() const { return plan_.get(); }
    bool hasPendingChanges() const { return plan_ && !plan_->empty(); }
    // Undo and Redo of the changes, for the Edit menu and the tab's buttons.
    QUndoStack* undoStack() { return &undo_; }

    // Each change is one step (several deletions at once are one step).
    Status checkName(std::string_view name, std::optional<size_t> row = std::nullopt);
    Status add(const std::filesystem::path& file, std::string_view name, bool pack);
    Status replace(size_t row, const std::filesystem::path& file, bool pack);
    Status rename(size_t row, std::string_view name);
    // The rows not already deleted, from the last up; how many went in `taken`.
    Status remove(std::vector<int> rows, size_t& taken);
    // Every change not applied goes, with its history.
    void discard();

    // ---- FAT commands ----
    // An archive is open and no entry change is pending.
    bool fatCommandsAllowed() const { return archive_ && !hasPendingChanges(); }
    // The entry remembered by copyEntry, while the archive has it.
    std::optional<size_t> copiedEntry() const { return copied_; }
    bool copyEntry(size_t row);
    // Points entry `row` at the data of the copied entry.
    bool pasteEntry(size_t row, Reporter& reporter);
    // Writes an entry's name, offset and size (offset and size as hex text).
    bool saveEntry(size_t row, std::string_view name, std::string_view offset,
                   std::string_view size, Reporter& reporter);
    // Saves the FAT beside the archive (NAME.FAT).
    bool backupFat(Reporter& reporter);
    // Writes the saved FAT back over the archive's.
    bool restoreFat(Reporter& reporter);

signals:
    // Another archive, or none, was taken.
    void archiveChanged();
    // A FAT command wrote the archive in place: the snapshot is a fresh read of it,
    // with the same entries in the same rows (their names, offsets or sizes may differ).
    void fatRewritten();
    // A change was taken, undone, redone or discarded.
    void planChanged();

private:
    class PlanStep;
    class StepGroup;
    archive::HogEditPlan& ensurePlan();
    // Takes a step on the plan and, when the plan accepts it, into the history.
    Status take(const QString& text, std::function<Status(archive::HogEditPlan&)> step);

    // Runs a FAT command on a fresh read of the archive; when the command may have
    // changed the FAT, the fresh read becomes the snapshot.
    bool editFat(const std::function<bool(archive::HogArchive&)>& command, bool changesFat,
                 Reporter& reporter);

    std::shared_ptr<const archive::HogArchive> archive_;
    std::unique_ptr<archive::HogEditPlan> plan_;
    std::optional<size_t> copied_;
    QUndoStack undo_;
};

}  // namespace ov::edit
