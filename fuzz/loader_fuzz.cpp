// Fuzzes the loader with whole files, then runs a few steps and lists the
// instructions at PC, and checks what must always hold.
#include "program_check.h"
#include "program_map.h"
#include "run.h"
#include "wren.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

const std::filesystem::path& ProgramPath() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("wren-fuzz-" + std::to_string(getpid()) + ".ram");
    return path;
}

// Lines as the loader counts them: LF, CR LF and a lone CR each end one.
int LinesIn(const std::uint8_t* data, std::size_t size) {
    int lines = 1;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n')))
            ++lines;
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& path = ProgramPath();
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        Require(file != nullptr);
        Require(size == 0 || std::fwrite(data, 1, size, file) == size);
        std::fclose(file);
    }

    // One processor, cleared each time: a new one per input costs more than
    // the input itself.
    static wren::Wren cpu;
    cpu.Clear();
    std::optional<wren::LoadError> error;
    try {
        error = cpu.Load_Ram(path);
    } catch (...) {
        std::abort(); // Load_Ram must report, never throw
    }
    Require(cpu.HiMem() >= 0 && cpu.HiMem() <= wren::Wren::kMemoryWords);
    Require(cpu.HiMem() % 2 == 0);
    if (error) {
        Require(error->line >= 1 && error->line <= LinesIn(data, size));
        Require(!error->message.empty());
    }

    // The checker reads the file exactly as the loader does.
    const wren::CheckResult check = wren::CheckProgram(path, {.data = true});
    Require(check.error.has_value() == error.has_value());
    if (error)
        Require(check.error->line == error->line && check.error->message == error->message);
    for (const auto& finding : check.findings)
        Require(finding.line >= 1 && finding.column >= 1 && !finding.name.empty());

    // The same bytes from memory load the same program, and the program map
    // places it at the same addresses.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static wren::Wren fromText;
    fromText.Clear();
    const auto textError = fromText.LoadText(text);
    Require(textError.has_value() == error.has_value() && fromText.HiMem() == cpu.HiMem());
    for (std::int32_t i = 0; i < cpu.HiMem(); ++i)
        Require(fromText.Memory(i) == cpu.Memory(i));
    const wren::ProgramMap map = wren::MapProgram(text);
    Require(map.himem == cpu.HiMem() && map.error.has_value() == error.has_value());
    for (std::int32_t a = 0; a < map.himem; a += 2)
        Require(map.AtAddress(a)->address == a && map.AtAddress(a + 1)->address == a);

    const wren::RunResult run = wren::Run(cpu, {200, {}});
    Require(run.steps >= 0 && run.steps <= 200);
    // A jump through A can leave PC anywhere up to the largest word, so the
    // addresses after it are counted in 64 bits and stop where 32 end.
    for (std::int64_t at = cpu.PCounter(), i = 0; i < 10 && at <= INT32_MAX; ++i, at += 2)
        Require(!cpu.Disassemble(static_cast<std::int32_t>(at)).empty());
    return 0;
}
