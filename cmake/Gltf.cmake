# glTF reading and writing for the simulated host and the command-line
# program (never the plugin): Debian's tinygltf, and nlohmann-json, which
# tinygltf is built on and which also writes the run's report.
if(WIN32)
  # No tinygltf library for the cross compiler: compile Debian's header once,
  # without image decoding (models are read for their nodes and meshes only).
  set(KOVRA_GLTF_INCLUDE_DIR ${CMAKE_BINARY_DIR}/gltf-include)
  file(MAKE_DIRECTORY ${KOVRA_GLTF_INCLUDE_DIR})
  file(CREATE_LINK /usr/include/tiny_gltf.h ${KOVRA_GLTF_INCLUDE_DIR}/tiny_gltf.h SYMBOLIC)
  file(CREATE_LINK /usr/include/nlohmann ${KOVRA_GLTF_INCLUDE_DIR}/nlohmann SYMBOLIC)
  add_library(kovra_gltf STATIC ${CMAKE_CURRENT_LIST_DIR}/TinyGltfImplementation.cpp)
  target_include_directories(kovra_gltf SYSTEM PUBLIC ${KOVRA_GLTF_INCLUDE_DIR})
  target_compile_definitions(kovra_gltf PUBLIC TINYGLTF_NO_STB_IMAGE TINYGLTF_NO_STB_IMAGE_WRITE
                                               TINYGLTF_NO_EXTERNAL_IMAGE)
else()
  find_package(TinyGLTF REQUIRED)
  find_package(nlohmann_json REQUIRED)
  add_library(kovra_gltf INTERFACE)
  target_link_libraries(kovra_gltf INTERFACE TinyGLTF::TinyGLTF nlohmann_json::nlohmann_json)
endif()
