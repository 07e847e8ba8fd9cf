// 3DS chunk walker and conversion: any bytes must dump under every switch setting
// and convert or be refused without a fault; a converted model must be a block
// chain the SHP reader accepts, with every face corner inside the vertex table.

#include <cstdlib>

#include "3ds2ov/chunks.h"
#include "3ds2ov/convert.h"
#include "common/shp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ByteSpan in(data, size);
    for (int opts = 0; opts < 8; ++opts)
        (void)ov::conv::dump3ds(in, {bool(opts & 1), bool(opts & 2), bool(opts & 4)});

    ov::conv::ConvModel model;
    ov::conv::DiscardOutput out;
    int code = ov::conv::readModel(in, model, out);
    if (code != ov::conv::kConverted) return 0;
    if (model.vertices.size() > size_t(ov::conv::kMaxVertices) ||
        model.faces.size() > size_t(ov::conv::kMaxFaces))
        std::abort();
    for (const auto& f : model.faces)
        for (int32_t c : {f.a, f.b, f.c})
            if (c < 0 || size_t(c) >= model.vertices.size()) std::abort();
    ov::conv::copyTextureCoordinates(model);
    if (!ov::conv::smartScale(model)) return 0;
    ov::conv::removeRepeatedVertices(model);
    ov::conv::calculateNormals(model, out);
    ov::Bytes shp = ov::conv::shpBytes(model, "fuzz.tga");
    auto chain = ov::shp::BlockChain::read(shp);
    if (!chain || chain->write() != shp) std::abort();
    return 0;
}
