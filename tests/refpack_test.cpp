#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/refpack.h"
#include "support/test_support.h"

using namespace ov;

namespace {

// Writes command streams straight from the command table, and keeps the output
// they must produce by the format's definition: literals copied, then each run
// byte taken from `distance` bytes back, one at a time.
class StreamBuilder {
public:
    void literals(const Bytes& lit) {  // a multiple of 4, at most 112
        stream.push_back(uint8_t(0xE0 + lit.size() / 4 - 1));
        append(lit);
    }
    // 0-3 literals and a run, in the smallest form. A run reaching back further
    // than the output has no defined result: its bytes are kept as zeros.
    void run(const Bytes& lit, size_t len, size_t dist) {
        const size_t d = dist - 1, l = lit.size();
        if (len <= 10 && dist <= 1024) {
            stream.push_back(uint8_t(((d >> 3) & 0x60) | ((len - 3) << 2) | l));
            stream.push_back(uint8_t(d));
        } else if (len <= 67 && dist <= 16384) {
            stream.push_back(uint8_t(0x80 | (len - 4)));
            stream.push_back(uint8_t((l << 6) | (d >> 8)));
            stream.push_back(uint8_t(d));
        } else {
            stream.push_back(uint8_t(0xC0 | ((d >> 12) & 0x10) | (((len - 5) >> 6) & 0x0C) | l));
            stream.push_back(uint8_t(d >> 8));
            stream.push_back(uint8_t(d));
            stream.push_back(uint8_t(len - 5));
        }
        append(lit);
        for (size_t i = 0; i < len; ++i)
            expected.push_back(dist <= expected.size() ? expected[expected.size() - dist] : 0);
    }
    Bytes finish(const Bytes& lit = {}) {
        stream.push_back(uint8_t(0xFC | lit.size()));
        append(lit);
        Bytes s = {0x10, 0xFB, uint8_t(expected.size() >> 16), uint8_t(expected.size() >> 8),
                   uint8_t(expected.size())};
        s.insert(s.end(), stream.begin(), stream.end());
        return s;
    }

    Bytes stream;
    Bytes expected;

private:
    void append(const Bytes& lit) {
        stream.insert(stream.end(), lit.begin(), lit.end());
        expected.insert(expected.end(), lit.begin(), lit.end());
    }
};

Bytes mixedInput() {
    Bytes out;
    for (int i = 0; out.size() < 60000; ++i) {
        std::string line = "ship " + std::to_string(i % 37) + " fires laser cannon " +
                           std::to_string(i * 7919 % 1000) + "\n";
        out.insert(out.end(), line.begin(), line.end());
        if (i % 50 == 0) {
            Bytes noise = ovtest::randomBytes(200, uint32_t(i));
            out.insert(out.end(), noise.begin(), noise.end());
        }
    }
    return out;
}

constexpr refpack::Level kLevels[] = {refpack::Level::Fastest, refpack::Level::Fast,
                                      refpack::Level::Best};

// Blocks of a few symbols repeated with a byte or two changed far into them: long
// runs that agree for hundreds of bytes and then part, where a match finder's
// ordering of earlier positions is tested hardest.
Bytes nearRepeats(uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes base(1200);
    for (auto& b : base)
        b = uint8_t(rng() % 3);
    Bytes out;
    while (out.size() < 150000) {
        Bytes copy = base;
        for (int m = 0; m < 2; ++m)
            copy[150 + rng() % 1000] = uint8_t(rng() % 3);
        out.insert(out.end(), copy.begin(), copy.begin() + 200 + rng() % 1000);
    }
    return out;
}

// Collects what a streaming decode hands over.
struct Collect {
    Bytes bytes;
    size_t pieces = 0;
    Status operator()(ByteSpan piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        ++pieces;
        return {};
    }
};

// One command of a packed stream, as the decoder reads it.
struct Command {
    int form;  // 2, 3, 4 for runs, 1 for literal-only, 0 for the end
    size_t literals, length, distance;
};

std::vector<Command> walk(const Bytes& s) {
    std::vector<Command> cmds;
    size_t ip = 5;
    while (ip < s.size()) {
        const size_t b0 = s[ip];
        if (b0 < 0xE0 && ip + (b0 < 0x80 ? 2 : b0 < 0xC0 ? 3 : 4) > s.size()) {
            ADD_FAILURE() << "run command cut short at byte " << ip;
            break;
        }
        Command c{};
        if (b0 < 0x80) {
            c = {2, b0 & 3, ((b0 & 0x1C) >> 2) + 3, ((b0 & 0x60) << 3) + s[ip + 1] + 1};
        } else if (b0 < 0xC0) {
            c = {3, size_t(s[ip + 1] >> 6), (b0 & 0x3F) + 4,
                 (size_t(s[ip + 1] & 0x3F) << 8) + s[ip + 2] + 1};
        } else if (b0 < 0xE0) {
            c = {4, b0 & 3, ((b0 & 0x0C) << 6) + s[ip + 3] + 5,
                 ((b0 & 0x10) << 12) + (size_t(s[ip + 1]) << 8) + s[ip + 2] + 1};
        } else {
            c = {b0 < 0xFC ? 1 : 0, b0 < 0xFC ? ((b0 & 0x1F) + 1) * 4 : b0 & 3, 0, 0};
            ip += 1 + c.literals;
            cmds.push_back(c);
            if (c.form == 0) break;
            continue;
        }
        ip += size_t(c.form) + c.literals;
        cmds.push_back(c);
    }
    EXPECT_EQ(ip, s.size()) << "the end command must be the last thing in a packed stream";
    return cmds;
}

}  // namespace

