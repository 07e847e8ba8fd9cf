#include "ovedit/ui/hog_list_model.h"

#include <QtConcurrent>
#include <algorithm>

#include "ovedit/ui/ui_text.h"

namespace ov::edit {

using archive::HogArchive;
using archive::HogEntry;

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
    if (!archive_ || !archive || archive->entries().size() != archive_->entries().size()) {
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

int HogListModel::entryCount() const {
    return archive_ ? int(archive_->entries().size()) : 0;
}

const HogEntry& HogListModel::entry(int row) const {
    return archive_->entries()[size_t(row)];
}

int HogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : entryCount();
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

QVariant HogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= entryCount()) return {};
    const HogEntry& e = entry(index.row());
    const PackCell& cell = cells_[size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Name:
                    return fromEntryName(e.name);
                case Offset:
                    return QString::fromStdString(archive::hexText(e.offset));
                case Size:
                    return QString::fromStdString(archive::hexText(e.size));
                case Type:
                    return fromEntryName(archive::fileType(e.name));
                case Row:
                    return QString::number(index.row() + 1);
                case Packed:
                    return packText(cell);
            }
            break;
        case Qt::ToolTipRole:
            switch (index.column()) {
                case Name:
                    return fromEntryName(e.name);
                case Offset:
                    return QStringLiteral("Offset %1").arg(groupedNumber(e.offset));
                case Size:
                    return QStringLiteral("%1 bytes").arg(groupedNumber(e.size));
                case Packed:
                    if (cell.state == PackCell::State::Unreadable)
                        return QStringLiteral("The entry points past the end of the archive");
                    break;
            }
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
        const auto& entries = archive_->entries();
        folded_.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            folded_[i] = foldName(entries[i].name);
        foldedReady_ = true;
    }
    return folded_;
}

bool HogListModel::lessThan(int left, int right, int column) const {
    const HogEntry &a = entry(left), &b = entry(right);
    switch (column) {
        case Name: {
            const auto& names = foldedNames();
            return names[size_t(left)] < names[size_t(right)];
        }
        case Offset:
            return a.offset < b.offset;
        case Size:
            return a.size < b.size;
        case Type: {
            const auto& names = foldedNames();
            return typeOf(names[size_t(left)]) < typeOf(names[size_t(right)]);
        }
        case Packed: {
            const PackCell &x = cells_[size_t(left)], &y = cells_[size_t(right)];
            if (packRank(x) != packRank(y)) return packRank(x) < packRank(y);
            if (x.hasSize != y.hasSize) return !x.hasSize;
            return x.unpackedSize < y.unpackedSize;
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
