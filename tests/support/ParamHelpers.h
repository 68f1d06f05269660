#pragma once
// Helpers of the parameter tests: files in the rig's folders, frames as the
// dashboard sends them, and the rows of the shipped definition file.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/Rig.h"

namespace kv::test {

// Replaces the definition file beside the rig's program.
inline void useDefinitions(Rig& rig, const std::string& content) {
    writeFile(std::filesystem::path(rig.folders.programPath) / "KV5x_Params.txt", content);
}

inline std::filesystem::path paramFolder(Rig& rig) {
    return std::filesystem::path(rig.folders.documentsPath) / "KV53_ParamFiles";
}

// One definition line of a parameter: its value, limits, label and type.
inline std::string definition(int number, const std::string& value, const std::string& min, const std::string& max,
                              const std::string& label, const std::string& type = "PERMISSION_TYPE_5") {
    char code[8];
    std::snprintf(code, sizeof code, "P%03d", number);
    return std::string(code) + ",Name," + value + "," + value + "," + min + "," + max + ",unit," + type + "," + label +
           "\r\n";
}

// `n` definition lines P001... with the given limits and type, labelled M1...
inline std::string definitionLines(int n, int min = 0, int max = 1000, const char* type = "PERMISSION_TYPE_5") {
    std::string s;
    for (int i = 1; i <= n; ++i)
        s += definition(i, "5", std::to_string(min), std::to_string(max), "M" + std::to_string(i), type);
    return s;
}

}  // namespace kv::test