TEST(RefPackDecode, EdgeCases) {
    struct Case {
        const char* name;
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {"starts with end command", {0x10, 0xFB, 0, 0, 0, 0xFC}, {}},
        {"end command with literals", {0x10, 0xFB, 0, 0, 2, 0xFE, 'a', 'b'}, {'a', 'b'}},
        // one literal, then distance 1 length 5: six copies of the byte
        {"overlapping run repeats", {0x10, 0xFB, 0, 0, 6, 0x09, 0x00, 'x', 0xFC}, Bytes(6, 'x')},
        {"packed-size form", {0x11, 0xFB, 0, 0, 9, 0, 0, 2, 0xFE, 'a', 'b'}, {'a', 'b'}},
        // Archive items may be padded: what follows the end command is not read.
        {"byte after the end command", {0x10, 0xFB, 0, 0, 1, 0xFD, 'a', 0x55}, {'a'}},
    };
    for (const Case& c : cases) {
        auto r = refpack::decode(c.in);
        ASSERT_TRUE(r) << c.name << ": " << r.error().describe();
        EXPECT_EQ(*r, c.out) << c.name;
    }
}

TEST(RefPackDecode, RefusesBrokenStreams) {
    const Bytes cases[] = {
        {0x10, 0xFB, 0, 0, 6, 0x09, 0x01, 'x', 0xFC},  // distance 2 with 1 byte made
        {0x10, 0xFB, 0, 0, 6, 0x09, 0x00, 'x'},        // no end command
        {0x10, 0xFB, 0, 0, 3, 0xFE, 'a', 'b'},         // 2 bytes, 3 stated
        {0x10, 0xFB, 0, 0, 1, 0xFE, 'a', 'b'},         // more than stated
        {0x10, 0xFB, 0, 0, 2, 0xE0, 'a', 'b'},         // literal command cut short
        {0x10, 0xFB, 0, 0},                            // truncated header
        {0x10, 0xFA, 0, 0, 0, 0xFC},                   // not a packed stream
    };
    for (const Bytes& c : cases)
        EXPECT_FALSE(refpack::decode(c));

    // A stated size no stream of that length could produce is refused before
    // anything is allocated for it.
    auto r = refpack::decode(Bytes{0x10, 0xFB, 0xFF, 0xFF, 0xFF, 0xC3, 0xFF, 0xFF, 0xFF, 0xFC});
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("can produce"), std::string::npos) << r.error().message;
}

