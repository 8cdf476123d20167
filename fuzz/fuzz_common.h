// Shared by the fuzz targets: a check that aborts with a message (so that libFuzzer keeps the input),
// and exact-size copies of the input (so that AddressSanitizer sees a read past its end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#define QV_FUZZ_CHECK(cond)                                                                                  \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// The bytes in an allocation of exactly their size.
class Texact_bytes {
public:
    Texact_bytes(const std::uint8_t *data, std::size_t size)
        : bytes_(new char[size > 0 ? size : 1]), size_(size)
    {
        for (std::size_t i = 0; i < size; ++i)
            bytes_[i] = static_cast<char>(data[i]);
    }
    std::string_view view() const { return {bytes_.get(), size_}; }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_;
};
