// Writing archives: header, FAT, then every item's data. One writer serves building
// from memory or files and rebuilding an edited archive; it streams, so an
// archive's size never decides how much memory is used.

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "common/fileio.h"
#include "common/refpack.h"
#include "hog.h"
#include "hog_internal.h"

namespace ov::archive {

std::string entryNameFor(const fs::path& file, const fs::path& base) {
    if (base.empty()) return pathText(file.filename());
    std::string name = pathText(file.lexically_relative(base));
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

Status checkEntryName(std::string_view name) {
    if (name.find('\0') != std::string_view::npos)
        return makeError(ErrorKind::Refused, "the name \"" +
                                                 std::string(name.substr(0, name.find('\0'))) +
                                                 "...\" contains a zero byte");
    // Refuse what extraction would refuse, so every archive written here extracts.
    if (auto where = targetPath("x", name); !where) {
        // Extraction's sentence is "Refused to extract "NAME": why"; only the why fits here.
        const std::string& said = where.error().message;
        const size_t why = said.rfind("\": ");
        return makeError(ErrorKind::Refused,
                         std::string(1, '"').append(name) + "\" can't name an entry: " +
                             (why == std::string::npos ? said : said.substr(why + 3)));
    }
    return {};
}

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

}  // namespace

Status checkNewNames(std::span<const std::string> names) {
    for (const std::string& n : names)
        if (auto st = checkEntryName(n); !st) return st;
    std::vector<std::pair<std::string, size_t>> lowered;
    lowered.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        lowered.emplace_back(lowerAscii(names[i]), i);
    std::sort(lowered.begin(), lowered.end());
    for (size_t i = 1; i < lowered.size(); ++i)
        if (lowered[i].first == lowered[i - 1].first)
            return makeError(ErrorKind::Refused,
                             "two entries would be named \"" +
                                 names[std::max(lowered[i].second, lowered[i - 1].second)] +
                                 "\" (names are matched ignoring case)");
    return {};
}

namespace {

// How many bytes of input may wait in the packing window: enough for every core to
// work on the small and middling items archives mostly hold, and a bound on memory
// (input plus packed output) that does not depend on the archive's size.
constexpr uint64_t kPackWindow = uint64_t(16) << 20;
// Long copies are cut into pieces of this size to report progress and look at stop
// requests as they go.
constexpr uint64_t kCopyPiece = uint64_t(16) << 20;

struct Prepared {
    Bytes bytes;
    bool asGiven = false;  // already packed: stored as the source holds it
};

Result<Prepared> prepare(const ChunkSource& c, refpack::Level level) {
    auto fail = [&](const Error& e) {
        return makeError(e.kind, std::string(1, '"').append(c.label) + "\": " + e.describe());
    };
    if (c.kind == ChunkSource::Kind::Memory) {
        if (refpack::isPacked(c.memory)) return Prepared{{}, true};
        auto packed = refpack::encode(c.memory, level);
        if (!packed) return fail(packed.error());
        return Prepared{std::move(*packed), false};
    }
    auto file = ReadOnlyFile::open(c.file);
    if (!file) return fail(file.error());
    auto size = fileSize(c.file);
    if (!size) return fail(size.error());
    uint8_t head[2];
    auto got = file->readAt(0, head);
    if (!got) return fail(got.error());
    if (refpack::isPacked(ByteSpan(head, *got))) return Prepared{{}, true};
    if (*size > refpack::kMaxPackInput)
        return makeError(ErrorKind::Refused,
                         c.file.string() + ": " + std::to_string(*size) +
                             " bytes is too large to pack (the limit is 16 MiB less one byte)");
    Bytes data(static_cast<size_t>(*size));
    got = file->readAt(0, data);
    if (!got) return fail(got.error());
    data.resize(*got);
    auto packed = refpack::encode(data, level);
    if (!packed) return fail(packed.error());
    return Prepared{std::move(*packed), false};
}

// Bytes of input a chunk stands for, as far as it can be told before reading it.
uint64_t inputSize(const ChunkSource& c) {
    switch (c.kind) {
        case ChunkSource::Kind::Memory:
            return c.memory.size();
        case ChunkSource::Kind::Archive:
            return c.size;
        case ChunkSource::Kind::File: {
            std::error_code ec;
            uint64_t n = fs::file_size(c.file, ec);
            return ec ? 0 : n;
        }
    }
    return 0;
}

// Packs the chunks that ask for it on worker threads, in the writer's order and
// ahead of it, with at most kPackWindow bytes of input started but not yet taken
// (or one chunk of any size when nothing else is). The writer takes each result in
// turn; the destructor lets the workers finish the chunk they are on and waits.
class ParallelPacker {
public:
    ParallelPacker(const std::vector<ChunkSource>& chunks, const PackOptions& options)
        : chunks_(chunks), level_(options.level) {
        for (size_t i = 0; i < chunks.size(); ++i)
            if (chunks[i].pack && chunks[i].kind != ChunkSource::Kind::Archive) {
                order_.push_back(i);
                // A file too large to pack is either packed already, copied later
                // as it is, or refused: it holds no memory here.
                const uint64_t size = inputSize(chunks[i]);
                cost_.push_back(size > refpack::kMaxPackInput ? 0 : size);
            }
        results_.resize(order_.size());
        unsigned n = options.threads ? options.threads : std::thread::hardware_concurrency();
        n = std::max(1u, n);
        n = unsigned(std::min<size_t>(n, order_.size()));
        for (unsigned t = 0; t < n; ++t)
            threads_.emplace_back([this] { work(); });
    }

