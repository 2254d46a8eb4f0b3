#include "step_description.h"

#include "fault_text.h"

#include <limits>

namespace wren {

namespace {

constexpr std::int32_t kLastAddress = Wren::kMemoryWords - 1;
constexpr std::int32_t kMaxWord = std::numeric_limits<std::int32_t>::max();

bool InMemory(std::int64_t address) { return address >= 0 && address <= kLastAddress; }

std::string N(std::int64_t value) { return std::to_string(value); }
std::string Bool(bool value) { return value ? "True" : "False"; }
std::string M(std::int64_t address) { return "M[" + N(address) + "]"; }

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty())
            text += " · ";
        text += part;
    }
    return text;
}

// Builds one description, step by step in the processor's own order, so
// that a fault leaves exactly the writes that came before it.
class Teller {
public:
    Teller(const MachineView& machine, StepDescription& step) : r_(machine.registers), d_(step) {}

    void Read(Place place, std::int32_t value, std::int32_t address = -1) {
        d_.reads.push_back({place, address, value});
    }
    void Write(Place place, std::int32_t before, std::int32_t after, std::int32_t address = -1) {
        d_.writes.push_back({place, address, before, after});
    }
    void SetPc(std::int32_t pc) {
        Write(Place::PC, r_.pcounter, pc);
        done_.push_back("PC ← " + N(pc));
    }
    /// Ends the step with a fault; false, for the caller to return.
    bool Fault(std::string message, std::string failed, std::string why) {
        d_.outcome = StepOutcome::Fault;
        d_.fault = std::move(message);
        d_.failed = std::move(failed);
        done_.push_back("fault: " + why);
        d_.text = Join(done_);
        return false;
    }
    bool AddCycles(std::int32_t cost) {
        const std::int64_t sum = std::int64_t{r_.cycles} + cost;
        if (sum > kMaxWord)
            return Fault(CycleOverflowText(d_.at), "Cycles",
                         "Cycles + " + N(cost) + " = " + N(sum) + " would pass " + N(kMaxWord));
        cycles_ = static_cast<std::int32_t>(sum);
        Write(Place::Cycles, r_.cycles, cycles_);
        done_.push_back("Cycles ← " + N(cycles_));
        return true;
    }
    /// The add instructions' tail: sum, V, cycles, then A; source is how the
    /// added value reads ("M[100]", "5", "(PC + 2)").
    bool Add(std::int32_t value, const std::string& source, std::int32_t cost) {
        const std::int64_t sum = std::int64_t{r_.accumulator} + value;
        const std::string sumText =
            "A + " + source + " = " + N(r_.accumulator) + " + " + N(value) + " = " + N(sum);
        if (sum < std::numeric_limits<std::int32_t>::min() || sum > kMaxWord)
            return Fault(SumOverflowText(std::int64_t{value} + r_.accumulator, d_.at), "A",
                         sumText + " does not fit 32 bits");
        const bool v = sum > 65535;
        Write(Place::V, r_.overflow, v);
        const std::string vText = "V ← " + N(sum) + " > 65535 = " + Bool(v);
        done_.push_back(vText);
        if (!AddCycles(cost))
            return false;
        const auto a = static_cast<std::int32_t>(sum % 65536);
        Write(Place::A, r_.accumulator, a);
        Finish({"A ← " + sumText + (a != sum ? " rem 65536 = " + N(a) : ""), vText, PcPart(),
                CyclesPart()});
        return true;
    }
    void Finish(const std::vector<std::string>& parts) {
        d_.outcome = StepOutcome::Executed;
        d_.text = Join(parts);
    }
    std::string PcPart() const { return "PC ← " + N(d_.writes.front().after); }
    std::string CyclesPart() const { return "Cycles ← " + N(cycles_); }

private:
    const Registers r_;
    StepDescription& d_;
    std::vector<std::string> done_; // what happened so far, for a fault's line
    std::int32_t cycles_ = 0;
};

} // namespace

const char* PlaceName(Place place) {
    switch (place) {
    case Place::A: return "A";
    case Place::PC: return "PC";
    case Place::V: return "V";
    case Place::Cycles: return "Cycles";
    case Place::Memory: return "M";
    }
    return "?";
}

StepDescription DescribeStep(const Wren& cpu) {
    return DescribeStep(MachineView{cpu.GetRegisters(), cpu.Words()});
}