// Runs at every short distance and many lengths, long enough that most of them
// take the decoder's wide-copy path and some its careful tail.
TEST(RefPackDecode, RunsMatchTheByteByByteDefinition) {
    std::mt19937 rng(11);
    std::vector<size_t> distances;
    for (size_t dist = 1; dist <= 40; ++dist)
        distances.push_back(dist);
    for (size_t dist : {47, 48, 63, 64, 100, 1000})
        distances.push_back(dist);
    for (size_t dist : distances) {
        StreamBuilder b;
        for (size_t made = 0; made < dist; made += 112)
            b.literals(ovtest::randomBytes(112, uint32_t(dist + made)));
        for (int repeat = 0; repeat < 10; ++repeat) {
            b.literals(ovtest::randomBytes(112, uint32_t(dist * 3 + repeat)));
            for (size_t len : {3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 67, 68, 300, 1028}) {
                Bytes lit = ovtest::randomBytes(rng() % 4, uint32_t(len));
                b.run(lit, len, dist);
            }
        }
        const Bytes stream = b.finish({'e', 'n', 'd'});
        auto out = refpack::decode(stream);
        ASSERT_TRUE(out) << "distance " << dist << ": " << out.error().describe();
        EXPECT_EQ(*out, b.expected) << "distance " << dist;
    }
}

// Random streams of every command form over a long output, far distances included.
TEST(RefPackDecode, RandomStreamsOfEveryForm) {
    std::mt19937 rng(5);
    for (int round = 0; round < 20; ++round) {
        StreamBuilder b;
        b.literals(ovtest::randomBytes(112, uint32_t(round)));
        while (b.expected.size() < 200000) {
            const size_t have = b.expected.size();
            switch (rng() % 5) {
                case 0:
                    b.literals(ovtest::randomBytes(4 * (1 + rng() % 28), rng()));
                    break;
                case 4:  // a row of literal commands, as bytes that do not pack make
                    for (size_t n = 1 + rng() % 12; n > 0; --n)
                        b.literals(ovtest::randomBytes(rng() % 2 ? 112 : 4 * (1 + rng() % 28), rng()));
                    break;
                case 1:
                    b.run(ovtest::randomBytes(rng() % 4, rng()), 3 + rng() % 8,
                          1 + rng() % std::min<size_t>(have, 1024));
                    break;
                case 2:
                    b.run(ovtest::randomBytes(rng() % 4, rng()), 4 + rng() % 64,
                          1 + rng() % std::min<size_t>(have, 16384));
                    break;
                default:
                    b.run(ovtest::randomBytes(rng() % 4, rng()), 5 + rng() % 1024,
                          1 + rng() % std::min<size_t>(have, 131072));
            }
        }
        const Bytes stream = b.finish(ovtest::randomBytes(rng() % 4, rng()));
        auto out = refpack::decode(stream);
        ASSERT_TRUE(out) << out.error().describe();
        ASSERT_EQ(*out, b.expected) << "round " << round;
    }
    // Nothing but literal commands, the rows running into both ends of the buffers.
    for (size_t total : {112u, 2000u, 30000u}) {
        StreamBuilder b;
        while (b.expected.size() < total)
            b.literals(ovtest::randomBytes(rng() % 3 ? 112 : 4 * (1 + rng() % 28), rng()));
        const Bytes stream = b.finish(ovtest::randomBytes(rng() % 4, rng()));
        auto out = refpack::decode(stream);
        ASSERT_TRUE(out) << out.error().describe();
        ASSERT_EQ(*out, b.expected) << total;
    }
}

TEST(RefPackDecode, PackedSizeFormDecodesTheSame) {
    const Bytes plain = mixedInput();
    Bytes packed = *refpack::encode(plain);
    Bytes withSize = packed;
    withSize[0] = 0x11;
    withSize.insert(withSize.begin() + 2, {0x12, 0x34, 0x56});
    auto a = refpack::decode(packed);
    auto b = refpack::decode(withSize);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, plain);
    EXPECT_EQ(*b, plain);
    EXPECT_FALSE(refpack::isPacked(withSize));
}

