// Control modules: CONSTANTE, VARIABLE (a sample-and-hold), BASIC_OPERATION
// (arithmetic, logic, comparisons, switch) and AFFICHAGE (shows a value).
#pragma once

#include <string>

#include "engine/signal.hpp"

namespace tmod {

class CONSTANTE final : public OUTPUT {
  public:
    param<float> constant;

    explicit CONSTANTE(float v = 4.0f) : OUTPUT(name_storage), constant(v) {}
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class VARIABLE final : public OUTPUT, public INPUT {
  public:
    signal_slot in_assign;
    relaxed<float> held;

    explicit VARIABLE(float v = 0.0f) : OUTPUT(name_storage), held(v) {}
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class AFFICHAGE final : public OUTPUT, public INPUT {
  public:
    relaxed<float> shown{0.0f};

    AFFICHAGE() : OUTPUT(name_storage) {}
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class OPERATION : public OUTPUT {
  public:
    signal_slot in2, in1, in_if;

    OPERATION(const OUTPUT* source2 = nullptr, const OUTPUT* source1 = nullptr);
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

enum operation_type : int {
    op_addition = 1,
    op_subtraction,
    op_division,
    op_multiplication,
    op_and,
    op_nand,
    op_or,
    op_nor,
    op_not,
    op_xor,
    op_equal,
    op_not_equal,
    op_greater,
    op_less,
    op_greater_equal,
    op_less_equal,
    op_switch,
    op_last = op_switch
};

class BASIC_OPERATION final : public OPERATION {
  public:
    param<int> type{op_addition};

    using OPERATION::OPERATION;
    int compute() override;
    // The label the panel shows for a type, or "" outside 1..17.
    static const char* label(int type);
};

} // namespace tmod
