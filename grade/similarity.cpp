#include "similarity.h"

#include "opcodes.h"
#include "program_map.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace wren::grade {

namespace {

std::uint64_t Mix(std::uint64_t x) {
    // splitmix64's finaliser: every input bit moves every output bit.
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t Combine(std::uint64_t seed, std::uint64_t value) {
    return Mix(seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2)));
}

enum Tag : std::uint64_t { kInstruction = 1, kData, kValue, kTarget, kOutside, kNone };

// What an address names, for a token: a data word, or an instruction by
// its opcode.
std::uint64_t TargetKind(const RecordSummary& target) {
    return target.kind == RecordSummary::Kind::Data
               ? kData
               : Combine(kInstruction, static_cast<std::uint64_t>(target.info->opcode));
}

// Which way an operand points from its record: back, at itself, ahead.
std::uint64_t Way(const RecordSummary& r) {
    return r.value > r.address ? 2 : r.value < r.address ? 0 : 1;
}

// A record's token. An address operand inside the program is told by the
// record it names (its kind and opcode, which half, and which way it
// points), so that words inserted before it change no token but their own.
std::uint64_t Token(const ProgramMap& map, const RecordSummary& r) {
    if (r.kind == RecordSummary::Kind::Data)
        return Combine(kData, static_cast<std::uint32_t>(r.value));
    std::uint64_t token = Combine(kInstruction, static_cast<std::uint64_t>(r.info->opcode));
    switch (r.info->operand) {
    case OperandUse::Value:
        return Combine(Combine(token, kValue), static_cast<std::uint32_t>(r.value));
    case OperandUse::Ignored: return Combine(token, kNone);
    case OperandUse::Address: break;
    }
    const RecordSummary* target = map.AtAddress(r.value);
    if (target == nullptr)
        return Combine(Combine(token, kOutside), static_cast<std::uint32_t>(r.value));
    const std::uint64_t half = static_cast<std::uint64_t>(r.value - target->address);
    return Combine(Combine(Combine(Combine(token, kTarget), TargetKind(*target)), half), Way(r));
}

