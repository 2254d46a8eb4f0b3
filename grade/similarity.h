#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wren::grade {

/// A program as the similarity finder sees it: one token per record that
/// takes memory, in load order, made of what the machine loads (the opcode
/// word; an immediate operand's value; an address operand as the record it
/// names, not the address, so that inserted words hide nothing), and the
/// winnowed fingerprints of its k-grams.
struct Fingerprints {
    std::vector<std::uint64_t> tokens;
    std::vector<int> lines;             ///< each token's source line
    std::vector<std::uint64_t> hashes;  ///< the fingerprints, distinct, ascending
    std::vector<std::size_t> positions; ///< for each fingerprint, its first k-gram's first token
};

inline constexpr std::size_t kGram = 5;   ///< tokens per k-gram
inline constexpr std::size_t kWindow = 4; ///< k-grams per winnowing window
inline constexpr std::size_t kFewest = 4; ///< fingerprints a program needs to be compared

/// The fingerprints of a program text; a text that does not load gives the
/// records before the failing one.
Fingerprints Fingerprint(std::string_view text);

/// Lines of one program, first to last, that match lines of another.
struct LineRange {
    int first = 0;
    int last = 0;
};

struct SimilarPair {
    std::size_t a = 0, b = 0; ///< indices into the programs, a < b
    double similarity = 0;    ///< shared fingerprints over the smaller program's
    std::size_t shared = 0;
    /// The matching stretches, side by side: lines of a, lines of b.
    std::vector<std::pair<LineRange, LineRange>> ranges;
};

/// Pairs of programs whose shared fingerprints, less those of any excluded
/// program (the model answer, a starter program), reach threshold; best
/// first. Fingerprints that a large share of the class has are common
/// ground, not copying, and are left out too. Programs are compared through
/// an index of fingerprints: the cost grows with the pairs that share one,
/// not with every pair.
std::vector<SimilarPair> FindSimilar(const std::vector<Fingerprints>& programs,
                                     const std::vector<Fingerprints>& excluded, double threshold);

} // namespace wren::grade