    ~ParallelPacker() {
        {
            std::lock_guard lock(m_);
            quit_ = true;
        }
        cv_.notify_all();
        for (auto& t : threads_)
            t.join();
    }

    ParallelPacker(const ParallelPacker&) = delete;
    ParallelPacker& operator=(const ParallelPacker&) = delete;

    // The packed bytes of chunk `index`; chunks are taken once each, in order.
    Result<Prepared> take(size_t index) {
        std::unique_lock lock(m_);
        const size_t k = taken_;
        if (k >= order_.size() || order_[k] != index)
            return makeError(ErrorKind::Other, "chunks taken out of order");
        cv_.wait(lock, [&] { return results_[k].has_value(); });
        Result<Prepared> r = std::move(*results_[k]);
        results_[k].reset();
        inFlight_ -= cost_[k];
        ++taken_;
        lock.unlock();
        cv_.notify_all();
        return r;
    }

private:
    bool mayStart() const { return inFlight_ == 0 || inFlight_ + cost_[next_] <= kPackWindow; }

    void work() {
        std::unique_lock lock(m_);
        for (;;) {
            cv_.wait(lock, [&] { return quit_ || next_ >= order_.size() || mayStart(); });
            if (quit_ || next_ >= order_.size()) return;
            const size_t k = next_++;
            inFlight_ += cost_[k];
            lock.unlock();
            Result<Prepared> r = prepare(chunks_[order_[k]], level_);
            lock.lock();
            results_[k].emplace(std::move(r));
            cv_.notify_all();
        }
    }

