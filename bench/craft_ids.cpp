// qv-craft-ids: writes two history files of the same size and shape, one whose transaction IDs were
// chosen to meet in one place of a hash index keyed by a fixed, publicly known hash (the case-blind
// FNV-1a with a final shift that the store once used), and one with random IDs of the same length.
// bench/run-hostile-bench loads both: with a keyed hash their loads take about the same time.
//
// How the IDs are found: below bit 49, that hash's state after a byte depends only on the state's own
// bits below 49 and the byte, and its slot in an index of up to 2^20 places only on those bits. So two
// 7-byte blocks that lead from the same state to the same low 49 bits can stand in for each other; 18
// such pairs, one after the other, make 2^18 IDs of 126 bytes that all share one slot. Each pair is
// found by a cycle search (Floyd) over the 49-bit states, with no memory to speak of.
//
//   qv-craft-ids CRAFTED.csv NORMAL.csv
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t fnv_prime = 1099511628211ull;
constexpr std::uint64_t fnv_start = 1469598103934665603ull;
constexpr std::uint64_t low49 = (std::uint64_t{1} << 49) - 1;
constexpr int block_bytes = 7; // 7 bytes of 7 free bits each: 49 bits
constexpr int stages = 18;

unsigned char fold(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

std::uint64_t step(std::uint64_t h, unsigned char c)
{
    return (h ^ fold(c)) * fnv_prime;
}

// The bytes of block x: seven bytes from 0x80 up, which no letter case touches.
void block_of(std::uint64_t x, unsigned char (&out)[block_bytes])
{
    for (int i = 0; i < block_bytes; ++i)
        out[i] = static_cast<unsigned char>(0x80 | ((x >> (7 * i)) & 0x7F));
}

std::uint64_t after_block(std::uint64_t h, std::uint64_t x)
{
    unsigned char b[block_bytes];
    block_of(x, b);
    for (const unsigned char c : b)
        h = step(h, c);
    return h;
}

// Two different blocks that lead from state h to the same low 49 bits.
bool find_pair(std::uint64_t h, std::uint64_t start, std::uint64_t &a, std::uint64_t &b)
{
    const auto f = [h](std::uint64_t x) { return after_block(h, x) & low49; };
    std::uint64_t tortoise = f(start);
    std::uint64_t hare = f(f(start));
    while (tortoise != hare) {
        tortoise = f(tortoise);
        hare = f(f(hare));
    }
    // Walk from the start and from the meeting point together: the step before they meet is the pair.
    tortoise = start;
    if (tortoise == hare)
        return false; // the start lies on the cycle: no tail, no pair
    for (;;) {
        const std::uint64_t t = f(tortoise);
        const std::uint64_t u = f(hare);
        if (t == u) {
            a = tortoise;
            b = hare;
            return a != b;
        }
        tortoise = t;
        hare = u;
    }
}

std::string csv_line(const std::string &id, int i)
{
    std::string line = "\"1/2/2022\",\"10:11:12\",\"PST\",\"Buyer " + std::to_string(i) +
                       "\",\"Cart\",\"Completed\",\"12.50\",\"-0.66\",\"11.84\",\"buyer@example.com\","
                       "\"shop@example.com\",\"" +
                       id + "\"";
    for (int c = 12; c < 42; ++c)
        line += c == 32 ? ",\"1\"" : ",\"\"";
    return line + ",\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: qv-craft-ids CRAFTED.csv NORMAL.csv\n", stderr);
        return 2;
    }
    std::mt19937_64 random(2026);
    std::vector<std::uint64_t> first(stages), second(stages);
    std::uint64_t h = fnv_start;
    for (int s = 0; s < stages; ++s) {
        while (!find_pair(h, random() & low49, first[s], second[s])) {
        }
        h = after_block(h, first[s]);
        std::fprintf(stderr, "qv-craft-ids: pair %d of %d\n", s + 1, stages);
    }

    std::FILE *crafted = std::fopen(argv[1], "wb");
    std::FILE *normal = std::fopen(argv[2], "wb");
    if (crafted == nullptr || normal == nullptr) {
        std::perror("qv-craft-ids");
        return 1;
    }
    const std::string header = "\"Date\",\"Time\",\"Transaction ID\",\r\n";
    std::fputs(header.c_str(), crafted);
    std::fputs(header.c_str(), normal);
    std::uint64_t slot = 0;
    for (std::uint32_t i = 0; i < (1u << stages); ++i) {
        std::string id;
        std::uint64_t hash = fnv_start;
        for (int s = 0; s < stages; ++s) {
            unsigned char b[block_bytes];
            block_of((i >> s & 1) != 0 ? second[s] : first[s], b);
            id.append(reinterpret_cast<const char *>(b), block_bytes);
            for (const unsigned char c : b)
                hash = step(hash, c);
        }
        // Every crafted ID lands in the same one of 2^20 places of the old index.
        const std::uint64_t place = (hash ^ (hash >> 29)) & ((1u << 20) - 1);
        if (i == 0)
            slot = place;
        if (place != slot) {
            std::fprintf(stderr, "qv-craft-ids: ID %u does not collide\n", i);
            return 1;
        }
        std::fputs(csv_line(id, static_cast<int>(i)).c_str(), crafted);
        std::string plain(id.size(), ' ');
        for (char &c : plain)
            c = static_cast<char>(0x80 | (random() & 0x7F));
        std::fputs(csv_line(plain, static_cast<int>(i)).c_str(), normal);
    }
    if (std::fclose(crafted) != 0 || std::fclose(normal) != 0) {
        std::perror("qv-craft-ids");
        return 1;
    }
    std::fprintf(stderr, "qv-craft-ids: %u IDs of %d bytes, all in place %llu of the old index\n",
                 1u << stages, stages * block_bytes, static_cast<unsigned long long>(slot));
    return 0;
}
