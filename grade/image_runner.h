#pragma once

#include "run.h"
#include "wren.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wren::grade {

/// Runs one loaded program on many inputs: the program is read once, and
/// before each run only the words the last run wrote are put back, not all
/// 65,536 of them.
class ImageRunner {
public:
    ImageRunner();

    /// Loads file on a cleared processor and keeps what it loaded.
    std::optional<LoadError> Load(const std::string& file);
    /// Loads program text, as Load does a file.
    std::optional<LoadError> LoadText(std::string_view text);
    /// Changes a word of the loaded image, for every run from now on.
    void Change(std::int32_t address, std::int32_t value);
    /// The loaded image's word.
    std::int32_t Loaded(std::int32_t address) const {
        return image_[static_cast<std::size_t>(address)];
    }
    /// From now on, the BVS at address at (-1: none) is taken whatever V
    /// holds, as a slip that always branches would be: the image keeps it.
    void AlwaysTake(std::int32_t at) { alwaysTaken_ = at; }
    /// First address after the program.
    std::int32_t HiMem() const { return cpu_->HiMem(); }

    /// Runs from the loaded state with the registers 0, fixed and then more
    /// words written first.
    RunResult Run(const std::vector<std::pair<std::int32_t, std::int32_t>>& fixed,
                  const std::vector<std::int32_t>& addresses, const std::int32_t* values,
                  const RunLimits& limits);

    /// The processor as the last run left it.
    const Wren& Cpu() const { return *cpu_; }

private:
    RunResult RunOnce(const std::vector<std::pair<std::int32_t, std::int32_t>>& fixed,
                      const std::vector<std::int32_t>& addresses, const std::int32_t* values,
                      const RunLimits& limits);
    RunResult RunBatched(const RunLimits& limits);
    RunResult RunAlwaysTaking(RunLimits limits);
    void Write(std::int32_t address, std::int32_t value);

    std::unique_ptr<Wren> cpu_;
    std::unique_ptr<std::int32_t[]> image_;
    WriteLog written_;
    // The stops of the last run's breaks, kept while the breaks stay.
    std::unique_ptr<StopSet> stops_;
    std::vector<std::int32_t> breaks_;
    std::int32_t alwaysTaken_ = -1;
};

} // namespace wren::grade
