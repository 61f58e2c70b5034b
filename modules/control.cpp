#include "modules/control.hpp"

#include "engine/module_tick.hpp"
#include "util/text_format.hpp"

namespace tmod {

int CONSTANTE::compute() {
    value = constant.load();
    return 1;
}

void CONSTANTE::write_params(std::string& out) const {
    appendf(out, "%s;VALUE=%f;\n", name, constant.load());
}

int VARIABLE::compute() {
    // A sample-and-hold triggered by IN_ASSIGN at exactly 1.0.
    if (in_assign.read_or(0.0f) == 1.0f && in.connected()) held = in.read_or(0.0f);
    value = held.load();
    return 1;
}

void VARIABLE::write_params(std::string& out) const {
    appendf(out, "%s;;\n", name);
}

int AFFICHAGE::compute() {
    const float v = in.read_or(0.0f);
    value = v;
    shown = v;
    return 1;
}

void AFFICHAGE::write_params(std::string& out) const {
    appendf(out, "%s;;\n", name);
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

void BASIC_OPERATION::write_params(std::string& out) const {
    appendf(out, "%s;TYPE=%d;\n", name, type.load());
}

const char* BASIC_OPERATION::label(int t) {
    static const char* const labels[] = {"addition", "soustraction",
                                         "division", "multiplication",
                                         "and",      "nand",
                                         "or",       "nor",
                                         "not",      "xor",
                                         "==",       "!=",
                                         ">",        "<",
                                         ">=",       "<=",
                                         "Switch"};
    return t >= op_addition && t <= op_last ? labels[t - 1] : "";
}

template void tick_list<CONSTANTE>(const module_ptr*, std::size_t);
template void tick_list<VARIABLE>(const module_ptr*, std::size_t);
template void tick_list<AFFICHAGE>(const module_ptr*, std::size_t);
template void tick_list<BASIC_OPERATION>(const module_ptr*, std::size_t);

} // namespace tmod