// Each case follows Wren::Step's order of effects: PC first, then the value,
// then the cycles (and an add's V before its cycles, its A after).
StepDescription DescribeStep(const MachineView& machine) {
    StepDescription d;
    const Registers& r = machine.registers;
    d.at = r.pcounter;
    Teller tell(machine, d);
    if (!InMemory(d.at)) {
        tell.Fault(PcOutsideText(d.at), "PC",
                   "PC = " + N(d.at) + " is outside memory: no instruction to fetch");
        return d;
    }
    d.word = machine.Word(d.at);
    d.instruction = FindOpcode(d.word);
    if (InMemory(std::int64_t{d.at} + 1))
        d.operand = machine.Word(d.at + 1);
    if (d.instruction == nullptr) {
        d.text = M(d.at) + " = " + N(d.word) + " holds no instruction: nothing changes";
        return d;
    }
    const std::string_view mnemonic = d.instruction->mnemonic;
    if (!d.operand && d.instruction->operand != OperandUse::Ignored) {
        tell.Fault(NoOperandWordText(mnemonic, d.at), M(d.at + 1),
                   std::string(mnemonic) + " at " + N(d.at) +
                       " has no operand word: " + M(d.at + 1) + " is outside memory");
        return d;
    }
    const std::int32_t n = d.operand.value_or(0);
    const std::int32_t next = d.at + 2;
    // A memory operand outside memory faults after PC has moved on.
    const auto outside = [&](const char* verb) {
        return tell.Fault(OperandOutsideText(mnemonic, n, d.at), M(n),
                          std::string("cannot ") + verb + " " + M(n) + ": " + N(n) +
                              " is outside memory");
    };
    switch (d.instruction->opcode) {
    case 1: // ADDm
        tell.Read(Place::A, r.accumulator);
        tell.SetPc(next);
        if (!InMemory(n)) {
            outside("read");
            break;
        }
        tell.Read(Place::Memory, machine.Word(n), n);
        tell.Add(machine.Word(n), M(n), 4);
        break;
    case 2: // ADDi
        tell.Read(Place::A, r.accumulator);
        tell.SetPc(next);
        tell.Add(n, N(n), 3);
        break;
    case 4: // ADDpc
        tell.Read(Place::A, r.accumulator);
        tell.Read(Place::PC, r.pcounter);
        tell.SetPc(next);
        tell.Add(next, "(PC + 2)", 3);
        break;
    case 8: { // BVS
        tell.Read(Place::V, r.overflow);
        d.taken = r.overflow;
        d.target = n;
        tell.SetPc(r.overflow ? n : next);
        if (tell.AddCycles(3))
            tell.Finish({"V = " + Bool(r.overflow) + ": " + (r.overflow ? "taken" : "not taken") +
                             ": " + tell.PcPart(),
                         tell.CyclesPart()});
        break;
    }
    case 16: // LDAm
        tell.SetPc(next);
        if (!InMemory(n)) {
            outside("read");
            break;
        }
        tell.Read(Place::Memory, machine.Word(n), n);
        tell.Write(Place::A, r.accumulator, machine.Word(n));
        if (tell.AddCycles(3))
            tell.Finish(
                {"A ← " + M(n) + " = " + N(machine.Word(n)), tell.PcPart(), tell.CyclesPart()});
        break;
    case 32: // LDAi
        tell.SetPc(next);
        tell.Write(Place::A, r.accumulator, n);
        if (tell.AddCycles(3))
            tell.Finish({"A ← " + N(n), tell.PcPart(), tell.CyclesPart()});
        break;
    case 64: // LDApc
        tell.Read(Place::PC, r.pcounter);
        tell.SetPc(next);
        tell.Write(Place::A, r.accumulator, next);
        if (tell.AddCycles(3))
            tell.Finish({"A ← PC + 2 = " + N(next), tell.PcPart(), tell.CyclesPart()});
        break;
    case 128: // STAm
        tell.Read(Place::A, r.accumulator);
        tell.SetPc(next);
        if (!InMemory(n)) {
            outside("write");
            break;
        }
        tell.Write(Place::Memory, machine.Word(n), r.accumulator, n);
        if (tell.AddCycles(3))
            tell.Finish({M(n) + " ← A = " + N(r.accumulator) + " (was " + N(machine.Word(n)) + ")",
                         tell.PcPart(), tell.CyclesPart()});
        break;
    case 256: // STApc
        tell.Read(Place::A, r.accumulator);
        tell.SetPc(r.accumulator);
        if (tell.AddCycles(3))
            tell.Finish({"PC ← A = " + N(r.accumulator), tell.CyclesPart()});
        break;
    default: break; // FindOpcode knows no other
    }
    return d;
}