const OpcodeInfo* AnyCase(std::string_view mnemonic) {
    for (const OpcodeInfo& info : kOpcodes)
        if (info.mnemonic.size() == mnemonic.size() &&
            std::equal(mnemonic.begin(), mnemonic.end(), info.mnemonic.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return &info;
    return nullptr;
}

// A jump through A to n: the record at n, or the end of the program.
std::uint64_t JumpToken(const ProgramMap& map, const RecordSummary& r) {
    const std::uint64_t token = Combine(kInstruction, 32);
    const RecordSummary* target = map.AtAddress(r.value);
    if (target == nullptr)
        return Combine(Combine(token, kTarget), kNone); // the end
    return Combine(Combine(Combine(token, kTarget), TargetKind(*target)), Way(r));
}

} // namespace

Fingerprints Fingerprint(std::string_view text) {
    Fingerprints f;
    const ProgramMap map = MapProgram(text);
    std::vector<const RecordSummary*> inOrder;
    for (const RecordSummary& r : map.records)
        if (r.TakesMemory())
            inOrder.push_back(&r);
    std::sort(inOrder.begin(), inOrder.end(), [](const RecordSummary* x, const RecordSummary* y) {
        return x->address < y->address;
    });
    const auto lines = SplitLines(text);
    for (std::size_t i = 0; i < inOrder.size(); ++i) {
        RecordSummary r = *inOrder[i];
        // A mnemonic in another case loads as data, and is the copier's
        // trick: it counts as the instruction it reads as.
        if (r.kind == RecordSummary::Kind::Data && r.line >= 1 &&
            static_cast<std::size_t>(r.line) <= lines.size())
            if (const OpcodeInfo* info =
                    AnyCase(ColumnText(lines[static_cast<std::size_t>(r.line) - 1], r.mnemonic))) {
                r.kind = RecordSummary::Kind::Instruction;
                r.info = info;
            }
        // Other data words are what a copier inserts to shift every address:
        // they count as the records operands name, not as tokens of their own.
        if (r.kind == RecordSummary::Kind::Data)
            continue;
        // LDAi n before STApc is a jump to n: an address, told by its record.
        const bool jump = r.info->opcode == 32 && i + 1 < inOrder.size() &&
                          inOrder[i + 1]->info != nullptr && inOrder[i + 1]->info->opcode == 256 &&
                          (map.AtAddress(r.value) != nullptr || r.value == map.himem);
        f.tokens.push_back(jump ? JumpToken(map, r) : Token(map, r));
        f.lines.push_back(r.line);
    }
    if (f.tokens.size() < kGram)
        return f;
    std::vector<std::uint64_t> grams;
    for (std::size_t i = 0; i + kGram <= f.tokens.size(); ++i) {
        std::uint64_t h = 0;
        for (std::size_t j = 0; j < kGram; ++j)
            h = Combine(h, f.tokens[i + j]);
        grams.push_back(h);
    }
    // Winnowing: in each window of kWindow consecutive k-grams keep the
    // least hash (the rightmost of equals); a stretch of kWindow + kGram - 1
    // matching tokens is sure to share a fingerprint.
    std::unordered_map<std::uint64_t, std::size_t> first;
    const std::size_t windows = grams.size() >= kWindow ? grams.size() - kWindow + 1 : 1;
    for (std::size_t w = 0; w < windows; ++w) {
        std::size_t best = w;
        for (std::size_t i = w; i < std::min(grams.size(), w + kWindow); ++i)
            if (grams[i] <= grams[best])
                best = i;
        first.emplace(grams[best], best);
    }
    std::vector<std::pair<std::uint64_t, std::size_t>> kept(first.begin(), first.end());
    std::sort(kept.begin(), kept.end());
    for (const auto& [hash, at] : kept) {
        f.hashes.push_back(hash);
        f.positions.push_back(at);
    }
    return f;
}

namespace {

// Lines from token from to token to, whichever way the records lie.
LineRange LinesOf(const Fingerprints& f, std::size_t from, std::size_t to) {
    const auto [low, high] =
        std::minmax_element(f.lines.begin() + static_cast<std::ptrdiff_t>(from),
                            f.lines.begin() + static_cast<std::ptrdiff_t>(to) + 1);
    return {*low, *high};
}

// Merges the matching k-grams (each as its first token in a and in b) into
// stretches that run on in both programs together: every stretch has its
// lines on each side, whatever order the copier put the blocks in.
std::vector<std::pair<LineRange, LineRange>>
Stretches(const Fingerprints& fa, const Fingerprints& fb,
          std::vector<std::pair<std::size_t, std::size_t>> starts) {
    std::sort(starts.begin(), starts.end());
    struct Span {
        std::size_t aFrom, aTo, bFrom, bTo;
    };
    std::vector<Span> spans;
    for (const auto& [a, b] : starts) {
        const std::size_t aEnd = std::min(fa.tokens.size(), a + kGram) - 1;
        const std::size_t bEnd = std::min(fb.tokens.size(), b + kGram) - 1;
        if (!spans.empty()) {
            Span& last = spans.back();
            if (a <= last.aTo + 1 && b >= last.bFrom && b <= last.bTo + 1) {
                last.aTo = std::max(last.aTo, aEnd);
                last.bTo = std::max(last.bTo, bEnd);
                continue;
            }
        }
        spans.push_back({a, aEnd, b, bEnd});
    }
    std::vector<std::pair<LineRange, LineRange>> out;
    for (const Span& s : spans)
        out.emplace_back(LinesOf(fa, s.aFrom, s.aTo), LinesOf(fb, s.bFrom, s.bTo));
    return out;
}

} // namespace

std::vector<SimilarPair> FindSimilar(const std::vector<Fingerprints>& programs,
                                     const std::vector<Fingerprints>& excluded, double threshold) {
    std::unordered_set<std::uint64_t> common;
    for (const Fingerprints& e : excluded)
        common.insert(e.hashes.begin(), e.hashes.end());
    // The index: each fingerprint to the programs that have it.
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> index;
    for (std::size_t i = 0; i < programs.size(); ++i)
        for (std::uint64_t h : programs[i].hashes)
            if (!common.contains(h))
                index[h].push_back(i);
    // What a tenth of the class (and at least a dozen) shares is how the
    // task is solved, not who copied whom.
    const std::size_t crowd = std::max<std::size_t>(12, programs.size() / 10);
    std::vector<std::size_t> counted(programs.size());
    for (std::size_t i = 0; i < programs.size(); ++i)
        for (std::uint64_t h : programs[i].hashes) {
            const auto it = index.find(h);
            if (it != index.end() && it->second.size() <= crowd)
                ++counted[i];
        }
    std::unordered_map<std::uint64_t, std::size_t> sharedBy; // pair key -> count
    for (const auto& [hash, holders] : index) {
        if (holders.size() < 2 || holders.size() > crowd)
            continue;
        for (std::size_t x = 0; x < holders.size(); ++x)
            for (std::size_t y = x + 1; y < holders.size(); ++y)
                ++sharedBy[(static_cast<std::uint64_t>(holders[x]) << 32) | holders[y]];
    }
    std::vector<SimilarPair> pairs;
    for (const auto& [key, shared] : sharedBy) {
        const std::size_t a = key >> 32, b = key & 0xffffffffu;
        const std::size_t smaller = std::min(counted[a], counted[b]);
        // A program with fewer fingerprints than this is too short to tell
        // a copy from the obvious way to write it.
        if (smaller < kFewest)
            continue;
        const double similarity = static_cast<double>(shared) / static_cast<double>(smaller);
        if (similarity < threshold)
            continue;
        pairs.push_back({a, b, similarity, shared, {}});
    }
    std::sort(pairs.begin(), pairs.end(), [](const SimilarPair& x, const SimilarPair& y) {
        return x.similarity != y.similarity ? x.similarity > y.similarity
                                            : std::pair(x.a, x.b) < std::pair(y.a, y.b);
    });
    // Where they match, for the pairs reported: the shared fingerprints'
    // k-grams in each, merged into stretches of lines.
    for (SimilarPair& p : pairs) {
        const Fingerprints &fa = programs[p.a], &fb = programs[p.b];
        std::vector<std::pair<std::size_t, std::size_t>> starts;
        for (std::size_t i = 0, j = 0; i < fa.hashes.size() && j < fb.hashes.size();) {
            if (fa.hashes[i] < fb.hashes[j]) {
                ++i;
            } else if (fb.hashes[j] < fa.hashes[i]) {
                ++j;
            } else {
                if (!common.contains(fa.hashes[i])) {
                    starts.emplace_back(fa.positions[i], fb.positions[j]);
                }
                ++i;
                ++j;
            }
        }
        p.ranges = Stretches(fa, fb, std::move(starts));
    }
    return pairs;
}

} // namespace wren::grade
