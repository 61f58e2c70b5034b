#include "modules/control.hpp"

#include <iterator>

#include "engine/module_tick.hpp"
#include "modules/rows.hpp"

namespace tmod {

int CONSTANTE::compute() {
    value = constant.load();
    return 1;
}

int VARIABLE::compute() {
    // A sample-and-hold triggered by IN_ASSIGN at exactly 1.0.
    if (in_assign.read_or(0.0f) == 1.0f && in.connected()) held = in.read_or(0.0f);
    value = held.load();
    return 1;
}

int AFFICHAGE::compute() {
    const float v = in.read_or(0.0f);
    value = v;
    shown = v;
    return 1;
}

OPERATION::OPERATION(const OUTPUT* source2, const OUTPUT* source1) : OUTPUT(name_storage) {
    if (source2) in2.connect(&source2->value);
    if (source1) in1.connect(&source1->value);
}

int OPERATION::compute() {
    value = 0.0f;
    return 1;
}

int BASIC_OPERATION::compute() {
    if (!in2.connected() || !in1.connected()) {
        value = 0.0f;
        return 1;
    }
    const float a = in2.read_or(0.0f);
    const float b = in1.read_or(0.0f);
    const float c = in_if.read_or(0.0f);
    const int ia = saturating_int(a);
    const int ib = saturating_int(b);
    float out;
    switch (type.load()) {
    case op_addition:
        out = a + b;
        break;
    case op_subtraction:
        out = a - b;
        break;
    case op_division:
        out = a / b;
        break;
    case op_multiplication:
        out = a * b;
        break;
    case op_and:
        out = static_cast<float>(ia & ib);
        break;
    case op_nand:
        out = static_cast<float>(ia & (b == 0.0f ? 1 : 0));
        break;
    case op_or:
        out = static_cast<float>(ia | ib);
        break;
    case op_nor:
        out = static_cast<float>(ia | (b == 0.0f ? 1 : 0));
        break;
    case op_not:
        out = a == 0.0f ? 1.0f : 0.0f;
        break;
    case op_xor:
        out = ia == 0 && ib == 0 ? 0.0f : 1.0f;
        break;
    case op_equal:
        out = a == b ? 1.0f : 0.0f;
        break;
    case op_not_equal:
        out = a == b ? 0.0f : 1.0f;
        break;
    case op_greater:
        out = a > b ? 1.0f : 0.0f;
        break;
    case op_less:
        out = a < b ? 1.0f : 0.0f;
        break;
    case op_greater_equal:
        out = a >= b ? 1.0f : 0.0f;
        break;
    case op_less_equal:
        out = a <= b ? 1.0f : 0.0f;
        break;
    case op_switch:
        out = c == 0.0f ? b : a;
        break;
    default:
        return 1; // an unknown type keeps the previous output
    }
    value = out;
    return 1;
}

namespace {
// The names the panel shows for the operation types 1 to 17.
constexpr const char* operation_names[] = {"addition", "soustraction",
                                           "division", "multiplication",
                                           "and",      "nand",
                                           "or",       "nor",
                                           "not",      "xor",
                                           "==",       "!=",
                                           ">",        "<",
                                           ">=",       "<=",
                                           "Switch"};
static_assert(std::size(operation_names) == op_last);
} // namespace

const char* BASIC_OPERATION::label(int t) {
    return t >= op_addition && t <= op_last ? operation_names[t - 1] : "";
}

template void tick_list<CONSTANTE>(const module_ptr*, std::size_t);
template void tick_list<VARIABLE>(const module_ptr*, std::size_t);
template void tick_list<AFFICHAGE>(const module_ptr*, std::size_t);
template void tick_list<BASIC_OPERATION>(const module_ptr*, std::size_t);

namespace {
using namespace row;

constexpr param_desc basic_operation_params[] = {
    number<BASIC_OPERATION, &BASIC_OPERATION::type>("TYPE")
        .range(op_addition, op_last, op_addition)
        .steps(step_rule::cycle)
        .named(operation_names)
        .display("%s", "TYPE")
        .written(0, "%d"),
};

// The panel's slider steps it by bands, its two buttons by 1. VALUE is read
// as an integer: the fraction comes back from the field at the end.
constexpr param_desc constante_params[] = {
    whole_number<CONSTANTE, &CONSTANTE::constant>("VALUE")
        .range(0.001, 22050.0, 4.0)
        .steps(step_rule::bands)
        .display("%6.3f", "VALUE")
        .written(0, "%f")
        .kept("DECIMAL"),
};

constexpr slot_desc basic_operation_slots[] = {
    sig<BASIC_OPERATION, &BASIC_OPERATION::in2>("IN2", RS, "INPUT2"),
    sig<BASIC_OPERATION, &BASIC_OPERATION::in1>("IN1", RS, "INPUT1"),
    sig<BASIC_OPERATION, &BASIC_OPERATION::in_if>("IN_IF", RS, "INPUT_IF"),
};

constexpr slot_desc variable_slots[] = {
    sig<VARIABLE, &VARIABLE::in>("IN", RS, "INPUT"),
    sig<VARIABLE, &VARIABLE::in_assign>("IN_ASSIGN", RS, "INPUT_ASSIGN"),
};

// The palette's constant is 4.0, its variable 0.
OUTPUT* create_constante() {
    return TM_NEW(CONSTANTE, 4.0f);
}
OUTPUT* create_variable() {
    return TM_NEW(VARIABLE, 0.0f);
}
} // namespace

const module_type affichage_type = {module_kind::AFFICHAGE,
                                    "AFFICHAGE",
                                    "AFFICHAGE",
                                    "AFFICHAGE",
                                    "AFFICHAGE",
                                    "AFFICHAGE",
                                    NOT_READ,
                                    true,
                                    single_input_slot<AFFICHAGE>,
                                    {},
                                    {},
                                    create_as<AFFICHAGE>,
                                    destroy_as<AFFICHAGE>,
                                    tick_list<AFFICHAGE>,
                                    nullptr,
                                    own_value,
                                    nullptr,
                                    nullptr};

const module_type basic_operation_type = {module_kind::BASIC_OPERATION,
                                          "BASIC_OPERATION",
                                          "BASIC_OPERATION",
                                          "BASIC_OPERATION",
                                          "BASIC_OPERATION",
                                          "BASIC_OPERATION",
                                          REJECT,
                                          true,
                                          basic_operation_slots,
                                          basic_operation_params,
                                          {},
                                          create_as<BASIC_OPERATION>,
                                          destroy_as<BASIC_OPERATION>,
                                          tick_list<BASIC_OPERATION>,
                                          nullptr,
                                          own_value,
                                          nullptr,
                                          nullptr};

const module_type constante_type = {module_kind::CONSTANTE,
                                    "CONSTANTE",
                                    "CONSTANTE",
                                    "CONSTANTE",
                                    "CONSTANTE",
                                    nullptr,
                                    REJECT,
                                    false,
                                    {},
                                    constante_params,
                                    {},
                                    create_constante,
                                    destroy_as<CONSTANTE>,
                                    tick_list<CONSTANTE>,
                                    nullptr,
                                    own_value,
                                    nullptr,
                                    nullptr};

const module_type variable_type = {module_kind::VARIABLE,
                                   "VARIABLE",
                                   "VARIABLE",
                                   "VARIABLE",
                                   "VARIABLE",
                                   "VARIABLE",
                                   NOT_READ,
                                   true,
                                   variable_slots,
                                   {},
                                   {},
                                   create_variable,
                                   destroy_as<VARIABLE>,
                                   tick_list<VARIABLE>,
                                   nullptr,
                                   own_value,
                                   nullptr,
                                   nullptr};

} // namespace tmod