    const std::vector<ChunkSource>& chunks_;
    const refpack::Level level_;
    std::vector<size_t> order_;  // chunks that pack, in order
    std::vector<uint64_t> cost_;
    std::vector<std::optional<Result<Prepared>>> results_;
    size_t next_ = 0;   // next of order_ to start
    size_t taken_ = 0;  // results handed to the writer
    uint64_t inFlight_ = 0;
    bool quit_ = false;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::thread> threads_;
};

// The header and FAT of `entries`, fatLength bytes.
Bytes fatBytes(const WrittenHog& w) {
    ByteWriter out(w.fatLength);
    out.bytes(ByteSpan(reinterpret_cast<const uint8_t*>("BIGF"), 4));
    out.u32be(w.hogSize);
    out.u32be(uint32_t(w.entries.size()));
    out.u32be(w.fatLength);
    for (const HogEntry& e : w.entries) {
        out.u32be(e.offset);
        out.u32be(e.size);
        out.bytes(ByteSpan(reinterpret_cast<const uint8_t*>(e.name.data()), e.name.size()));
        out.u8(0);
    }
    return out.take();
}

Error tooLarge() {
    return makeError(ErrorKind::OutOfRange, "the archive would be larger than 4 GiB");
}

}  // namespace

Result<WrittenHog> writeLayout(const Layout& layout, HogSink& sink, const PackOptions& options,
                               const Job& job) {
    if (layout.rows.size() > kMaxItemCount)
        return makeError(ErrorKind::OutOfRange,
                         "an archive holds at most " + std::to_string(kMaxItemCount) + " items");
    uint64_t fatLength = kHeaderSize;
    for (const LayoutRow& r : layout.rows)
        fatLength += 8 + r.name.size() + 1;
    if (fatLength > UINT32_MAX) return tooLarge();

    const auto& chunks = layout.chunks;
    Progress p;
    p.total = chunks.size();
    uint64_t totalInput = 0;
    for (const ChunkSource& c : chunks)
        totalInput += inputSize(c);
    p.totalBytes = totalInput;

    // The FAT's place first; it is filled in once every offset and size is known.
    if (auto st = sink.append(Bytes(size_t(fatLength), 0)); !st) return st.error();

    std::optional<ParallelPacker> packer;
    if (std::any_of(chunks.begin(), chunks.end(), [](const ChunkSource& c) { return c.pack; }))
        packer.emplace(chunks, options);

    auto stopped = [&](size_t i) {
        return makeError(ErrorKind::Stopped, "stopped after " + std::to_string(i) + " of " +
                                                 std::to_string(chunks.size()) + " items");
    };
    // Copies a range in pieces, with progress and a look at stop requests between.
    auto copyRange = [&](size_t i, const ReadOnlyFile& from, uint64_t offset,
                         uint64_t size) -> Status {
        for (uint64_t done = 0; done < size;) {
            if (done > 0) {
                if (job.stopRequested()) return stopped(i);
                job.report(p);
            }
            const uint64_t piece = std::min(kCopyPiece, size - done);
            if (auto st = sink.appendFrom(from, offset + done, piece); !st) return st;
            done += piece;
            p.bytes += piece;
            if (sink.size() > UINT32_MAX) return tooLarge();
        }
        return {};
    };
    auto copyFile = [&](size_t i, const fs::path& file) -> Status {
        auto f = ReadOnlyFile::open(file);
        if (!f) return f.error();
        auto size = fileSize(file);
        if (!size) return size.error();
        if (auto st = copyRange(i, *f, 0, *size); !st) {
            // A write that failed names the archive being written, not the file read.
            if (st.error().kind == ErrorKind::WriteFailed || st.error().kind == ErrorKind::Stopped)
                return st;
            return makeError(st.error().kind, file.string() + ": " + st.error().describe());
        }
        return {};
    };

    std::vector<uint64_t> chunkOffset(chunks.size()), chunkSize(chunks.size());
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (job.stopRequested()) return stopped(i);
        const ChunkSource& c = chunks[i];
        p.done = i;
        const uint64_t bytesBefore = p.bytes;
        if (job.progress) {
            const char* verb = c.kind == ChunkSource::Kind::Archive ? "Copying "
                               : c.pack                             ? "Packing "
                                                                    : "Adding ";
            p.status = verb + c.label;
            job.report(p);
        }
        const uint64_t at = sink.size();
        Status st;
        if (c.kind == ChunkSource::Kind::Archive) {
            // Ranges that follow each other in the old archive go in one copy: an
            // unchanged stretch of thousands of entries costs a few calls, not thousands.
            size_t last = i;
            uint64_t run = c.size;
            while (last + 1 < chunks.size()) {
                const ChunkSource& prev = chunks[last];
                const ChunkSource& next = chunks[last + 1];
                if (next.kind != ChunkSource::Kind::Archive || next.from != c.from ||
                    next.offset != prev.offset + prev.size || run + next.size > kCopyPiece)
                    break;
                run += next.size;
                ++last;
            }
            if (auto copied = copyRange(i, *c.from, c.offset, run); !copied) return copied.error();
            uint64_t offset = at;
            for (size_t k = i; k <= last; ++k) {
                chunkOffset[k] = offset;
                chunkSize[k] = chunks[k].size;
                offset += chunks[k].size;
            }
            p.bytes = bytesBefore + run;
            i = last;
            continue;
        }
        bool asGiven = !c.pack;
        if (c.pack) {
            auto r = packer->take(i);
            if (!r) return r.error();
            asGiven = r->asGiven;
            if (!asGiven) st = sink.append(r->bytes);
        }
        if (asGiven)
            st = c.kind == ChunkSource::Kind::Memory ? sink.append(c.memory) : copyFile(i, c.file);
        if (!st) return st.error();
        if (sink.size() > UINT32_MAX) return tooLarge();
        chunkOffset[i] = at;
        chunkSize[i] = sink.size() - at;
        p.bytes = bytesBefore + inputSize(c);
    }

