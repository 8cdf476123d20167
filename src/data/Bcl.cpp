#include "Bcl.h"

#include <cstring>
#include <filesystem>
#include <new>

#include <sys/mman.h>

namespace {

std::string conversion_message(std::string_view text)
{
    std::string message;
    message.reserve(text.size() + 32);
    message.append(1, '\'').append(text).append("' is not a valid integer value");
    return message;
}

} // namespace

Ebcl_conversion_error::Ebcl_conversion_error(std::string_view text)
    : std::runtime_error(conversion_message(text)), text_(text)
{
}

bool bcl_is_empty(const char *text)
{
    return text == nullptr || text[0] == '\0';
}

std::int32_t bcl_strnlen(const char *text, std::int32_t max)
{
    std::int32_t i = 0;
    while (i < max && text[i] != '\0')
        ++i;
    return i;
}

std::int32_t bcl_str_copy(char *dest, const char *src, std::int32_t size)
{
    if (dest == nullptr || bcl_is_empty(src) || size == 0)
        return 0;
    std::size_t n = std::strlen(src);
    if (size > 0 && n > static_cast<std::size_t>(size - 1))
        n = static_cast<std::size_t>(size - 1);
    // Front to back, so that dest may lie before src in the same text.
    for (std::size_t i = 0; i < n; ++i)
        dest[i] = src[i];
    dest[n] = '\0';
    return static_cast<std::int32_t>(n);
}

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::int32_t bcl_text_to_int(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        throw Ebcl_conversion_error(text);

    std::int64_t value = 0;
    if (hex) {
        std::uint64_t bits = 0;
        for (; i < text.size(); ++i) {
            const int d = hex_digit(text[i]);
            if (d < 0)
                throw Ebcl_conversion_error(text);
            bits = bits * 16 + static_cast<std::uint64_t>(d);
            if (bits > 0xFFFFFFFFu)
                throw Ebcl_conversion_error(text);
        }
        // Hexadecimal digits are a 32-bit pattern: eight F digits are -1.
        const auto pattern = static_cast<std::uint32_t>(bits);
        return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
    }
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw Ebcl_conversion_error(text);
        value = value * 10 + (c - '0');
        if (value > std::int64_t{2147483648})
            throw Ebcl_conversion_error(text);
    }
    if (negative)
        value = -value;
    if (value > std::int64_t{2147483647} || value < -std::int64_t{2147483648})
        throw Ebcl_conversion_error(text);
    return static_cast<std::int32_t>(value);
}

std::int32_t bcl_str_to_int(std::string_view text)
{
    return text.empty() ? 0 : bcl_text_to_int(text);
}

std::int32_t bcl_str_to_int(const char *text)
{
    return bcl_is_empty(text) ? 0 : bcl_text_to_int(text);
}

int bcl_str_remove_char(char *text, char ch)
{
    char *out = text;
    for (const char *in = text; *in != '\0'; ++in) {
        if (*in != ch)
            *out++ = *in;
    }
    *out = '\0';
    return 1;
}

std::string bcl_get_current_dir()
{
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::current_path(ec);
    return ec ? std::string(".") : dir.string();
}

Cbcl_str::Cbcl_str(std::int32_t size_wanted)
{
    if (size_wanted > 0) {
        chars = new char[static_cast<std::size_t>(size_wanted) + 1];
        size = size_wanted + 1;
        clear();
    }
}

Cbcl_str::~Cbcl_str()
{
    delete[] chars;
}

void *bcl_map_pages(std::size_t bytes)
{
    void *const pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(pages, bytes, MADV_HUGEPAGE); // fresh memory is made far faster in large pages
#endif
    return pages;
}

void bcl_unmap_pages(void *pages, std::size_t bytes)
{
    ::munmap(pages, bytes);
}

void Cbcl_str::clear()
{
    if (chars != nullptr && size > 0)
        std::memset(chars, 0, static_cast<std::size_t>(size));
}
