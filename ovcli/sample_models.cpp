#include "sample_models.h"

#include "common/shp_build.h"

namespace ovcli {

namespace {

using ov::shp::ComponentSpec;
using ov::shp::FaceSpec;
using ov::shp::Vec3;

// An axis-aligned box as 8 vertices and 12 triangles, textured with one name.
void addBox(ComponentSpec& c, Vec3 centre, Vec3 half, uint32_t texture) {
    const uint32_t base = uint32_t(c.vertices.size());
    for (int i = 0; i < 8; ++i)
        c.vertices.push_back({centre.x + ((i & 1) ? half.x : -half.x),
                              centre.y + ((i & 2) ? half.y : -half.y),
                              centre.z + ((i & 4) ? half.z : -half.z)});
    static const uint32_t quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                                         {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (const auto& q : quads) {
        c.faces.push_back(
            {base + q[0], base + q[1], base + q[2], texture, {0, 1, 1}, {0, 0, 1}, 0});
        c.faces.push_back(
            {base + q[0], base + q[2], base + q[3], texture, {0, 1, 0}, {0, 1, 1}, 0});
    }
}

}  // namespace

ov::shp::BlockChain sampleFighter(uint8_t shipClass) {
    using ov::shp::makeAttachment;
    ComponentSpec hull;
    hull.name = "Hull";
    hull.kind = 0;
    hull.value212 = 1;
    hull.textures = {"fighter_hull"};
    addBox(hull, {0, 0, 0}, {40, 12, 90}, 0);
    addBox(hull, {0, 0, -20}, {110, 4, 30}, 0);  // wings
    hull.boxes = {{{0, 0, 0}, {40, 12, 90}}, {{0, 0, -20}, {110, 4, 30}}};
    hull.attachments = {
        makeAttachment(3, {-60, 0, 40}, 1),  // laser cannon, left wing
        makeAttachment(3, {60, 0, 40}, 1),   // laser cannon, right wing
        makeAttachment(1, {0, -14, 60}, 0),  // external pulse cannon under the nose
        makeAttachment(0, {0, -14, 0}),      // missile mount
        makeAttachment(2, {0, 0, -95}),      // engine flame
        makeAttachment(4, {110, 4, -20}),    // wing-tip light
    };

    ComponentSpec cockpit;
    cockpit.name = "Cockpit";
    cockpit.kind = 2;
    cockpit.position = {0, 14, 30};
    cockpit.textures = {"fighter_canopy"};
    addBox(cockpit, {0, 0, 0}, {14, 8, 20}, 0);
    cockpit.boxes = {{{0, 0, 0}, {14, 8, 20}}};
    cockpit.block13 = true;

    return ov::shp::buildModel(shipClass, {hull, cockpit});
}

}  // namespace ovcli