    WrittenHog w;
    w.fatLength = uint32_t(fatLength);
    w.hogSize = uint32_t(sink.size());
    w.entries.reserve(layout.rows.size());
    uint64_t entryPos = kHeaderSize;
    for (const LayoutRow& r : layout.rows) {
        const uint64_t offset = chunkOffset[r.chunk] + r.within;
        const uint64_t size = r.size.value_or(chunkSize[r.chunk]);
        w.entries.push_back(HogEntry{r.name, uint32_t(size), uint32_t(offset), uint32_t(entryPos)});
        entryPos += 8 + r.name.size() + 1;
    }
    if (auto st = sink.patch(0, fatBytes(w)); !st) return st.error();
    p.done = chunks.size();
    p.status.clear();
    job.report(p);
    return w;
}

// ---- Building from items in memory or from files -------------------------------------

namespace {

class MemorySink final : public HogSink {
public:
    Status append(ByteSpan bytes) override {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
        return {};
    }
    Status appendFrom(const ReadOnlyFile& from, uint64_t offset, uint64_t size) override {
        const size_t at = out_.size();
        out_.resize(at + size_t(size));
        auto got = from.readAt(offset, std::span<uint8_t>(out_).subspan(at));
        if (!got) return got.error();
        if (*got != size)
            return makeError(ErrorKind::ReadFailed, "the source ends before the bytes to copy");
        return {};
    }
    Status patch(uint64_t offset, ByteSpan bytes) override {
        if (offset + bytes.size() > out_.size()) out_.resize(size_t(offset + bytes.size()));
        std::memcpy(out_.data() + offset, bytes.data(), bytes.size());
        return {};
    }
    uint64_t size() const override { return out_.size(); }
    Bytes take() { return std::move(out_); }

private:
    Bytes out_;
};

Result<Layout> layoutOfItems(std::span<const HogItem> items, bool pack) {
    std::vector<std::string> names;
    names.reserve(items.size());
    for (const HogItem& item : items)
        names.push_back(item.name);
    for (const std::string& n : names)
        if (auto st = checkEntryName(n); !st) return st.error();
    Layout layout;
    for (size_t i = 0; i < items.size(); ++i) {
        ChunkSource c;
        c.memory = items[i].data;
        c.pack = pack;
        c.label = items[i].name;
        layout.chunks.push_back(std::move(c));
        layout.rows.push_back({items[i].name, i, 0, std::nullopt});
    }
    return layout;
}

Status commitLayout(const fs::path& path, const Layout& layout, const PackOptions& options,
                    const Job& job, WrittenHog* written = nullptr) {
    auto staged = AtomicFile::create(path);
    if (!staged) return staged.error();
    StagedSink sink(*staged);
    auto w = writeLayout(layout, sink, options, job);
    if (!w) return w.error();
    if (auto st = staged->commit(AtomicFile::Flush::ToDisk); !st) return st;
    if (written) *written = std::move(*w);
    return {};
}

}  // namespace

Result<Bytes> buildHog(std::span<const HogItem> items, bool pack, const Job& job,
                       const PackOptions& options) {
    auto layout = layoutOfItems(items, pack);
    if (!layout) return layout.error();
    MemorySink sink;
    auto w = writeLayout(*layout, sink, options, job);
    if (!w) return w.error();
    return sink.take();
}

Status writeHog(const fs::path& path, std::span<const HogItem> items, bool pack, const Job& job,
                const PackOptions& options) {
    auto layout = layoutOfItems(items, pack);
    if (!layout) return layout.error();
    return commitLayout(path, *layout, options, job);
}

Result<WrittenHog> writeHogFiles(const fs::path& path, std::span<const HogFileItem> items,
                                 bool pack, const PackOptions& options, const Job& job) {
    std::vector<std::string> names;
    names.reserve(items.size());
    for (const HogFileItem& item : items)
        names.push_back(item.name);
    if (auto st = checkNewNames(names); !st) return st.error();
    Layout layout;
    for (size_t i = 0; i < items.size(); ++i) {
        ChunkSource c;
        c.kind = ChunkSource::Kind::File;
        c.file = items[i].file;
        c.pack = pack;
        c.label = items[i].name;
        layout.chunks.push_back(std::move(c));
        layout.rows.push_back({items[i].name, i, 0, std::nullopt});
    }
    WrittenHog written;
    if (auto st = commitLayout(path, layout, options, job, &written); !st) return st.error();
    return written;
}

}  // namespace ov::archive
