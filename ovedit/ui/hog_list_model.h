#pragma once
// The hog tab's list: the open archive's FAT as a table (one row per entry, in FAT
// order, read straight from the archive's own table), and the proxy that sorts it
// and narrows it to the names containing a filter text.
//
// The "Packed" column comes from each entry's first bytes. Reading them for 100,000
// entries takes a moment, so a worker fills the column after the list is shown and
// the cells say nothing until then. Per-row state lives in the model beside the
// archive (the pack cells), so the archive itself stays a read-only snapshot that
// workers may share.
//
// While the tab holds edits not yet applied, the model shows the edit plan's list
// instead: the archive's rows in order under the names they will have, rows to be
// deleted struck out, added files at the end, and every changed row in italics with
// a "Change" cell and a tooltip that say what will become of it.

#include <QAbstractTableModel>
#include <QFuture>
#include <QSortFilterProxyModel>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"

namespace ov::edit {

// What an entry's first bytes say about its packing.
struct PackCell {
    enum class State : uint8_t {
        Unknown,     // not read yet
        Unreadable,  // the entry points past the archive's end, or the read failed
        Plain,
        Packed,
    };
    State state = State::Unknown;
    bool hasSize = false;       // the packed header states an unpacked size
    uint32_t unpackedSize = 0;  // when hasSize

    static PackCell of(const Result<archive::PackInfo>& info);
    bool operator==(const PackCell&) const = default;
};

class HogListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Offset, Size, Type, Row, Packed, Change, ColumnCount };

    explicit HogListModel(QObject* parent = nullptr);
    ~HogListModel() override;

    // Shows another archive (or none): a reset, then the Packed column in the background.
    void setArchive(std::shared_ptr<const archive::HogArchive> archive);
    // The same archive read again after an edit of its FAT: rows whose entry changed
    // are refreshed in place (a different entry count resets the list), pack cells are
    // kept for entries that still point at the same bytes and read again for the rest.
    // Returns the rows that changed.
    std::vector<int> updateArchive(std::shared_ptr<const archive::HogArchive> archive);

    // Shows the rows of an edit plan over the same archive (or the archive's own rows
    // again, with none). The plan stays the caller's; planChanged() follows a step.
    void setPlan(const archive::HogEditPlan* plan);
    // The plan took a step or took one back: rows added at the end are inserted or
    // removed there, and every row is shown again.
    void planChanged();
    const archive::HogEditPlan* plan() const { return plan_; }

    const std::shared_ptr<const archive::HogArchive>& archive() const { return archive_; }
    // Rows shown: the archive's entries, or the plan's list.
    int entryCount() const { return rows_; }
    // The archive's entry a row shows; nothing for a file to be added.
    std::optional<size_t> storedIndex(int row) const;
    // What the plan does to a row; nothing without a plan.
    const archive::PlannedEntry* planned(int row) const;
    // The name a row shows (the name it will have, under a plan).
    const std::string& nameOf(int row) const;
    // The archive's entry of a row that has one (storedIndex).
    const archive::HogEntry& entry(int row) const;
    const PackCell& packCell(int row) const;
    // True until every pack cell of the current archive has been read.
    bool packScanRunning() const { return scanning_; }

    // Ordering of two rows by a column, without going through display texts.
    bool lessThan(int left, int right, int column) const;
    // Whether the row's name contains `foldedNeedle`, ignoring letter case
    // (the needle already folded with foldName).
    bool nameContains(int row, std::string_view foldedNeedle) const;
    // Lower case of a Latin-1 name (each byte one character), for nameContains.
    static std::string foldName(std::string_view name);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text of a pack cell, as the Packed column shows it.
    static QString packText(const PackCell& cell);
    // What the Change column says of a planned row ("Added", "Replaced, renamed", ...),
    // and the longer text of its tooltip; both empty for a row left as it is.
    static QString changeText(const archive::PlannedEntry& planned);
    static QString changeDetail(const archive::PlannedEntry& planned,
                                const archive::HogArchive& archive);

signals:
    void packScanFinished();

private:
    void scanPacking(std::vector<uint32_t> rows);
    void stopScan();
    void applyCells(uint64_t generation, const std::vector<uint32_t>& rows,
                    const std::vector<PackCell>& cells);

    // Names in lower case, made the first time a sort or the filter needs them, so
    // that comparing and searching run over plain bytes.
    const std::vector<std::string>& foldedNames() const;

    int countRows() const;

    std::shared_ptr<const archive::HogArchive> archive_;
    const archive::HogEditPlan* plan_ = nullptr;
    int rows_ = 0;
    std::vector<PackCell> cells_;
    mutable std::vector<std::string> folded_;
    mutable bool foldedReady_ = false;
    uint64_t generation_ = 0;  // of the scan whose results are taken
    bool scanning_ = false;
    std::stop_source scanStop_;
    QFuture<void> scan_;
    std::vector<QFuture<void>> retired_;  // stopped scans, waited for at the end
};

// Sorting through HogListModel::lessThan and the case-insensitive name filter. The
// list is not re-sorted while cells change (dynamicSortFilter is off), so a row
// being edited or having its Packed cell filled stays where it is.
class HogFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit HogFilterModel(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* model) override;
    void setNameFilter(const QString& text);
    const QString& nameFilter() const { return filterText_; }

    // The source rows of the given proxy rows.
    int sourceRow(int proxyRow) const;
    // Sorts the rows again by the column they were last sorted by, if any: rows
    // change (a filter, a FAT command) without the list sorting itself.
    void resort();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    HogListModel* hog_ = nullptr;
    QString filterText_;
    std::string needle_;        // folded Latin-1 bytes of the filter
    bool unmatchable_ = false;  // the filter holds a character no name can hold
};

}  // namespace ov::edit