TEST(RefPackDecode, EveryPrefixIsRefused) {
    const Bytes plain = mixedInput();
    for (auto level : kLevels) {
        const Bytes packed = *refpack::encode(Bytes(plain.begin(), plain.begin() + 5000), level);
        for (size_t n = 0; n < packed.size(); ++n) {
            // A fresh heap block of exactly n bytes, so a read past it is seen.
            auto copy = std::make_unique<uint8_t[]>(n);
            std::copy(packed.begin(), packed.begin() + ptrdiff_t(n), copy.get());
            const ByteSpan cut(copy.get(), n);
            EXPECT_FALSE(refpack::decode(cut)) << "prefix of " << n;
            Collect sink;
            EXPECT_FALSE(refpack::decodeStream(cut, plain.size(), std::ref(sink)))
                << "streamed prefix of " << n;
        }
    }
}

// decodeInto never writes past the span it is given, however much the stream
// wants to produce, and fails when the stream does not fit.
TEST(RefPackDecode, NeverWritesPastTheOutput) {
    // Ends with the longest runs, where the wide copies reach furthest, and then
    // enough literals that those runs are still decoded on the fast path.
    Bytes plain = mixedInput();
    for (int k = 0; k < 10; ++k) {
        const Bytes noise = ovtest::randomBytes(4, uint32_t(k));
        plain.insert(plain.end(), noise.begin(), noise.end());
        plain.insert(plain.end(), 1028, uint8_t('a' + k % 3));
    }
    const Bytes tail = ovtest::randomBytes(300, 1);
    plain.insert(plain.end(), tail.begin(), tail.end());
    const Bytes packed = *refpack::encode(plain);
    std::vector<size_t> rooms = {plain.size(), 1000, 0};
    for (size_t less = 1; less < 3500; less += 3)
        rooms.push_back(plain.size() - less);
    for (size_t room : rooms) {
        Bytes buffer(room + 64, 0xA5);
        auto n = refpack::decodeInto(packed, std::span<uint8_t>(buffer.data(), room));
        EXPECT_EQ(bool(n), room == plain.size()) << "room " << room;
        for (size_t i = room; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xA5) << "guard byte " << i - room << " written, room " << room;
    }
}

TEST(RefPackDecode, RefusesDistanceBeyondOutputAndWrongLength) {
    // Early (careful path) and after enough input for the wide-copy path.
    for (size_t before : {size_t(4), size_t(448)}) {
        StreamBuilder b;
        for (size_t k = 0; k < before; k += 112)
            b.literals(ovtest::randomBytes(std::min<size_t>(112, before - k), uint32_t(k)));
        b.run({}, 500, before + 1);  // one byte further back than there is output
        for (size_t k = 0; k < 20; ++k)
            b.literals(ovtest::randomBytes(112, uint32_t(k)));
        EXPECT_FALSE(refpack::decode(b.finish())) << "distance beyond output after " << before;
    }
    const Bytes plain = mixedInput();
    Bytes packed = *refpack::encode(plain);
    for (int delta : {-1, +1}) {
        Bytes wrong = packed;
        storeU24BE(&wrong[2], uint32_t(int(plain.size()) + delta));
        EXPECT_FALSE(refpack::decode(wrong)) << "stated size off by " << delta;
    }
}

