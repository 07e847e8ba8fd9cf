#pragma once
// tinygltf as this library uses it: no image codecs, no file system of its own.
#ifndef TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE
#endif
#ifndef TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#endif
#ifndef TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#endif
#ifndef TINYGLTF_NO_FS
#define TINYGLTF_NO_FS
#endif
#include <tiny_gltf.h>
