#include "Inputs.h"

#include <fstream>
#include <stdexcept>

namespace MicroBench {

VexlaLib::TByteArray ReadHexFile(const std::string& relative)
{
    std::ifstream file(std::string(VEXLA_SOURCE_DIR) + "/" + relative);
    std::string text;
    file >> text;
    if (text.empty()) {
        throw std::runtime_error("missing " + relative);
    }
    VexlaLib::TByteArray bytes;
    for (size_t n = 0; n + 1 < text.size(); n += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(n, 2), nullptr, 16)));
    }
    return bytes;
}

}  // namespace MicroBench
