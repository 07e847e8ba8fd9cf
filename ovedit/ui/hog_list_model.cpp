#include "ovedit/ui/hog_list_model.h"

#include <QColor>
#include <QFont>
#include <QtConcurrent>
#include <algorithm>

#include "ovedit/ui/ui_text.h"

namespace ov::edit {

using archive::HogArchive;
using archive::HogEntry;
using archive::PlannedEntry;

namespace {

// Pack cells travel to the GUI thread in batches of this many rows.
constexpr size_t kScanBatch = 4096;

uint8_t fold(uint8_t c) {
    // ASCII and the Latin-1 capitals (0xC0-0xDE, except the multiplication sign).
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return uint8_t(c + 32);
    return c;
}

// The type as archive::fileType gives it, without making a string.
std::string_view typeOf(std::string_view name) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!name.empty() && blank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && blank(name.back()))
        name.remove_suffix(1);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

int packRank(const PackCell& c) {
    return int(c.state);
}

// Unchanged rows first, then added, replaced, renamed and deleted ones.
int changeRank(const PlannedEntry* p) {
    if (!p || !p->changed()) return 0;
    if (p->deleted) return 5;
    if (p->added()) return 1;
    return p->replaced() ? (p->renamed ? 3 : 2) : 4;
}

}  // namespace

PackCell PackCell::of(const Result<archive::PackInfo>& info) {
    PackCell c;
    if (!info) {
        c.state = State::Unreadable;
        return c;
    }
    c.state = info->packed ? State::Packed : State::Plain;
    if (info->unpackedSize) {
        c.hasSize = true;
        c.unpackedSize = *info->unpackedSize;
    }
    return c;
}

// ---- HogListModel ---------------------------------------------------------------------

HogListModel::HogListModel(QObject* parent) : QAbstractTableModel(parent) {}

HogListModel::~HogListModel() {
    // The scans never ask the user anything, so waiting for them cannot deadlock.
    stopScan();
    for (QFuture<void>& f : retired_)
        f.waitForFinished();
}

void HogListModel::setArchive(std::shared_ptr<const HogArchive> archive) {
    stopScan();
    beginResetModel();
    archive_ = std::move(archive);
    plan_ = nullptr;
    rows_ = countRows();
    cells_.assign(archive_ ? archive_->entries().size() : 0, PackCell{});
    folded_.clear();
    foldedReady_ = false;
    endResetModel();
    std::vector<uint32_t> rows(cells_.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = uint32_t(i);
    scanPacking(std::move(rows));
}

std::vector<int> HogListModel::updateArchive(std::shared_ptr<const HogArchive> archive) {
    if (!archive_ || !archive || plan_ || archive->entries().size() != archive_->entries().size()) {
        const size_t n = archive ? archive->entries().size() : 0;
        setArchive(std::move(archive));
        std::vector<int> all(n);
        for (size_t i = 0; i < n; ++i)
            all[i] = int(i);
        return all;
    }
    stopScan();
    const auto& before = archive_->entries();
    const auto& after = archive->entries();
    std::vector<int> changed;
    for (size_t i = 0; i < after.size(); ++i) {
        const HogEntry &b = before[i], &a = after[i];
        if (a.name == b.name && a.offset == b.offset && a.size == b.size) continue;
        changed.push_back(int(i));
        if (a.offset != b.offset || a.size != b.size) cells_[i] = PackCell{};
        if (foldedReady_ && a.name != b.name) folded_[i] = foldName(a.name);
    }
    archive_ = std::move(archive);
    for (int row : changed)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));

    std::vector<uint32_t> unknown;
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i].state == PackCell::State::Unknown) unknown.push_back(uint32_t(i));
    scanPacking(std::move(unknown));
    return changed;
}

