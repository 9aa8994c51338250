// tinygltf's implementation for the cross build, which has no library of it.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