std::string_view TransferText(const OpcodeInfo& info) {
    switch (info.opcode) {
    case 1: return "A ← A + M[n] · V ← A + M[n] > 65535 · PC ← PC + 2";
    case 2: return "A ← A + n · V ← A + n > 65535 · PC ← PC + 2";
    case 4: return "A ← A + (PC + 2) · V ← A + (PC + 2) > 65535 · PC ← PC + 2";
    case 8: return "if V then PC ← n else PC ← PC + 2";
    case 16: return "A ← M[n] · PC ← PC + 2";
    case 32: return "A ← n · PC ← PC + 2";
    case 64: return "A ← PC + 2 · PC ← PC + 2";
    case 128: return "M[n] ← A · PC ← PC + 2";
    case 256: return "PC ← A";
    default: return "";
    }
}

StepDescription ExampleStep(const OpcodeInfo& info) {
    static const std::vector<std::int32_t> words = [] {
        std::vector<std::int32_t> w(Wren::kMemoryWords);
        w[100] = 7;
        return w;
    }();
    // The instruction at 8 with operand 100 (20 for BVS, 40 in A for STApc),
    // read through the view's one changed word and its neighbour.
    std::vector<std::int32_t> copy = words;
    copy[8] = info.opcode;
    copy[9] = info.opcode == 8 ? 20 : 100;
    const std::int32_t a = info.opcode == 256 ? 40 : 5;
    const MachineView view{{a, 8, info.opcode == 8, 23}, copy.data()};
    return DescribeStep(view);
}

std::string SpokenText(const StepDescription& d) {
    if (d.outcome == StepOutcome::Fault)
        return "Machine fault: " + d.fault + ".";
    if (d.instruction == nullptr)
        return "Word " + N(d.at) + " holds " + N(d.word) + ", no instruction: nothing changes.";
    const auto wrote = [&](Place place) -> const StepWrite* {
        for (const StepWrite& w : d.writes)
            if (w.place == place)
                return &w;
        return nullptr;
    };
    const auto readValue = [&](Place place) {
        for (const StepRead& r : d.reads)
            if (r.place == place)
                return r.value;
        return 0;
    };
    const std::int32_t n = d.operand.value_or(0);
    const std::int32_t next = d.at + 2;
    const StepWrite* pc = wrote(Place::PC);
    const std::string pcText = pc != nullptr ? " PC becomes " + N(pc->after) + "." : "";
    // An add: the sum, said as the processor keeps it.
    const auto add = [&](const std::string& added, std::int64_t value) {
        const StepWrite* a = wrote(Place::A);
        const StepWrite* v = wrote(Place::V);
        const std::int64_t sum = std::int64_t{a->before} + value;
        std::string text = "A becomes " + N(a->after) + ": " + N(a->before) + " plus " + added;
        if (sum != a->after)
            text += ", which is " + N(sum) + "; A keeps what is left after dividing by 65536";
        return text + ". V becomes " + Bool(v->after != 0) + "." + pcText;
    };
    switch (d.instruction->opcode) {
    case 1: {
        const std::int32_t m = readValue(Place::Memory);
        return add("word " + N(n) + ", which holds " + N(m), m);
    }
    case 2: return add(N(n), n);
    case 4: return add(N(next) + ", the next instruction's address", next);
    case 8:
        return d.taken.value_or(false)
                   ? "V is True, so the branch is taken: PC becomes " + N(n) + "."
                   : "V is False, so the branch is not taken: PC becomes " + N(next) + ".";
    case 16:
        return "A becomes " + N(readValue(Place::Memory)) + ", from word " + N(n) + "." + pcText;
    case 32: return "A becomes " + N(n) + "." + pcText;
    case 64: return "A becomes " + N(next) + ", the next instruction's address." + pcText;
    case 128: {
        const StepWrite* m = wrote(Place::Memory);
        return "Word " + N(n) + " becomes " + N(m->after) + ", from A; it held " + N(m->before) +
               "." + pcText;
    }
    case 256: return "PC becomes " + N(readValue(Place::A)) + ", from A.";
    default: return d.text;
    }
}

std::string InstructionText(const StepDescription& step) {
    if (step.instruction == nullptr)
        return N(step.word);
    std::string text(step.instruction->mnemonic);
    if (step.instruction->listsOperand && step.operand)
        text += " " + N(*step.operand);
    return text;
}

} // namespace wren