void HogListModel::stopScan() {
    scanStop_.request_stop();
    if (scan_.isValid() && !scan_.isFinished()) retired_.push_back(scan_);
    retired_.erase(std::remove_if(retired_.begin(), retired_.end(),
                                  [](const QFuture<void>& f) { return f.isFinished(); }),
                   retired_.end());
    scan_ = QFuture<void>();
    scanning_ = false;
}

void HogListModel::scanPacking(std::vector<uint32_t> rows) {
    const uint64_t generation = ++generation_;
    if (rows.empty() || !archive_) {
        emit packScanFinished();
        return;
    }
    scanning_ = true;
    scanStop_ = std::stop_source();
    scan_ = QtConcurrent::run([this, archive = archive_, rows = std::move(rows), generation,
                               stop = scanStop_.get_token()] {
        for (size_t start = 0; start < rows.size() && !stop.stop_requested(); start += kScanBatch) {
            const size_t end = std::min(rows.size(), start + kScanBatch);
            std::vector<uint32_t> batch(rows.begin() + ptrdiff_t(start),
                                        rows.begin() + ptrdiff_t(end));
            std::vector<PackCell> cells;
            cells.reserve(batch.size());
            for (uint32_t row : batch)
                cells.push_back(PackCell::of(archive->packInfo(archive->entries()[row])));
            const bool last = end == rows.size();
            // The model outlives this worker (its destructor waits), so posting to it is
            // safe; results of a scan that was replaced meanwhile are dropped there.
            QMetaObject::invokeMethod(
                this,
                [this, generation, batch = std::move(batch), cells = std::move(cells), last] {
                    applyCells(generation, batch, cells);
                    if (last && generation == generation_) {
                        scanning_ = false;
                        emit packScanFinished();
                    }
                },
                Qt::QueuedConnection);
        }
    });
}

void HogListModel::applyCells(uint64_t generation, const std::vector<uint32_t>& rows,
                              const std::vector<PackCell>& cells) {
    if (generation != generation_ || rows.empty()) return;
    for (size_t i = 0; i < rows.size(); ++i)
        cells_[rows[i]] = cells[i];
    // One signal per run of consecutive rows: a whole scan is a handful of signals.
    size_t first = 0;
    for (size_t i = 1; i <= rows.size(); ++i) {
        if (i < rows.size() && rows[i] == rows[i - 1] + 1) continue;
        emit dataChanged(index(int(rows[first]), Packed), index(int(rows[i - 1]), Packed));
        first = i;
    }
}

int HogListModel::countRows() const {
    if (plan_) return int(plan_->entries().size());
    return archive_ ? int(archive_->entries().size()) : 0;
}

void HogListModel::setPlan(const archive::HogEditPlan* plan) {
    plan_ = plan;
    planChanged();
}

void HogListModel::planChanged() {
    // Steps from the window add at the end, and only an added row is ever taken out,
    // so the rows that come and go are at the end.
    const int after = countRows();
    if (after > rows_) {
        beginInsertRows({}, rows_, after - 1);
        rows_ = after;
        endInsertRows();
    } else if (after < rows_) {
        beginRemoveRows({}, after, rows_ - 1);
        rows_ = after;
        endRemoveRows();
    }
    folded_.clear();
    foldedReady_ = false;
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, ColumnCount - 1));
}

std::optional<size_t> HogListModel::storedIndex(int row) const {
    if (row < 0 || row >= rows_) return std::nullopt;
    if (plan_) return plan_->entries()[size_t(row)].original;
    return size_t(row);
}

const PlannedEntry* HogListModel::planned(int row) const {
    if (!plan_ || row < 0 || row >= rows_) return nullptr;
    return &plan_->entries()[size_t(row)];
}

const std::string& HogListModel::nameOf(int row) const {
    if (plan_) return plan_->entries()[size_t(row)].name;
    return archive_->entries()[size_t(row)].name;
}

const HogEntry& HogListModel::entry(int row) const {
    return archive_->entries()[*storedIndex(row)];
}

