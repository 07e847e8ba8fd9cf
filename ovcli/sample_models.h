#pragma once
// Ship models built from simple shapes for the bundled samples. Every byte is
// generated here; nothing comes from the game.

#include "common/shp.h"

namespace ovcli {

// A small fighter: a box-shaped hull with two guns, an external gun, a missile
// mount, an engine flame and a blinking light, and a cockpit component.
ov::shp::BlockChain sampleFighter(uint8_t shipClass = 0);

}  // namespace ovcli
