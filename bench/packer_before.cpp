// The RefPack packer levels as they were before the parser and match finder were
// reworked, kept unchanged as the in-run reference for the packed sizes and pack
// speed of bench/codec_bench. Not used by the toolkit.

#include "packer_before.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace before {

using ov::Bytes;
using ov::ByteSpan;

namespace {

constexpr size_t kMaxDistance = 131072;
constexpr size_t kMaxLength = 1028;
constexpr size_t kMinMatch = 3;

// The smallest command that can carry a run, in bytes, or 0 when none can.
inline uint32_t runCost(size_t len, size_t dist) {
    if (len <= 10 && dist <= 1024) return len >= 3 ? 2 : 0;
    if (len <= 67 && dist <= 16384) return len >= 4 ? 3 : 0;
    if (len <= kMaxLength && dist <= kMaxDistance) return len >= 5 ? 4 : 0;
    return 0;
}

// Writes commands. Literals are buffered as a range of the input; a run command
// takes the last 0-3 of them, literal-only commands the rest in multiples of 4.
class Emitter {
public:
    Emitter(Bytes& out, const uint8_t* src) : out_(out), src_(src) {}

    // Literals [from, to) followed by a run of len bytes from dist back.
    void run(size_t from, size_t to, size_t len, size_t dist) {
        const size_t lit = literalBlocks(from, to);
        const size_t litFrom = to - lit;
        const size_t d = dist - 1;
        uint8_t cmd[4];
        size_t cmdLen;
        if (len <= 10 && dist <= 1024) {
            cmd[0] = uint8_t(((d >> 3) & 0x60) | ((len - 3) << 2) | lit);
            cmd[1] = uint8_t(d);
            cmdLen = 2;
        } else if (len <= 67 && dist <= 16384) {
            cmd[0] = uint8_t(0x80 | (len - 4));
            cmd[1] = uint8_t((lit << 6) | (d >> 8));
            cmd[2] = uint8_t(d);
            cmdLen = 3;
        } else {
            const size_t l = len - 5;
            cmd[0] = uint8_t(0xC0 | ((d >> 12) & 0x10) | ((l >> 6) & 0x0C) | lit);
            cmd[1] = uint8_t(d >> 8);
            cmd[2] = uint8_t(d);
            cmd[3] = uint8_t(l);
            cmdLen = 4;
        }
        out_.insert(out_.end(), cmd, cmd + cmdLen);
        out_.insert(out_.end(), src_ + litFrom, src_ + to);
    }

    // Literals [from, to) and the end command.
    void finish(size_t from, size_t to) {
        const size_t lit = literalBlocks(from, to);
        out_.push_back(uint8_t(0xFC | lit));
        out_.insert(out_.end(), src_ + to - lit, src_ + to);
    }

private:
    // Emits the literal-only commands for [from, to) and returns how many (0-3)
    // literals are left for the next command.
    size_t literalBlocks(size_t from, size_t to) {
        while (to - from >= 4) {
            size_t n = (to - from) & ~size_t(3);
            if (n > 112) n = 112;
            out_.push_back(uint8_t(0xE0 + (n / 4 - 1)));
            out_.insert(out_.end(), src_ + from, src_ + from + n);
            from += n;
        }
        return to - from;
    }

