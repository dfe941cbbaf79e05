#pragma once
// Preset file contents for the tests of the file format and of the editor's
// Open button: byte images of valid files and a table of files that must be
// refused.

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace preset_test {

using Bytes = std::vector<unsigned char>;

// Ten values that differ from each other and from the parameters' starting
// values, exact in binary, with a processing mode (id 9) that the controller
// keeps as it is.
constexpr double Distinct[10] = {0.25, 0.125, 0.75, 0.375, 0.0625, 0.5, 0.875, 1.0, 1.0, 0.0};

// A magic followed by the values as little-endian doubles.
inline Bytes file(const char* magic, std::vector<double> values)
{
    Bytes bytes(magic, magic + std::strlen(magic));
    for (double value : values) {
        unsigned char raw[8];
        std::memcpy(raw, &value, 8);
        bytes.insert(bytes.end(), raw, raw + 8);
    }
    return bytes;
}

inline std::vector<double> distinct(size_t count) { return {Distinct, Distinct + count}; }

// The ten distinct values with one of them replaced.
inline std::vector<double> distinctWith(size_t id, double value)
{
    std::vector<double> values = distinct(10);
    values[id] = value;
    return values;
}

inline Bytes withTrailingByte(Bytes bytes)
{
    bytes.push_back(0);
    return bytes;
}

inline Bytes cut(Bytes bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

struct InvalidCase {
    std::string name;
    Bytes bytes;
};

inline std::vector<InvalidCase> invalidCases()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Bytes current = file("HSK2", distinct(10));
    const Bytes old = file("HSK1", distinct(9));
    return {
        {"current form cut to 76 bytes", cut(current, 76)},
        {"current form cut inside the last value", cut(current, 83)},
        {"old form of 84 bytes", file("HSK1", distinct(10))},
        {"old form cut inside the last value", cut(old, 75)},
        {"empty file", {}},
        {"1 byte", cut(current, 1)},
        {"2 bytes", cut(current, 2)},
        {"3 bytes", cut(current, 3)},
        {"magic only", cut(current, 4)},
        {"current form with a trailing byte", withTrailingByte(current)},
        {"old form with a trailing byte", withTrailingByte(old)},
        {"lower-case magic", file("hsk2", distinct(10))},
        {"lower-case old magic", file("hsk1", distinct(9))},
        {"other magic", file("HSK3", distinct(10))},
        {"NaN", file("HSK2", distinctWith(3, nan))},
        {"infinity", file("HSK2", distinctWith(0, infinity))},
        {"negative infinity", file("HSK2", distinctWith(5, -infinity))},
        {"next double above 1", file("HSK2", distinctWith(6, std::nextafter(1.0, 2.0)))},
        {"negative value", file("HSK2", distinctWith(2, -0.25))},
        {"smallest negative value", file("HSK2", distinctWith(1, -std::numeric_limits<double>::denorm_min()))},
        {"invalid tenth value", file("HSK2", distinctWith(9, 1.5))},
        {"NaN as tenth value", file("HSK2", distinctWith(9, nan))},
        {"old form with an invalid ninth value", file("HSK1", {0.25, 0.125, 0.75, 0.375, 0.0625, 0.5, 0.875, 1.0, 2.0})},
    };
}

} // namespace preset_test
