// The shared library's exports: the converter bound to standard output, and the
// unused CX1 / fnX1 / nX1 exports.

#include <cstdio>

#include "convert.h"
#include "convert3ds2ov.h"

namespace {

class StdoutOutput final : public ov::conv::Output {
public:
    void write(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
    void flush() override { std::fflush(stdout); }
};

}  // namespace

extern "C" OV_3DS2OV_ENTRY int OV_3DS2OV_CALL convert3ds2ov(const char* inputPath,
                                                            const char* textureName,
                                                            const char* shpPath) {
    StdoutOutput out;
    int code = ov::conv::convert(inputPath, textureName, shpPath, out);
    out.flush();
    return code;
}

CX1::CX1() = default;

CX1& CX1::operator=(const CX1&) {
    return *this;
}

int nX1 = 0;

int fnX1() {
    return 0;
}