TEST(RefPackRoundTrip, EncodeThenDecode) {
    std::vector<std::pair<std::string, Bytes>> inputs = {
        {"empty", {}},
        {"one byte", {42}},
        {"three bytes", {1, 2, 3}},
        {"incompressible", ovtest::randomBytes(70000, 3)},
        {"one value", Bytes(200000, 'z')},
        {"mixed", mixedInput()},
    };
    Bytes period;
    for (size_t i = 0; i < 300000; ++i)
        period.push_back(uint8_t(i % 7 + (i % 1000 == 0)));
    inputs.push_back({"short period", period});
    // Repeats at exactly the farthest distance a run can reach, and one further.
    for (size_t dist : {size_t(131072), size_t(131073)}) {
        Bytes far = ovtest::randomBytes(dist, 9);
        Bytes again(far.begin(), far.begin() + 5000);
        far.insert(far.end(), again.begin(), again.end());
        inputs.push_back({"repeat at " + std::to_string(dist), far});
    }
    inputs.push_back({"near repeats", nearRepeats(1)});
    inputs.push_back({"near repeats 2", nearRepeats(2)});
    for (auto level : kLevels) {
        for (const auto& [name, in] : inputs) {
            auto packed = refpack::encode(in, level);
            ASSERT_TRUE(packed) << name;
            ASSERT_TRUE(refpack::isPacked(*packed)) << name;
            EXPECT_EQ(loadU24BE(&(*packed)[2]), in.size()) << name;
            auto out = refpack::decode(*packed);
            ASSERT_TRUE(out) << name << ": " << out.error().describe();
            EXPECT_EQ(*out, in) << name;
            if (name == "repeat at 131072" && level != refpack::Level::Fastest) {
                // 5000 bytes found again; random literals cost 1 byte in 112 more.
                EXPECT_LT(packed->size(), in.size() - 3000) << "the farthest run was not used";
            }
        }
    }
}

// Every command the packer writes is within the table's ranges, uses the
// smallest form that can carry it, and literal-only commands come as full as
// they can be.
TEST(RefPackEncode, CommandsRespectTheTable) {
    Bytes in = mixedInput();
    const Bytes far = ovtest::randomBytes(140000, 4);
    in.insert(in.end(), far.begin(), far.end());
    in.insert(in.end(), far.begin(), far.begin() + 20000);
    in.insert(in.end(), 3000, 'q');
    for (auto level : kLevels) {
        const Bytes packed = *refpack::encode(in, level);
        const auto cmds = walk(packed);
        ASSERT_FALSE(cmds.empty());
        EXPECT_EQ(cmds.back().form, 0);
        size_t produced = 0;
        for (size_t k = 0; k < cmds.size(); ++k) {
            const Command& c = cmds[k];
            produced += c.literals;
            if (c.form >= 2) {
                EXPECT_GE(c.length, 3u);
                EXPECT_LE(c.length, 1028u);
                EXPECT_LE(c.distance, 131072u);
                EXPECT_LE(c.distance, produced);
                EXPECT_TRUE(c.length > 3 || c.distance <= 1024) << "command " << k;
                EXPECT_TRUE(c.length > 4 || c.distance <= 16384) << "command " << k;
                const int smallest = (c.length <= 10 && c.distance <= 1024)    ? 2
                                     : (c.length <= 67 && c.distance <= 16384) ? 3
                                                                               : 4;
                EXPECT_EQ(c.form, smallest) << "command " << k;
            }
            if (c.form == 1 && c.literals < 112 && k + 1 < cmds.size()) {
                EXPECT_NE(cmds[k + 1].form, 1) << "literal command " << k << " not full";
            }
            produced += c.length;
        }
        EXPECT_EQ(produced, in.size());
    }
}

TEST(RefPackEncode, RefusesSixteenMebibytes) {
    Bytes big(refpack::kMaxPackInput + 1, 0);
    auto r = refpack::encode(big, refpack::Level::Fast);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("too large"), std::string::npos);
    big.pop_back();
    auto ok = refpack::encode(big, refpack::Level::Fast);
    ASSERT_TRUE(ok);
    EXPECT_EQ(loadU24BE(&(*ok)[2]), 0xFFFFFFu);
    auto out = refpack::decode(*ok);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), big.size());
}

