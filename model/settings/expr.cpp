#include "model/settings/expr.h"

#include <locale.h>
#include <stdlib.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/core/log.h"

namespace {

using Fn0 = double (*)();
using Fn1 = double (*)(double);
using Fn2 = double (*)(double, double);

double fn_e() { return 2.718281828459045; }
double fn_pi() { return 3.141592653589793; }

double fn_fac(double a) {
    if (!(a >= 0.0)) return NAN;  // NaN too
    if (a > 4294967295.0) return INFINITY;
    const uint32_t n = uint32_t(a);
    uint64_t result = 1;
    for (uint64_t i = 1; i <= n; i++) {
        if (result > UINT64_MAX / i) return INFINITY;
        result *= i;
    }
    return double(result);
}

double fn_ncr(double n, double r) {
    if (!(n >= 0.0) || !(r >= 0.0) || !(n >= r)) return NAN;  // NaN too
    if (n > 4294967295.0 || r > 4294967295.0) return INFINITY;
    const uint64_t un = uint32_t(n);
    uint64_t ur = uint32_t(r);
    if (ur > un / 2) ur = un - ur;
    uint64_t result = 1;
    for (uint64_t i = 1; i <= ur; i++) {
        if (result > UINT64_MAX / (un - ur + i)) return INFINITY;
        result *= un - ur + i;
        result /= i;
    }
    return double(result);
}

double fn_npr(double n, double r) { return fn_ncr(n, r) * fn_fac(r); }

double fn_abs(double a) { return std::fabs(a); }
double fn_acos(double a) { return std::acos(a); }
double fn_asin(double a) { return std::asin(a); }
double fn_atan(double a) { return std::atan(a); }
double fn_atan2(double a, double b) { return std::atan2(a, b); }
double fn_ceil(double a) { return std::ceil(a); }
double fn_cos(double a) { return std::cos(a); }
double fn_cosh(double a) { return std::cosh(a); }
double fn_exp(double a) { return std::exp(a); }
double fn_floor(double a) { return std::floor(a); }
double fn_ln(double a) { return std::log(a); }
double fn_log10(double a) { return std::log10(a); }
double fn_pow(double a, double b) { return std::pow(a, b); }
double fn_sin(double a) { return std::sin(a); }
double fn_sinh(double a) { return std::sinh(a); }
double fn_sqrt(double a) { return std::sqrt(a); }
double fn_tan(double a) { return std::tan(a); }
double fn_tanh(double a) { return std::tanh(a); }

double op_add(double a, double b) { return a + b; }
double op_sub(double a, double b) { return a - b; }
double op_mul(double a, double b) { return a * b; }
double op_div(double a, double b) { return a / b; }
double op_mod(double a, double b) { return std::fmod(a, b); }
double op_neg(double a) { return -a; }
double op_comma(double, double b) { return b; }

#define FN(f) reinterpret_cast<ExprFn>(f)

constexpr uint32_t F(int arity) { return EXPR_FUNCTION0 | EXPR_FLAG_PURE | uint32_t(arity); }

struct Builtin {
    const char *name;
    ExprFn address;
    uint32_t kind;
};

// Sorted by name for the bisection.
const Builtin kBuiltins[] = {
    {"abs", FN(fn_abs), F(1)},   {"acos", FN(fn_acos), F(1)},   {"asin", FN(fn_asin), F(1)},
    {"atan", FN(fn_atan), F(1)}, {"atan2", FN(fn_atan2), F(2)}, {"ceil", FN(fn_ceil), F(1)},
    {"cos", FN(fn_cos), F(1)},   {"cosh", FN(fn_cosh), F(1)},   {"e", FN(fn_e), F(0)},
    {"exp", FN(fn_exp), F(1)},   {"fac", FN(fn_fac), F(1)},     {"floor", FN(fn_floor), F(1)},
    {"ln", FN(fn_ln), F(1)},     {"log", FN(fn_log10), F(1)},   {"log10", FN(fn_log10), F(1)},
    {"ncr", FN(fn_ncr), F(2)},   {"npr", FN(fn_npr), F(2)},     {"pi", FN(fn_pi), F(0)},
    {"pow", FN(fn_pow), F(2)},   {"sin", FN(fn_sin), F(1)},     {"sinh", FN(fn_sinh), F(1)},
    {"sqrt", FN(fn_sqrt), F(1)}, {"tan", FN(fn_tan), F(1)},     {"tanh", FN(fn_tanh), F(1)},
};

const Builtin *find_builtin(const char *name, size_t len) {
    size_t lo = 0, hi = sizeof(kBuiltins) / sizeof(kBuiltins[0]);
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const int c = strncmp(name, kBuiltins[mid].name, len);
        const int cmp = c != 0 ? c : (kBuiltins[mid].name[len] == '\0' ? 0 : -1);
        if (cmp == 0) return &kBuiltins[mid];
        if (cmp > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return nullptr;
}

enum Token : uint32_t {
    TOK_NULL = 1u << 10,
    TOK_ERROR,
    TOK_END,
    TOK_SEP,
    TOK_OPEN,
    TOK_CLOSE,
    TOK_NUMBER,
    TOK_VARIABLE,
    TOK_INFIX,
};

bool is_function(uint32_t kind) { return kind < TOK_NULL && (kind & EXPR_FUNCTION0) != 0; }

// Deeper texts are syntax errors: the tree is walked recursively.
constexpr uint32_t kMaxDepth = 256;

struct State {
    uint32_t depth;
    const char *start;
    const char *next;
    uint32_t type;
    double value;
    const double *bound;
    ExprFn function;
    const ExprVariable *variables;
    int count;
};

locale_t c_locale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

void expr_next_token(State *s) {
    s->type = TOK_NULL;
    do {
        if (!*s->next) {
            s->type = TOK_END;
            return;
        }
        const char c = *s->next;
        if ((c >= '0' && c <= '9') || c == '.') {
            char *end = nullptr;
            s->value = strtod_l(s->next, &end, c_locale());
            if (end == s->next) end++;  // a lone "." reads as 0 and moves on
            s->next = end;
            s->type = TOK_NUMBER;
        } else if (is_ascii_letter(c)) {
            const char *id = s->next;
            while (is_ascii_letter(*s->next) || (*s->next >= '0' && *s->next <= '9') || *s->next == '_') s->next++;
            const size_t len = size_t(s->next - id);
            const ExprVariable *var = nullptr;
            for (int i = 0; i < s->count; i++) {
                if (strncmp(id, s->variables[i].name, len) == 0 && s->variables[i].name[len] == '\0') {
                    var = &s->variables[i];
                    break;
                }
            }
            if (var) {
                s->type = TOK_VARIABLE;
                s->bound = var->address;
            } else if (const Builtin *b = find_builtin(id, len)) {
                s->type = b->kind;
                s->function = b->address;
            } else {
                s->type = TOK_ERROR;
            }
        } else {
            s->next++;
            switch (c) {
            case '+': s->type = TOK_INFIX, s->function = FN(op_add); break;
            case '-': s->type = TOK_INFIX, s->function = FN(op_sub); break;
            case '*': s->type = TOK_INFIX, s->function = FN(op_mul); break;
            case '/': s->type = TOK_INFIX, s->function = FN(op_div); break;
            case '%': s->type = TOK_INFIX, s->function = FN(op_mod); break;
            case '^': s->type = TOK_INFIX, s->function = FN(fn_pow); break;
            case '(': s->type = TOK_OPEN; break;
            case ')': s->type = TOK_CLOSE; break;
            case ',': s->type = TOK_SEP; break;
            case ' ':
            case '\t':
            case '\n':
            case '\r': break;
            default: s->type = TOK_ERROR; break;
            }
        }
    } while (s->type == TOK_NULL);
}

void update_height(ExprNode *n) {
    for (const ExprNode *p : n->parameters)
        if (p && p->height + 1 > n->height) n->height = p->height + 1;
}

ExprNode *new_node(uint32_t kind, std::initializer_list<ExprNode *> params = {}) {
    ExprNode *n = new ExprNode;
    n->kind = kind;
    n->parameters.assign(params.begin(), params.end());
    n->parameters.resize(EXPR_ARITY(kind), nullptr);
    update_height(n);
    return n;
}

// Stops the parse when the tree grows too deep.
ExprNode *check_height(State *s, ExprNode *n) {
    if (n->height > kMaxDepth) s->type = TOK_ERROR;
    return n;
}

ExprNode *binary(ExprFn fn, ExprNode *a, ExprNode *b) {
    ExprNode *n = new_node(F(2), {a, b});
    n->function = fn;
    return n;
}

ExprNode *expr_parse_list(State *s);
ExprNode *expr_parse_sum(State *s);
ExprNode *expr_parse_power(State *s);

ExprNode *expr_parse_base_nested(State *s);

ExprNode *expr_parse_base(State *s) {
    if (++s->depth > kMaxDepth) {
        s->depth--;
        ExprNode *ret = new_node(EXPR_CONSTANT);
        ret->value = NAN;
        s->type = TOK_ERROR;
        return ret;
    }
    ExprNode *ret = expr_parse_base_nested(s);
    update_height(ret);
    s->depth--;
    return check_height(s, ret);
}

ExprNode *expr_parse_base_nested(State *s) {
    ExprNode *ret;
    if (s->type == TOK_NUMBER) {
        ret = new_node(EXPR_CONSTANT);
        ret->value = s->value;
        expr_next_token(s);
    } else if (s->type == TOK_VARIABLE) {
        ret = new_node(EXPR_VARIABLE);
        ret->bound = s->bound;
        expr_next_token(s);
    } else if (is_function(s->type) && EXPR_ARITY(s->type) == 0) {
        ret = new_node(s->type);
        ret->function = s->function;
        expr_next_token(s);
        if (s->type == TOK_OPEN) {
            expr_next_token(s);
            if (s->type != TOK_CLOSE)
                s->type = TOK_ERROR;
            else
                expr_next_token(s);
        }
    } else if (is_function(s->type) && EXPR_ARITY(s->type) == 1) {
        ret = new_node(s->type);
        ret->function = s->function;
        expr_next_token(s);
        ret->parameters[0] = expr_parse_power(s);
    } else if (is_function(s->type)) {
        const int arity = int(EXPR_ARITY(s->type));
        ret = new_node(s->type);
        ret->function = s->function;
        expr_next_token(s);
        if (s->type != TOK_OPEN) {
            s->type = TOK_ERROR;
        } else {
            int i;
            for (i = 0; i < arity; i++) {
                expr_next_token(s);
                ret->parameters[i] = expr_parse_sum(s);
                if (s->type != TOK_SEP) break;
            }
            if (s->type != TOK_CLOSE || i != arity - 1)
                s->type = TOK_ERROR;
            else
                expr_next_token(s);
        }
    } else if (s->type == TOK_OPEN) {
        expr_next_token(s);
        ret = expr_parse_list(s);
        if (s->type != TOK_CLOSE)
            s->type = TOK_ERROR;
        else
            expr_next_token(s);
    } else {
        ret = new_node(EXPR_CONSTANT);
        ret->value = NAN;
        s->type = TOK_ERROR;
    }
    return ret;
}

ExprNode *expr_parse_power(State *s) {
    int sign = 1;
    while (s->type == TOK_INFIX && (s->function == FN(op_add) || s->function == FN(op_sub))) {
        if (s->function == FN(op_sub)) sign = -sign;
        expr_next_token(s);
    }
    ExprNode *base = expr_parse_base(s);
    if (sign == 1) return base;
    ExprNode *n = new_node(F(1), {base});
    n->function = FN(op_neg);
    return check_height(s, n);
}

ExprNode *expr_parse_factor(State *s) {
    ExprNode *ret = expr_parse_power(s);
    while (s->type == TOK_INFIX && s->function == FN(fn_pow)) {
        const ExprFn fn = s->function;
        expr_next_token(s);
        ret = check_height(s, binary(fn, ret, expr_parse_power(s)));
    }
    return ret;
}

ExprNode *expr_parse_term(State *s) {
    ExprNode *ret = expr_parse_factor(s);
    while (s->type == TOK_INFIX &&
           (s->function == FN(op_mul) || s->function == FN(op_div) || s->function == FN(op_mod))) {
        const ExprFn fn = s->function;
        expr_next_token(s);
        ret = check_height(s, binary(fn, ret, expr_parse_factor(s)));
    }
    return ret;
}

ExprNode *expr_parse_sum(State *s) {
    ExprNode *ret = expr_parse_term(s);
    while (s->type == TOK_INFIX && (s->function == FN(op_add) || s->function == FN(op_sub))) {
        const ExprFn fn = s->function;
        expr_next_token(s);
        ret = check_height(s, binary(fn, ret, expr_parse_term(s)));
    }
    return ret;
}

ExprNode *expr_parse_list(State *s) {
    ExprNode *ret = expr_parse_sum(s);
    while (s->type == TOK_SEP) {
        expr_next_token(s);
        ret = check_height(s, binary(FN(op_comma), ret, expr_parse_sum(s)));
    }
    return ret;
}

}  // namespace

double expr_evaluate_tree(const ExprNode *n) {
    if (!n) return NAN;
    if (n->kind == EXPR_CONSTANT) return n->value;
    if (n->kind == EXPR_VARIABLE) return n->bound ? *n->bound : NAN;
    if (!is_function(n->kind)) return NAN;
    switch (EXPR_ARITY(n->kind)) {
    case 0: return reinterpret_cast<Fn0>(n->function)();
    case 1: return reinterpret_cast<Fn1>(n->function)(expr_evaluate_tree(n->parameters[0]));
    case 2:
        return reinterpret_cast<Fn2>(n->function)(expr_evaluate_tree(n->parameters[0]),
                                                  expr_evaluate_tree(n->parameters[1]));
    default: return NAN;
    }
}

void expr_fold_constants(ExprNode *n) {
    if (!n || !is_function(n->kind)) return;
    bool known = true;
    for (ExprNode *p : n->parameters) {
        expr_fold_constants(p);
        if (!p || p->kind != EXPR_CONSTANT) known = false;
    }
    if (known && (n->kind & EXPR_FLAG_PURE)) {
        const double v = expr_evaluate_tree(n);
        for (ExprNode *p : n->parameters) expr_free(p);
        n->parameters.clear();
        n->kind = EXPR_CONSTANT;
        n->value = v;
        n->function = nullptr;
    }
}

void expr_free(ExprNode *n) {
    if (!n) return;
    for (ExprNode *p : n->parameters) expr_free(p);
    delete n;
}

ExprNode *expr_compile(const char *text, const ExprVariable *variables, int count, int *error) {
    State s{};
    s.start = s.next = text;
    s.variables = variables;
    s.count = count;
    ExprNode *root = nullptr;
    try {
        expr_next_token(&s);
        root = expr_parse_list(&s);
    } catch (const std::bad_alloc &) {
        // Nodes made before the failure are lost with the half-built tree's links.
        if (error) *error = -1;
        return nullptr;
    }
    if (s.type != TOK_END) {
        expr_free(root);
        if (error) {
            *error = int(s.next - s.start);
            if (*error == 0) *error = 1;
        }
        return nullptr;
    }
    expr_fold_constants(root);
    if (error) *error = 0;
    return root;
}

double expr_interpret(const char *text, int *error) {
    ExprNode *n = expr_compile(text, nullptr, 0, error);
    if (!n) return NAN;
    const double v = expr_evaluate_tree(n);
    expr_free(n);
    return v;
}

void ExprEvaluate::set_str(const std::string &text) {
    srcStr = text;
    haveErrorEvaluate = false;
    haveRangeError = false;
}

bool ExprEvaluate::process_evaluate() {
    haveErrorEvaluate = false;
    errorEvaluate.clear();
    resultEval = 0.0;
    if (srcStr.empty()) return true;
    int position = 0;
    // The text may hold NUL bytes: the expression ends at the first one, like a C string.
    const double v = expr_interpret(srcStr.c_str(), &position);
    if (position != 0) {
        haveErrorEvaluate = true;
        errorEvaluate = "Fail to evaluate at character " + std::to_string(position);
        zlog("Expr evaluate error : %s ; Error : %s", srcStr.c_str(), errorEvaluate.c_str());
        return false;
    }
    if (!std::isfinite(v)) {
        zlog("------ Nan value res");
        haveErrorEvaluate = true;
        errorEvaluate = "Fail to evaluate (divide by zero ?)";
        zlog("Expr evaluate div zero error : %s ; Error : %s", srcStr.c_str(), errorEvaluate.c_str());
        return false;
    }
    resultEval = v;
    return true;
}

std::string ExprEvaluate::get_error_str() const {
    if (haveErrorEvaluate) return errorEvaluate;
    if (haveRangeError) return errorRange;
    return "";
}

int32_t ExprEvaluate::get_int_in_range_and_max_v_and_default(int32_t min, int32_t max, int32_t def) {
    haveRangeError = false;
    errorRange.clear();
    if (srcStr.empty() || haveErrorEvaluate) return def;
    const double r = std::trunc(resultEval + std::copysign(0.49999999999999994, resultEval));
    // Values past the 32-bit range are out of every range: saturate for the message.
    const int32_t v = r >= 2147483647.0 ? INT32_MAX : r <= -2147483648.0 ? INT32_MIN : int32_t(r);
    if (r >= min && r <= max) return v;
    haveRangeError = true;
    char buf[128];
    snprintf(buf, sizeof(buf), "Out of range value : %d not in range %d -> %d", v, min, max);
    errorRange = buf;
    return def;
}

float ExprEvaluate::get_float_in_range_and_max_v_and_default(float min, float max, float def) {
    haveRangeError = false;
    errorRange.clear();
    if (srcStr.empty() || haveErrorEvaluate) return def;
    // A result past the float range becomes an infinity (the plain conversion is undefined).
    const double big = std::numeric_limits<float>::max();
    const float v = resultEval > big    ? std::numeric_limits<float>::infinity()
                    : resultEval < -big ? -std::numeric_limits<float>::infinity()
                                        : float(resultEval);
    if (v >= min && v <= max) return v;
    haveRangeError = true;
    char buf[512];
    snprintf(buf, sizeof(buf), "Out of range value : %f not in range %f -> %f", v, min, max);
    errorRange = buf;
    return def;
}

std::string ExprEvaluate::description() const {
    char buf[64];
    snprintf(buf, sizeof(buf), " ; Res : %f", resultEval);
    return "ExprEvaluate : Src : " + srcStr + buf;
}
