#include "sample_models.h"

#include "common/shp_build.h"

namespace ovcli {

namespace {

using ov::shp::ComponentSpec;
using ov::shp::makeAttachment;
using ov::shp::Vec3;

Vec3 scaled(Vec3 v, float s) {
    return {v.x * s, v.y * s, v.z * s};
}

// An axis-aligned box as 8 vertices and 12 triangles, textured with one name, and
// the matching collision box. Each side winds counter-clockwise seen from outside,
// so that its front faces out, as in models converted from 3D Studio meshes.
void addBox(ComponentSpec& c, Vec3 centre, Vec3 half, uint32_t texture = 0) {
    const uint32_t base = uint32_t(c.vertices.size());
    for (int i = 0; i < 8; ++i)
        c.vertices.push_back({centre.x + ((i & 1) ? half.x : -half.x),
                              centre.y + ((i & 2) ? half.y : -half.y),
                              centre.z + ((i & 4) ? half.z : -half.z)});
    static const uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                         {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        c.faces.push_back(
            {base + q[0], base + q[1], base + q[2], texture, {0, 1, 1}, {0, 0, 1}, 0});
        c.faces.push_back(
            {base + q[0], base + q[2], base + q[3], texture, {0, 1, 0}, {0, 1, 1}, 0});
    }
    c.boxes.push_back({centre, half});
}

}  // namespace

ov::shp::BlockChain sampleFighter(uint8_t shipClass, const FighterLook& look) {
    const float s = look.scale;
    const float wing = look.tiger ? 140.0f : 110.0f;
    ComponentSpec hull;
    hull.name = "Hull";
    hull.kind = 0;
    hull.value212 = 1;
    hull.textures = {look.tiger ? "tiger_hull" : "fighter_hull"};
    addBox(hull, {0, 0, 0}, scaled({40, 12, 90}, s));
    addBox(hull, scaled({0, 0, -20}, s), scaled({wing, 4, 30}, s));
    hull.attachments = {
        makeAttachment(3, scaled({-60, 0, 40}, s), look.gunType),  // left wing gun
        makeAttachment(3, scaled({60, 0, 40}, s), look.gunType),   // right wing gun
        makeAttachment(1, scaled({0, -14, 60}, s), look.extGun),   // gun under the nose
        makeAttachment(0, scaled({0, -14, 0}, s)),                 // missile mount
        makeAttachment(2, scaled({0, 0, -95}, s)),                 // engine flame
        makeAttachment(4, scaled({wing, 4, -20}, s)),              // wing-tip light
    };

    ComponentSpec cockpit;
    cockpit.name = "Cockpit";
    cockpit.kind = 2;
    cockpit.position = scaled({0, 14, 30}, s);
    cockpit.textures = {"fighter_canopy"};
    addBox(cockpit, {0, 0, 0}, scaled({14, 8, 20}, s));
    cockpit.block13 = true;

    return ov::shp::buildModel(shipClass, {hull, cockpit});
}

ov::shp::BlockChain sampleCapitalShip(bool tiger) {
    ComponentSpec hull;
    hull.name = "Capital Hull";
    hull.kind = 1;
    hull.value212 = 4;
    hull.value260 = 2;
    hull.textures = {"capital_plates", "capital_bridge"};
    addBox(hull, {0, 0, 0}, {260, 90, 900});
    addBox(hull, {0, 140, -500}, {120, 50, 160}, 1);  // bridge tower
    addBox(hull, {0, -40, 700}, {180, 40, 200});      // prow
    hull.attachments = {
        makeAttachment(0, {-200, -60, 400}),
        makeAttachment(0, {200, -60, 400}),
        makeAttachment(2, {-150, 0, -910}),
        makeAttachment(2, {150, 0, -910}),
        makeAttachment(4, {0, 195, -500}),
        makeAttachment(3, {0, -100, 880}, 14),  // the spinal gun
    };

    std::vector<ComponentSpec> parts{hull};
    const float turretX = tiger ? 300.0f : 270.0f;
    for (int side = 0; side < 2; ++side) {
        ComponentSpec turret;
        turret.name = side == 0 ? "Port Turret" : "Starboard Turret";
        turret.kind = 3;
        turret.position = {side == 0 ? -turretX : turretX, 60, 200};
        turret.textures = {"turret_metal"};
        addBox(turret, {0, 0, 0}, {40, 30, 40});
        addBox(turret, {0, 10, 70}, {8, 8, 40});  // barrel
        turret.attachments = {
            makeAttachment(1, {0, 40, 0}, side == 0 ? 16u : 17u),
            makeAttachment(3, {0, 10, 115}, 12),
            makeAttachment(3, {0, 10, 115}, 13),
        };
        parts.push_back(turret);
    }
    return ov::shp::buildModel(1, parts);
}

}  // namespace ovcli
