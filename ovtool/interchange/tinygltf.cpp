// The one translation unit that holds tinygltf's implementation. Images are never
// decoded (a ship's textures live in the game's texture cache, not in the file),
// and every file access goes through the callbacks gltf_import.cpp installs.
#include <fstream>  // its writers name std::ofstream even without a file system

#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NO_FS
#include "tinygltf_config.h"
