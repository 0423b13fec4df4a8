// Seeded choices for the randomized tests, the same on every machine for one
// seed, and a printable form of the texts they make. Plain C++.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

class RandomChoices {
public:
    explicit RandomChoices(std::uint32_t seed) : random_(seed) {}

    std::size_t Below(std::size_t n) { return n == 0 ? 0 : random_() % n; }
    bool OneIn(std::size_t n) { return Below(n) == 0; }
    template <std::size_t N>
    const char* Pick(const char* const (&choices)[N]) {
        return choices[Below(N)];
    }

private:
    std::mt19937 random_;
};

// The text with every byte outside printable ASCII, and the backslash, as \xNN.
inline std::string Printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof(escaped), c >= 0x20 && c < 0x7f && c != '\\' ? "%c" : "\\x%02x", c);
        shown += escaped;
    }
    return shown;
}
