// File names are bytes here; they pass through untouched, UTF-8 or not.
#include "program_arguments.h"

namespace darvelon::cli {

std::vector<std::string> utf8Arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void prepareStandardStreams() {}

}  // namespace darvelon::cli
