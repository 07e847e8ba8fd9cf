#include "ovedit/ui/archive_workspace.h"

#include <QUndoCommand>
#include <algorithm>
#include <functional>
#include <utility>

#include "ovedit/ui/ui_text.h"

namespace ov::edit {

using archive::HogArchive;
using archive::HogEditPlan;

namespace {
constexpr const char* kTitle = "OV Edit";
}

// One step of the plan. The step is taken before the command is made (a refused
// step makes none); redo after an undo takes it again, on the same rows: the plan
// is then as it was when the step was first taken.
class ArchiveWorkspace::PlanStep final : public QUndoCommand {
public:
    using Take = std::function<Status(HogEditPlan&)>;
    PlanStep(ArchiveWorkspace& ws, const QString& text, Take take, QUndoCommand* parent = nullptr)
        : QUndoCommand(text, parent), ws_(ws), take_(std::move(take)), part_(parent != nullptr) {}

    void redo() override {
        if (std::exchange(first_, false)) return;
        if (!ws_.plan_ || !take_(*ws_.plan_)) {
            setObsolete(true);
            return;
        }
        if (!part_) emit ws_.planChanged();
    }
    void undo() override {
        if (ws_.plan_) ws_.plan_->undo();
        if (!part_) emit ws_.planChanged();
    }

private:
    ArchiveWorkspace& ws_;
    Take take_;
    bool first_ = true;
    bool part_ = false;  // part of a larger step, which tells
};

// Several steps taken as one (deleting a selection).
class ArchiveWorkspace::StepGroup final : public QUndoCommand {
public:
    explicit StepGroup(ArchiveWorkspace& ws) : ws_(ws) {}
    void redo() override {
        QUndoCommand::redo();
        if (!std::exchange(first_, false)) emit ws_.planChanged();
    }
    void undo() override {
        QUndoCommand::undo();
        emit ws_.planChanged();
    }

private:
    ArchiveWorkspace& ws_;
    bool first_ = true;
};

ArchiveWorkspace::ArchiveWorkspace(QObject* parent) : QObject(parent) {}

ArchiveWorkspace::~ArchiveWorkspace() {
    // The commands refer to the plan: they go first.
    undo_.clear();
}

void ArchiveWorkspace::setArchive(std::shared_ptr<const archive::HogArchive> archive) {
    undo_.clear();
    plan_.reset();
    copied_.reset();
    archive_ = std::move(archive);
    emit archiveChanged();
    emit planChanged();
}

HogEditPlan& ArchiveWorkspace::ensurePlan() {
    if (!plan_) plan_ = std::make_unique<HogEditPlan>(*archive_);
    return *plan_;
}

Status ArchiveWorkspace::checkName(std::string_view name, std::optional<size_t> row) {
    if (!archive_) return makeError(ErrorKind::Refused, "no archive is open");
    return ensurePlan().checkName(name, row);
}

Status ArchiveWorkspace::take(const QString& text, std::function<Status(HogEditPlan&)> step) {
    if (!archive_) return makeError(ErrorKind::Refused, "no archive is open");
    const Status status = step(ensurePlan());
    if (!status) return status;
    undo_.push(new PlanStep(*this, text, std::move(step)));
    emit planChanged();
    return status;
}

Status ArchiveWorkspace::add(const std::filesystem::path& file, std::string_view name, bool pack) {
    return take("Add " + fromEntryName(name),
                [file, name = std::string(name), pack](HogEditPlan& p) {
                    return p.add(file, name, pack);
                });
}

Status ArchiveWorkspace::replace(size_t row, const std::filesystem::path& file, bool pack) {
    const QString name = plan_ && row < plan_->entries().size()
                             ? fromEntryName(plan_->entries()[row].name)
                         : archive_ && row < archive_->entries().size()
                             ? fromEntryName(archive_->entries()[row].name)
                             : QString();
    return take("Replace " + name,
                [row, file, pack](HogEditPlan& p) { return p.replace(row, file, pack); });
}

Status ArchiveWorkspace::rename(size_t row, std::string_view name) {
    return take("Rename to " + fromEntryName(name),
                [row, name = std::string(name)](HogEditPlan& p) { return p.rename(row, name); });
}

Status ArchiveWorkspace::remove(std::vector<int> rows, size_t& taken) {
    taken = 0;
    if (!archive_) return makeError(ErrorKind::Refused, "no archive is open");
    // From the last row up: deleting a file still to be added takes its row out, and
    // the rows below it move up.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    HogEditPlan& p = ensurePlan();
    auto* step = new StepGroup(*this);
    Status result;
    QString last;
    for (int row : rows) {
        if (row < 0 || size_t(row) >= p.entries().size() || p.entries()[size_t(row)].deleted)
            continue;
        const QString name = fromEntryName(p.entries()[size_t(row)].name);
        if (const Status st = p.remove(size_t(row)); !st) {
            result = st;
            break;
        }
        new PlanStep(
            *this, "Delete " + name, [row](HogEditPlan& plan) { return plan.remove(size_t(row)); },
            step);
        last = name;
        ++taken;
    }
    if (taken == 0) {
        delete step;
        return result;
    }
    step->setText(taken == 1 ? "Delete " + last : QStringLiteral("Delete %1 entries").arg(taken));
    // The children are taken already: the first redo of each is skipped.
    undo_.push(step);
    emit planChanged();
    return result;
}

void ArchiveWorkspace::discard() {
    undo_.clear();
    if (plan_) plan_->clear();
    plan_.reset();
    emit planChanged();
}

bool ArchiveWorkspace::copyEntry(size_t row) {
    if (!fatCommandsAllowed() || row >= archive_->entries().size()) return false;
    copied_ = row;
    return true;
}

bool ArchiveWorkspace::pasteEntry(size_t row, Reporter& reporter) {
    if (!fatCommandsAllowed() || !copied_ || row >= archive_->entries().size()) return false;
    const size_t from = *copied_;
    return editFat([&](HogArchive& a) { return archive::pasteEntry(a, from, row, reporter); },
                   true, reporter);
}

bool ArchiveWorkspace::saveEntry(size_t row, std::string_view name, std::string_view offset,
                                 std::string_view size, Reporter& reporter) {
    if (!fatCommandsAllowed() || row >= archive_->entries().size()) return false;
    return editFat(
        [&](HogArchive& a) {
            return archive::saveEntry(a, row, name, offset, size, reporter);
        },
        true, reporter);
}

bool ArchiveWorkspace::backupFat(Reporter& reporter) {
    if (!fatCommandsAllowed()) return false;
    return editFat([&](HogArchive& a) { return archive::backupFat(a, reporter); }, false,
                   reporter);
}

bool ArchiveWorkspace::restoreFat(Reporter& reporter) {
    if (!fatCommandsAllowed()) return false;
    return editFat([&](HogArchive& a) { return archive::restoreFat(a, reporter); }, true,
                   reporter);
}

bool ArchiveWorkspace::editFat(const std::function<bool(HogArchive&)>& command, bool changesFat,
                               Reporter& reporter) {
    auto fresh = HogArchive::read(archive_->path());
    if (!fresh) {
        reporter.message(kTitle, "Error - " + fresh.error().describe(), Icon::Critical);
        return false;
    }
    auto next = std::make_shared<HogArchive>(std::move(*fresh));
    const bool done = command(*next);
    // Even a refused command leaves the fresh read as true as the old snapshot.
    if (changesFat) {
        const bool sameRows = next->entries().size() == archive_->entries().size();
        // The plan (empty: FAT commands wait for pending changes) describes the FAT as
        // it was; the next change starts a new one over the archive as it is now.
        undo_.clear();
        plan_.reset();
        if (!sameRows) copied_.reset();
        archive_ = std::move(next);
        emit fatRewritten();
    }
    return done;
}

}  // namespace ov::edit
