#include "curve_csv.h"

#include <charconv>
#include <string>

namespace darvelon::analysis {

namespace {

void appendNumber(std::string& row, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    row.append(text, end);
}

}  // namespace

void writeCurveCsv(const std::vector<CurveBin>& bins, std::ostream& out) {
    std::string text = kCurveCsvHeader;
    for (const CurveBin& b : bins) {
        appendNumber(text, b.fromRpm);
        text += ',';
        appendNumber(text, b.toRpm);
        text += ',';
        text += std::to_string(b.frames);
        text += ',';
        appendNumber(text, b.meanDeg);
        text += ',';
        appendNumber(text, b.minDeg);
        text += ',';
        appendNumber(text, b.maxDeg);
        text += '\n';
    }
    out << text;
}

}  // namespace darvelon::analysis
