#pragma once

namespace kovra::cli {

// Entry point of the `kovra` program; returns the process exit status.
int Main(int argc, char** argv);

}  // namespace kovra::cli