    Bytes& out_;
    const uint8_t* src_;
};

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common prefix of a and b, at most limit bytes; b lies after a.
inline size_t matchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (n + 8 <= limit) {
        const uint64_t x = load64(a + n) ^ load64(b + n);
        if (x) {
            if constexpr (std::endian::native == std::endian::little)
                return n + size_t(std::countr_zero(x)) / 8;
            else
                return n + size_t(std::countl_zero(x)) / 8;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

inline uint32_t hash4(uint32_t v, int bits) {
    return (v * 2654435761u) >> (32 - bits);
}
inline uint32_t hash3(const uint8_t* p, int bits) {
    const uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    return (v * 2246822519u) >> (32 - bits);
}

// Tables sized to the input, so small inputs pack without clearing large tables:
// ceil(log2(n)) bits, between 8 and `most`.
int tableBits(size_t n, int most) {
    int bits = 8;
    while (bits < most && (size_t(1) << bits) < n)
        ++bits;
    return bits;
}

Bytes startStream(size_t n) {
    Bytes out;
    out.reserve(n + n / 100 + 16);
    out.push_back(0x10);
    out.push_back(0xFB);
    out.push_back(uint8_t(n >> 16));
    out.push_back(uint8_t(n >> 8));
    out.push_back(uint8_t(n));
    return out;
}

// Greedy: one hash table of the last position of each 4-byte value; take the run
// found there when a command can carry it. On long stretches without runs the
// search steps further apart, as incompressible data gains nothing from a closer
// look.
Bytes encodeFast(ByteSpan in) {
    const uint8_t* src = in.data();
    const size_t n = in.size();
    Bytes out = startStream(n);
    Emitter e(out, src);
    const int bits = tableBits(n, 16);
    std::vector<uint32_t> table(size_t(1) << bits, 0);  // position + 1; 0 is empty
    const size_t last = n >= 4 ? n - 4 : 0;  // final position where 4 bytes can be hashed
    // The run at i that the table offers, if a command can carry it (len 0 if
    // not); i is indexed as it is looked at.
    auto probe = [&](size_t i, size_t& dist) -> size_t {
        const uint32_t h = hash4(load32(src + i), bits);
        const size_t cand = table[h];
        table[h] = uint32_t(i + 1);
        if (cand == 0) return 0;
        const size_t c = cand - 1;
        dist = i - c;
        if (dist > kMaxDistance || load32(src + c) != load32(src + i)) return 0;
        const size_t limit = std::min(n - i, kMaxLength);
        const size_t len = 4 + matchLength(src + c + 4, src + i + 4, limit - 4);
        return runCost(len, dist) != 0 ? len : 0;
    };
    size_t litStart = 0;
    size_t i = 0;
    size_t misses = 0;
    while (n >= 4 && i <= last) {
        size_t dist = 0;
        size_t len = probe(i, dist);
        if (len == 0) {
            ++misses;
            i += 1 + (misses >> 6);
            continue;
        }
        // One step of lazy matching: a run starting one byte later that is
        // longer by two or more pays for the extra literal.
        if (len < 32 && i + 1 <= last) {
            size_t dist1 = 0;
            const size_t len1 = probe(i + 1, dist1);
            if (len1 >= len + 2) {
                ++i;
                len = len1;
                dist = dist1;
            }
        }
        e.run(litStart, i, len, dist);
        // Index a few positions inside the run so the next one can reach back
        // into it.
        const size_t end = i + len;
        for (size_t k = i + 2; k < end && k <= last; k += (len > 32 ? 7 : 2))
            table[hash4(load32(src + k), bits)] = uint32_t(k + 1);
        if (end - 1 <= last && end - 1 > i)
            table[hash4(load32(src + end - 1), bits)] = uint32_t(end);
        i = end;
        litStart = i;
        misses = 0;
    }
    e.finish(litStart, n);
    return out;
}

// ---------------------------------------------------------------------------
// Best: a shortest-path parse over the real command costs.
//
// For each position the match finder lists runs of growing length, each at the
// smallest distance found for it. The parse then keeps, for each position, the
// cheapest way to get there in five states: just after a run (0), after 1, 2 or 3
// literals (which ride free in the next command), or after 4 or more literals
// (which need literal-only commands: one byte per 112 literals, rounded up). A run
// command costs 2, 3 or 4 bytes by its length and distance.

struct Match {
    uint32_t len;
    uint32_t dist;
};

// A binary tree of earlier positions per 3-byte hash, ordered by the bytes that
// follow them, newest at the root. Searching for a position also inserts it:
// the walk from the root visits the positions whose continuations sort next to
// this one's, which are the ones sharing the longest prefixes with it, and
// re-links them around the new root. Visited positions get older along the walk,
// so each new longest run is found at its smallest distance.
class MatchFinder {
public:
    MatchFinder(const uint8_t* src, size_t n, unsigned depth, size_t niceLen)
        : src_(src),
          n_(n),
          depth_(depth),
          niceLen_(niceLen),
          hashBits_(tableBits(n, 17)),
          treeMask_((size_t(1) << tableBits(n, 18)) - 1),
          head_(size_t(1) << hashBits_, kEmpty),
          tree_(2 * (treeMask_ + 1), kEmpty) {}

    // Inserts position i (positions are inserted once each, in order, by find or
    // skip) and writes to `out` the runs starting there, by growing length and
    // distance. Returns the count; stops early at a run of niceLen.
    size_t find(size_t i, Match* out) { return walk(i, out); }

    // Inserts position i without reporting runs.
    void skip(size_t i) { walk(i, nullptr); }

private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

    // The tree has a slot per position of the input or, for long inputs, 2^18
    // slots, more than kMaxDistance, so a slot within reach is never reused.

    size_t walk(size_t i, Match* out) {
        if (i + 3 > n_) return 0;
        const size_t limit = std::min(n_ - i, kMaxLength);
        const uint8_t* cur = src_ + i;
        const uint32_t h = hash3(cur, hashBits_);
        uint32_t c = head_[h];
        head_[h] = uint32_t(i);
        // Left: the newest subtree of positions sorting before i; right: after.
        uint32_t* left = &tree_[2 * (i & treeMask_)];
        uint32_t* right = left + 1;
        size_t lenLeft = 0, lenRight = 0;  // prefix every position under left/right shares
        size_t best = 2, count = 0;
        for (unsigned steps = depth_;; --steps) {
            if (c == kEmpty || i - c > kMaxDistance || steps == 0) {
                *left = *right = kEmpty;
                break;
            }
            uint32_t* pair = &tree_[2 * (c & treeMask_)];
            const uint8_t* cand = src_ + c;
            size_t len = std::min(lenLeft, lenRight);
            if (cand[len] == cur[len]) {
                len = len + 1 + matchLength(cand + len + 1, cur + len + 1, limit - len - 1);
                if (len > best) {
                    best = len;
                    if (out) out[count++] = {uint32_t(len), uint32_t(i - c)};
                }
                if (len >= limit || len >= niceLen_) {
                    // c's continuation equals ours as far as we can tell: i takes
                    // its place in the tree.
                    *left = pair[0];
                    *right = pair[1];
                    break;
                }
            }
            if (cand[len] < cur[len]) {
                *left = c;
                left = &pair[1];
                c = *left;
                lenLeft = len;
            } else {
                *right = c;
                right = &pair[0];
                c = *right;
                lenRight = len;
            }
        }
        return count;
    }

    const uint8_t* src_;
    size_t n_;
    unsigned depth_;
    size_t niceLen_;
    int hashBits_;
    size_t treeMask_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> tree_;
};

constexpr uint32_t kInf = 0xFFFFFFFFu;

struct Node {
    uint32_t cost[5];  // states: 0 after a run, 1-3 short literal tail, 4 long tail
    uint32_t longRun;  // literals in the long tail of state 4
    uint32_t runLen;   // how state 0 was reached: run length,
    uint32_t runDist;  // its distance,
    uint8_t runFrom;   // and the state it left
    uint8_t longFrom;  // state 4 came from state 3 or 4
};

inline uint32_t minState(const Node& node, uint8_t* which) {
    uint32_t best = node.cost[0];
    uint8_t w = 0;
    for (uint8_t s = 1; s < 5; ++s)
        if (node.cost[s] < best) {
            best = node.cost[s];
            w = s;
        }
    *which = w;
    return best;
}

Bytes encodeBest(ByteSpan in) {
    const uint8_t* src = in.data();
    const size_t n = in.size();
    Bytes out = startStream(n);
    Emitter e(out, src);

    constexpr size_t kBlock = size_t(1) << 16;
    constexpr size_t kNiceLen = 160;
    MatchFinder finder(src, n, 64, kNiceLen);
    std::vector<Node> nodes(std::min(n, kBlock) + 1);
    std::vector<Match> matches(kMaxLength + 8);  // lengths grow, so at most one per length
    struct Step {
        size_t at, len, dist;
    };
    std::vector<Step> path;

    size_t start = 0;     // first position of the current parse block
    size_t litStart = 0;  // first literal not yet written
    Node carried{};       // the state the previous block ended in
    carried.cost[0] = 0;
    while (start < n) {
        const size_t span = std::min(n - start, kBlock);
        for (size_t k = 1; k <= span; ++k)
            std::fill(std::begin(nodes[k].cost), std::end(nodes[k].cost), kInf);
        nodes[0] = carried;
        // A run of kNiceLen or more is taken as it is: the block ends where it starts.
        size_t forcedLen = 0, forcedDist = 0;
        size_t stop = span;

        for (size_t k = 0; k < span; ++k) {
            const size_t i = start + k;
            const Node& nd = nodes[k];
            Node& nx = nodes[k + 1];
            // Literal transitions.
            if (nd.cost[0] != kInf && nd.cost[0] + 1 < nx.cost[1]) nx.cost[1] = nd.cost[0] + 1;
            if (nd.cost[1] != kInf && nd.cost[1] + 1 < nx.cost[2]) nx.cost[2] = nd.cost[1] + 1;
            if (nd.cost[2] != kInf && nd.cost[2] + 1 < nx.cost[3]) nx.cost[3] = nd.cost[2] + 1;
            {
                uint32_t best = kInf;
                uint32_t run = 0;
                uint8_t from = 3;
                if (nd.cost[3] != kInf) {
                    best = nd.cost[3] + 2;  // the fourth literal opens a literal command
                    run = 4;
                }
                if (nd.cost[4] != kInf) {
                    const uint32_t r = nd.longRun + 1;
                    const uint32_t c = nd.cost[4] + 1 + ((r - 4) % 112 == 0 ? 1 : 0);
                    if (c < best) {
                        best = c;
                        run = r;
                        from = 4;
                    }
                }
                if (best < nx.cost[4]) {
                    nx.cost[4] = best;
                    nx.longRun = run;
                    nx.longFrom = from;
                }
            }

            // Run transitions.
            const size_t count = finder.find(i, matches.data());
            if (count == 0) continue;
            uint8_t fromState;
            const uint32_t base = minState(nd, &fromState);
            const Match& longest = matches[count - 1];
            if (longest.len >= kNiceLen) {
                forcedLen = longest.len;
                forcedDist = longest.dist;
                stop = k;
                break;
            }
            const size_t room = span - k;
            size_t len = kMinMatch;
            for (size_t m = 0; m < count; ++m) {
                const size_t maxLen = std::min<size_t>(matches[m].len, room);
                const size_t dist = matches[m].dist;
                for (; len <= maxLen; ++len) {
                    const uint32_t cost = runCost(len, dist);
                    if (cost == 0) continue;
                    Node& to = nodes[k + len];
                    if (base + cost < to.cost[0]) {
                        to.cost[0] = base + cost;
                        to.runLen = uint32_t(len);
                        to.runDist = uint32_t(dist);
                        to.runFrom = fromState;
                    }
                }
            }
        }

        // Walk back from the cheapest state at `stop` and write the runs found.
        uint8_t endState;
        minState(nodes[stop], &endState);
        path.clear();
        uint8_t s = endState;
        for (size_t k = stop; k > 0;) {
            const Node& nd = nodes[k];
            if (s == 0) {
                path.push_back({start + k - nd.runLen, nd.runLen, nd.runDist});
                s = nd.runFrom;
                k -= nd.runLen;
            } else if (s == 4) {
                s = nd.longFrom;
                --k;
            } else {
                --s;
                --k;
            }
        }
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            e.run(litStart, it->at, it->len, it->dist);
            litStart = it->at + it->len;
        }

        carried = Node{};
        std::fill(std::begin(carried.cost), std::end(carried.cost), kInf);
        if (forcedLen) {
            const size_t at = start + stop;
            e.run(litStart, at, forcedLen, forcedDist);
            for (size_t j = at + 1; j < at + forcedLen; ++j)
                finder.skip(j);
            litStart = at + forcedLen;
            start = litStart;
            carried.cost[0] = 0;
        } else {
            // The next block goes on from the state this one ended in.
            start += span;
            carried.cost[endState] = 0;
            carried.longRun = nodes[span].longRun;
        }
    }
    e.finish(litStart, n);
    return out;
}

}  // namespace

Bytes packFast(ByteSpan in) {
    return encodeFast(in);
}

Bytes packBest(ByteSpan in) {
    return encodeBest(in);
}

}  // namespace before