// The streaming decoder gives the same bytes as the whole-buffer one, through
// runs that reach back across the pieces it hands over, and holds to its limit.
TEST(RefPackDecode, StreamMatchesWholeDecode) {
    Bytes big;
    for (uint32_t k = 0; big.size() < 1500000; ++k) {
        const Bytes m = mixedInput();
        big.insert(big.end(), m.begin(), m.begin() + 20000 + k * 997);
        const Bytes noise = ovtest::randomBytes(30000, k);
        big.insert(big.end(), noise.begin(), noise.end());
    }
    const std::pair<std::string, Bytes> inputs[] = {
        {"empty", {}}, {"mixed", mixedInput()}, {"near repeats", nearRepeats(3)}, {"big", big}};
    for (const auto& [name, plain] : inputs) {
        for (auto level : kLevels) {
            const Bytes packed = *refpack::encode(plain, level);
            Collect sink;
            auto n = refpack::decodeStream(packed, plain.size(), std::ref(sink));
            ASSERT_TRUE(n) << name << ": " << n.error().describe();
            EXPECT_EQ(*n, plain.size()) << name;
            EXPECT_EQ(sink.bytes, plain) << name;
            if (plain.size() > 1000000) {
                EXPECT_GT(sink.pieces, 3u) << name;
            }
            if (plain.empty()) continue;
            Collect small;
            EXPECT_FALSE(refpack::decodeStream(packed, plain.size() - 1, std::ref(small)))
                << name << ": one byte over the limit";
            EXPECT_LE(small.bytes.size(), plain.size() - 1) << name;
        }
    }
}

TEST(RefPackDecode, StreamStopsAtTheSinksError) {
    const Bytes plain = nearRepeats(4);
    const Bytes packed = *refpack::encode(plain, refpack::Level::Fast);
    size_t calls = 0;
    auto n = refpack::decodeStream(packed, plain.size(), [&](ByteSpan) -> Status {
        ++calls;
        return makeError("disk full");
    });
    ASSERT_FALSE(n);
    EXPECT_EQ(n.error().message, "disk full");
    EXPECT_EQ(calls, 1u);
}

// Best is never larger than Fast, and Fast's chains and lazy steps are worth
// their time over Fastest's single probe on data with structure.
TEST(RefPackEncode, LevelsOrderBySize) {
    Bytes floats;  // noisy float coordinates: few runs, most of them short
    std::mt19937 rng(8);
    for (int i = 0; i < 30000; ++i) {
        const float f = float(rng() % 100000) / 7.0f;
        const auto* b = reinterpret_cast<const uint8_t*>(&f);
        floats.insert(floats.end(), b, b + 4);
    }
    const std::pair<std::string, Bytes> inputs[] = {{"mixed", mixedInput()},
                                                    {"near repeats", nearRepeats(5)},
                                                    {"floats", floats},
                                                    {"random", ovtest::randomBytes(50000, 6)}};
    for (const auto& [name, in] : inputs) {
        const size_t fastest = refpack::encode(in, refpack::Level::Fastest)->size();
        const size_t fast = refpack::encode(in, refpack::Level::Fast)->size();
        const size_t best = refpack::encode(in, refpack::Level::Best)->size();
        EXPECT_LE(best, fast) << name;
        if (name == "mixed" || name == "near repeats") {
            EXPECT_LT(double(fast), 0.97 * double(fastest)) << name;
        }
    }
}

// Three-byte words from a list of 40, each followed by a random byte, until
// there are at least `size` bytes.
static Bytes threeByteWords(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes words;
    for (int i = 0; i < 3 * 40; ++i)
        words.push_back(uint8_t(rng()));
    Bytes in;
    while (in.size() < size) {
        const size_t w = 3 * (rng() % 40);
        in.insert(in.end(), words.begin() + ptrdiff_t(w), words.begin() + ptrdiff_t(w + 3));
        in.push_back(uint8_t(rng()));
    }
    return in;
}