const PackCell& HogListModel::packCell(int row) const {
    static const PackCell none;
    const auto stored = storedIndex(row);
    return stored ? cells_[*stored] : none;
}

int HogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int HogListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString HogListModel::packText(const PackCell& cell) {
    switch (cell.state) {
        case PackCell::State::Unknown:
            return {};
        case PackCell::State::Unreadable:
            return QStringLiteral("Past the end");
        case PackCell::State::Plain:
            return QStringLiteral("No");
        case PackCell::State::Packed:
            return cell.hasSize
                       ? QStringLiteral("Yes, %1 bytes").arg(groupedNumber(cell.unpackedSize))
                       : QStringLiteral("Yes");
    }
    return {};
}

QString HogListModel::changeText(const PlannedEntry& p) {
    if (p.deleted) return QStringLiteral("Deleted");
    if (p.added()) return p.pack ? QStringLiteral("Added, packed") : QStringLiteral("Added");
    QStringList parts;
    if (p.replaced())
        parts << (p.pack ? QStringLiteral("Replaced, packed") : QStringLiteral("Replaced"));
    if (p.renamed)
        parts << (parts.isEmpty() ? QStringLiteral("Renamed") : QStringLiteral("renamed"));
    return parts.join(QStringLiteral(", "));
}

QString HogListModel::changeDetail(const PlannedEntry& p, const HogArchive& archive) {
    if (!p.changed()) return {};
    QStringList lines;
    const QString file = fromPath(p.file.string());
    if (p.deleted) {
        lines << QStringLiteral("To be deleted");
    } else if (p.added()) {
        lines << QStringLiteral("To be added from %1").arg(file);
    } else {
        if (p.replaced()) lines << QStringLiteral("To be replaced with %1").arg(file);
        if (p.renamed)
            lines << QStringLiteral("Renamed from %1")
                         .arg(fromEntryName(archive.entries()[*p.original].name));
    }
    if (!p.deleted && !p.file.empty())
        lines << (p.pack ? QStringLiteral("The file will be packed unless it is packed already")
                         : QStringLiteral("The file will be stored as it is"));
    lines << QStringLiteral("Not written until the changes are applied");
    return lines.join('\n');
}

QVariant HogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) return {};
    const int row = index.row();
    const std::optional<size_t> stored = storedIndex(row);
    const HogEntry* e = stored ? &archive_->entries()[*stored] : nullptr;
    const PackCell& cell = packCell(row);
    const PlannedEntry* p = planned(row);
    const bool changed = p && p->changed();
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Name:
                    return fromEntryName(nameOf(row));
                case Offset:
                    return e ? QString::fromStdString(archive::hexText(e->offset)) : QString();
                case Size:
                    return e ? QString::fromStdString(archive::hexText(e->size)) : QString();
                case Type:
                    return fromEntryName(archive::fileType(nameOf(row)));
                case Row:
                    return QString::number(row + 1);
                case Packed:
                    return packText(cell);
                case Change:
                    return p ? changeText(*p) : QString();
            }
            break;
        case Qt::ToolTipRole: {
            QString tip;
            switch (index.column()) {
                case Name:
                    tip = fromEntryName(nameOf(row));
                    break;
                case Offset:
                    if (e) tip = QStringLiteral("Offset %1").arg(groupedNumber(e->offset));
                    break;
                case Size:
                    if (e) tip = QStringLiteral("%1 bytes").arg(groupedNumber(e->size));
                    break;
                case Packed:
                    if (cell.state == PackCell::State::Unreadable)
                        tip = QStringLiteral("The entry points past the end of the archive");
                    break;
            }
            if (changed) {
                const QString detail = changeDetail(*p, *archive_);
                tip = tip.isEmpty() ? detail : tip + '\n' + detail;
            }
            if (!tip.isEmpty()) return tip;
            break;
        }
        case Qt::FontRole:
            if (changed) {
                QFont font;
                font.setItalic(true);
                font.setStrikeOut(p->deleted);
                return font;
            }
            break;
        case Qt::ForegroundRole:
            if (changed && p->deleted) return QColor(Qt::gray);
            break;
        case Qt::TextAlignmentRole:
            if (index.column() == Offset || index.column() == Size || index.column() == Row)
                return int(Qt::AlignRight | Qt::AlignVCenter);
            break;
    }
    return {};
}

