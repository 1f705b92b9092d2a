#include "curve_csv.h"

#include <string>

#include "decoder/csv_export.h"

namespace darvelon::analysis {

void writeCurveCsv(const std::vector<CurveBin>& bins, std::ostream& out) {
    std::string text = kCurveCsvHeader;
    for (const CurveBin& b : bins) {
        decoder::appendShortest(text, b.fromRpm);
        text += ',';
        decoder::appendShortest(text, b.toRpm);
        text += ',';
        text += std::to_string(b.frames);
        text += ',';
        decoder::appendShortest(text, b.meanDeg);
        text += ',';
        decoder::appendShortest(text, b.minDeg);
        text += ',';
        decoder::appendShortest(text, b.maxDeg);
        text += '\n';
    }
    out << text;
}

}  // namespace darvelon::analysis
