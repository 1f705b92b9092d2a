#pragma once
#include <stdexcept>

namespace darvelon::decoder {

// A frame whose period equals the previous one: the speed would divide by zero.
class EZeroDivide : public std::runtime_error {
public:
    EZeroDivide() : std::runtime_error("Floating point division by zero") {}
};

}  // namespace darvelon::decoder