QVariant HogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case Name:
            return QStringLiteral("File Name");
        case Offset:
            return QStringLiteral("Offset (Hex)");
        case Size:
            return QStringLiteral("Size (Hex)");
        case Type:
            return QStringLiteral("Type");
        case Row:
            return QStringLiteral("No.");
        case Packed:
            return QStringLiteral("Packed");
        case Change:
            return QStringLiteral("Change");
    }
    return {};
}

Qt::ItemFlags HogListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

const std::vector<std::string>& HogListModel::foldedNames() const {
    if (!foldedReady_) {
        folded_.resize(size_t(rows_));
        for (int i = 0; i < rows_; ++i)
            folded_[size_t(i)] = foldName(nameOf(i));
        foldedReady_ = true;
    }
    return folded_;
}

bool HogListModel::lessThan(int left, int right, int column) const {
    // Files to be added have no offset or size yet: they sort after every stored entry.
    const std::optional<size_t> sa = storedIndex(left), sb = storedIndex(right);
    if ((column == Offset || column == Size) && (!sa || !sb)) {
        if (sa || sb) return bool(sa);
        return left < right;
    }
    switch (column) {
        case Name: {
            const auto& names = foldedNames();
            return names[size_t(left)] < names[size_t(right)];
        }
        case Offset:
            return entry(left).offset < entry(right).offset;
        case Size:
            return entry(left).size < entry(right).size;
        case Type: {
            const auto& names = foldedNames();
            return typeOf(names[size_t(left)]) < typeOf(names[size_t(right)]);
        }
        case Packed: {
            const PackCell &x = packCell(left), &y = packCell(right);
            if (packRank(x) != packRank(y)) return packRank(x) < packRank(y);
            if (x.hasSize != y.hasSize) return !x.hasSize;
            return x.unpackedSize < y.unpackedSize;
        }
        case Change: {
            const int a = changeRank(planned(left)), b = changeRank(planned(right));
            return a != b ? a < b : left < right;
        }
        default:
            return left < right;
    }
}

std::string HogListModel::foldName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = char(fold(uint8_t(c)));
    return out;
}

bool HogListModel::nameContains(int row, std::string_view needle) const {
    return foldedNames()[size_t(row)].find(needle) != std::string::npos;
}

// ---- HogFilterModel -------------------------------------------------------------------

HogFilterModel::HogFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(false);
}

void HogFilterModel::setSourceModel(QAbstractItemModel* model) {
    hog_ = qobject_cast<HogListModel*>(model);
    QSortFilterProxyModel::setSourceModel(model);
}

void HogFilterModel::setNameFilter(const QString& text) {
    if (text == filterText_) return;
    filterText_ = text;
    unmatchable_ = false;
    for (QChar c : text)
        if (c.unicode() > 0xFF) unmatchable_ = true;
    needle_ = HogListModel::foldName(text.toLatin1().toStdString());
    invalidateFilter();
    // Rows the filter lets back in come in source order.
    resort();
}

void HogFilterModel::resort() {
    if (sortColumn() >= 0) sort(sortColumn(), sortOrder());
}

int HogFilterModel::sourceRow(int proxyRow) const {
    return mapToSource(index(proxyRow, 0)).row();
}

bool HogFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (!hog_ || filterText_.isEmpty()) return true;
    return !unmatchable_ && hog_->nameContains(sourceRow, needle_);
}

bool HogFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    return hog_ ? hog_->lessThan(left.row(), right.row(), left.column())
                : QSortFilterProxyModel::lessThan(left, right);
}

}  // namespace ov::edit