// Three-byte words from a short list, each followed by a random byte, so that
// nearly every run is exactly 3 bytes long and within 1024: each word and the
// byte before it fit a 2-byte command, 4 bytes in 3. A packer that lost its runs
// of 3 would leave the data almost as it is (Best would then fall back on Fast's
// stream, so Best must also beat Fast here, as its parse does).
TEST(RefPackEncode, ShortRunsNearbyAreTaken) {
    const Bytes in = threeByteWords(60000, 11);
    const Bytes fast = *refpack::encode(in, refpack::Level::Fast);
    const Bytes best = *refpack::encode(in, refpack::Level::Best);
    EXPECT_LT(double(fast.size()), 0.8 * double(in.size()));
    EXPECT_LT(best.size(), fast.size());
    EXPECT_EQ(*refpack::decode(fast), in);
    EXPECT_EQ(*refpack::decode(best), in);
}

// After a long stretch without runs Fast looks at fewer and fewer positions, so
// it first sees a repeat some bytes into it; the run must still start where the
// repeat does, with no byte of it left as a literal.
TEST(RefPackEncode, FastRunsReachBackToWhereTheRepeatStarts) {
    const Bytes block = ovtest::randomBytes(600, 21);
    for (const size_t gap : {600u, 3000u, 9000u}) {
        Bytes in = block;
        const Bytes noise = ovtest::randomBytes(gap, uint32_t(gap));
        in.insert(in.end(), noise.begin(), noise.end());
        in.insert(in.end(), block.begin(), block.end());
        const Bytes fast = *refpack::encode(in, refpack::Level::Fast);
        EXPECT_EQ(*refpack::decode(fast), in);
        // The header, every byte before the repeat as literals with one command
        // byte per 112, the repeat as one command of 4 bytes and the end command.
        const size_t literals = block.size() + gap;
        EXPECT_LE(fast.size(), 5 + literals + (literals + 111) / 112 + 4 + 1) << gap;
    }
}

// At one position a run of 10 lies 1000 bytes back and the same bytes and one
// more lie 20000 back: the near run fits a 2-byte command, the far one only a
// 4-byte one, so the near run and a literal are a byte smaller. Best lists one
// run per distance class (1024, 16384, farther) and must still see both. The
// input opens with 3-byte words, where Best's parse beats Fast by far, so that
// the stream looked at is Best's own and not Fast's.
TEST(RefPackEncode, BestKeepsANearShorterRunBesideAFarLongerOne) {
    Bytes in = threeByteWords(40000, 13);
    const Bytes noise = ovtest::randomBytes(25000, 14);
    in.insert(in.end(), noise.begin(), noise.end());
    const size_t at = in.size(), nearDist = 1000, farDist = 20000;
    const size_t nearAt = at - nearDist, farAt = at - farDist;
    std::copy(in.begin() + ptrdiff_t(farAt), in.begin() + ptrdiff_t(farAt + 10),
              in.begin() + ptrdiff_t(nearAt));
    in[nearAt + 10] = uint8_t(in[farAt + 10] + 1);
    in[at - 1] = uint8_t(in[nearAt - 1] + 1);
    if (in[at - 1] == in[farAt - 1]) in[at - 1] = uint8_t(in[at - 1] + 1);
    in.insert(in.end(), in.begin() + ptrdiff_t(farAt), in.begin() + ptrdiff_t(farAt + 11));
    const Bytes tail = ovtest::randomBytes(300, 15);
    in.insert(in.end(), tail.begin(), tail.end());

    const Bytes best = *refpack::encode(in, refpack::Level::Best);
    ASSERT_LT(best.size() + 100, refpack::encode(in, refpack::Level::Fast)->size());
    EXPECT_EQ(*refpack::decode(best), in);
    size_t produced = 0;
    bool seen = false;
    for (const Command& c : walk(best)) {
        produced += c.literals;
        if (c.form >= 2 && produced == at) {
            EXPECT_EQ(c.form, 2);
            EXPECT_EQ(c.length, 10u);
            EXPECT_EQ(c.distance, nearDist);
            seen = true;
        }
        produced += c.length;
    }
    EXPECT_TRUE(seen) << "no run starts where the near and far runs do";
}
