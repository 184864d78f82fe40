#pragma once

// What every fuzz target shares: the input cut into fields, and a check that stops the run with the
// finding when a property does not hold.

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvel::fuzz {

// The input as bytes, taken field by field: a field runs up to the next 0xFF byte (which is dropped),
// or to the end; numbers are taken whole from the front.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(reinterpret_cast<const char*>(data)), size_(size) {}

    QByteArray field()
    {
        const void* end = std::memchr(data_ + at_, 0xFF, size_ - at_);
        const size_t stop = end ? size_t(static_cast<const char*>(end) - data_) : size_;
        QByteArray text(data_ + at_, qsizetype(stop - at_));
        at_ = end ? stop + 1 : stop;
        return text;
    }
    template <typename T>
    T number()
    {
        T value{};
        const size_t n = std::min(sizeof value, size_ - at_);
        std::memcpy(&value, data_ + at_, n);
        at_ += n;
        return value;
    }
    QByteArray rest()
    {
        QByteArray text(data_ + at_, qsizetype(size_ - at_));
        at_ = size_;
        return text;
    }

private:
    const char* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace tarvel::fuzz

// A property that must hold: otherwise the run stops here with what failed, as a crash that libFuzzer
// keeps as a finding.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
