#pragma once

#include <filesystem>
#include <optional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Vector3.h"
#include "sim/VehicleModel.h"

// Vehicle scene files: a VehicleModel as line-based text, so that a modder
// can describe a vehicle's control frames without writing code. The format
// is documented in docs/scenes.md.
namespace kovra::sim {

inline constexpr std::string_view kSceneHeader = "kovra-vehicle";
inline constexpr int kSceneVersion = 1;

// Limits past which a file is taken as damaged rather than as a vehicle.
inline constexpr std::size_t kMaxSceneFileBytes = 1u << 20;
inline constexpr std::size_t kMaxSceneNameLength = 63;
inline constexpr std::size_t kMaxFrameVertices = 4096;
inline constexpr float kMaxSceneCoordinate = 100.0f;  // metres, any axis
inline constexpr float kMaxSceneAngle = 360.0f;       // degrees, either sign

// The directory of the built-in scenes (scenes/ of the source tree).
std::filesystem::path BuiltInScenesDirectory();

// A built-in scene ("sedan.vehicle") with its id replaced, read once per
// process. A built-in scene that does not load is a broken installation:
// std::runtime_error says which file and why (the program reports it and
// exits with status 2).
VehicleModel BuiltInVehicle(const std::string& fileName, int id);

// Reads a scene file: a .vehicle text, or a glTF model (.gltf, .glb) whose
// extras carry the record (sim/GltfScene.h). A text scene may take its
// frames from a glTF model instead ("model FILE", found beside it). On
// failure the result is empty and *error holds one line: "FILE:LINE: what
// is wrong" (with ":COLUMN" after the line when a single token is at fault;
// "FILE: what is wrong" for a glTF file). The model passes
// VehicleModel::Validate.
std::optional<VehicleModel> LoadVehicleScene(const std::filesystem::path& path,
                                             std::string* error = nullptr);
// The same for text already in memory; sourceName stands for the file name
// in messages, and a "model" file is looked for beside it.
std::optional<VehicleModel> ParseVehicleScene(std::string_view text, const std::string& sourceName,
                                              std::string* error = nullptr);

// The model as scene text that reads back to the same model (positions,
// vertices and values exactly, rotations to within 1e-5). Empty, with the
// reason in *error, for a model the format cannot hold: one that fails
// Validate, a name with blanks or '#', two frames of one name, a modelling
// matrix that is not a pure rotation, a value outside the file's limits.
std::string WriteVehicleScene(const VehicleModel& model, std::string* error = nullptr);
// Writes through a temporary file, so a failed save leaves the old file.
bool SaveVehicleScene(const VehicleModel& model, const std::filesystem::path& path,
                      std::string* error = nullptr);

// Rotation rows of a frame turned by Euler degrees: first about the parent's
// x axis, then about its y axis, then about its z axis (M = Rx * Ry * Rz for
// row vectors). Positive angles turn counter-clockwise seen from the axis's
// positive end: a positive x turn lifts the frame's y axis upwards.
FrameMatrix EulerFrame(const Vector3& degrees);
// The inverse for a pure rotation; the x and z turns share the angle when
// the y turn is +-90 degrees, and then the z turn is reported as 0.
Vector3 EulerDegrees(const FrameMatrix& rotation);

// ---- text helpers shared by the scene and scenario readers ---------------

struct SceneToken {
    std::string_view text;
    int column = 0;  // 1-based
};

// Splits a line at blanks and tabs; a '#' starts a comment that runs to the
// end of the line.
std::vector<SceneToken> TokenizeSceneLine(std::string_view line);

struct SceneLine {
    int number = 0;                  // 1-based
    std::vector<SceneToken> tokens;  // never empty
};
// The lines of a text that hold tokens (blank and comment lines dropped), a
// leading UTF-8 byte-order mark skipped. The tokens point into `text`.
std::vector<SceneLine> SplitSceneLines(std::string_view text);

// Reads a whole text file of at most maxBytes; false with a message naming
// the file when it cannot be read, is too large or holds a NUL byte.
bool ReadSceneTextFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& text,
                       std::string& error);
// The same for a file of any bytes.
bool ReadSceneBytes(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes,
                    std::string& error);

// Empty when a model or frame name can stand in a scene file; otherwise why
// not ("is longer than 63 characters", ...).
std::string SceneNameProblem(std::string_view name);
// The vehicle type codes by the names a scene gives them ("car",
// "motorbike", "bicycle"); -1 and an empty name for the others.
int SceneVehicleType(std::string_view name);
std::string_view SceneVehicleTypeName(int code);

// Each of these reads a whole token; false leaves `out` alone and puts the
// reason ("is not a number", "is not a finite number", ...) in `why`.
bool ParseSceneFloat(std::string_view token, float& out, std::string& why);
bool ParseSceneInt(std::string_view token, int& out, std::string& why);

// Shortest text that reads back to the same float, without the process
// locale; -0 is written as 0.
std::string FormatSceneNumber(float value);

// "FILE:LINE: message" or, with a column, "FILE:LINE:COLUMN: message".
std::string SceneMessage(const std::string& file, int line, int column, const std::string& message);

// The text in double quotes, for messages; unprintable bytes as \xNN and at
// most 40 characters of it.
std::string QuotedForMessage(std::string_view text);

// What the scene and scenario readers share: the lines of the text, and the
// first error with the place it was found.
class SceneTextReader {
protected:
    SceneTextReader(std::string_view text, std::string source)
        : lines_(SplitSceneLines(text)), source_(std::move(source)) {}

    bool Fail(int line, int column, const std::string& message);
    // Fails on tokens after the expected ones.
    bool NoMore(const SceneLine& l, std::size_t expected);
    // First use of a keyword in a scope; a second one is an error.
    bool Once(std::map<std::string, int, std::less<>>& given, const SceneLine& l);

    std::vector<SceneLine> lines_;
    std::string source_;
    std::string error_;
};

}  // namespace kovra::sim
