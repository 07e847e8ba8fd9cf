#pragma once
// Ship models built from simple shapes for the bundled samples. Every byte is
// generated here; nothing comes from the game.

#include "common/shp.h"

namespace ovcli {

struct FighterLook {
    float scale = 1.0f;    // overall size
    uint32_t gunType = 1;  // gun-type id of the two wing guns
    uint32_t extGun = 0;   // attached-object id of the external gun
    bool tiger = false;    // the "Tiger" variant: longer wings, same weapon points
};

// A small fighter: a box-shaped hull with wings, two guns, an external gun, a
// missile mount, an engine flame and a blinking light, and a cockpit component.
ov::shp::BlockChain sampleFighter(uint8_t shipClass = 0, const FighterLook& look = {});

// A capital ship: a long hull with collision boxes, two turret components carrying
// turret objects and guns, missile mounts, engines and lights.
ov::shp::BlockChain sampleCapitalShip(bool tiger = false);

}  // namespace ovcli
