#include <gtest/gtest.h>

#include "common/refpack.h"
#include "support/test_support.h"

using namespace ov;

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
        {0x10, 0xFB, 0, 0},                            // truncated header
    };
    for (const Bytes& c : cases)
        EXPECT_FALSE(refpack::decode(c));
}

TEST(RefPackRoundTrip, EncodeThenDecode) {
    std::vector<Bytes> inputs = {{}, {42}, ovtest::randomBytes(70000, 3), Bytes(200000, 'z')};
    Bytes text;
    for (int i = 0; i < 5000; ++i) {
        std::string line = "ship " + std::to_string(i % 37) + " fires laser cannon\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    inputs.push_back(text);
    for (auto level : {refpack::Level::Fast, refpack::Level::Best}) {
        for (const Bytes& in : inputs) {
            auto packed = refpack::encode(in, level);
            ASSERT_TRUE(packed);
            ASSERT_TRUE(refpack::isPacked(*packed));
            auto out = refpack::decode(*packed);
            ASSERT_TRUE(out) << out.error().describe();
            EXPECT_EQ(*out, in);
        }
    }
}
