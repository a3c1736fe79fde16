#pragma once
// Arithmetic expressions typed into the numeric fields: compile to a tree, fold constants,
// evaluate to a double. Built-in functions only, plus optional named variables.
#include <cstdint>
#include <string>
#include <vector>

// Kind word of a node: bits 0-2 the arity, then the function and pure flags.
enum : uint32_t {
    EXPR_VARIABLE = 0,
    EXPR_CONSTANT = 1,
    EXPR_FUNCTION0 = 8,
    EXPR_FLAG_PURE = 32,
};
#define EXPR_ARITY(kind) (((kind) & (EXPR_FUNCTION0 | 16)) ? ((kind)&7) : 0)

// Any function of the table; cast back to its arity's type before the call.
using ExprFn = void (*)();

struct ExprNode {
    uint32_t kind = EXPR_CONSTANT;
    double value = 0.0;             // EXPR_CONSTANT
    const double *bound = nullptr;  // EXPR_VARIABLE
    ExprFn function = nullptr;      // function nodes
    std::vector<ExprNode *> parameters;
    uint32_t height = 1;  // levels of the tree below and including this node
};

struct ExprVariable {
    const char *name;
    const double *address;
};

// The value of the text, or NaN when it does not compile; *error gets the error position
// (0 on success).
double expr_interpret(const char *text, int *error);
// A tree, or nullptr with *error the 1-based byte position where parsing stopped.
ExprNode *expr_compile(const char *text, const ExprVariable *variables, int count, int *error);
double expr_evaluate_tree(const ExprNode *n);
void expr_fold_constants(ExprNode *n);
void expr_free(ExprNode *n);

// The value of an expression field: its text, the last result and the error texts.
class ExprEvaluate {
public:
    bool haveErrorEvaluate = false;
    bool haveRangeError = false;
    std::string errorEvaluate;
    std::string errorRange;
    std::string srcStr;
    double resultEval = 0.0;

    void set_str(const std::string &text);
    const std::string &get_str() const { return srcStr; }
    bool is_empty() const { return srcStr.empty(); }
    bool have_error_evaluate() const { return haveErrorEvaluate; }
    bool have_error_range() const { return haveRangeError; }
    bool process_evaluate();
    std::string get_error_str() const;
    // The result rounded half away from zero when it lies in [min, max]; otherwise the
    // default with a range error. An empty or failed text gives the default silently.
    int32_t get_int_in_range_and_max_v_and_default(int32_t min, int32_t max, int32_t def);
    float get_float_in_range_and_max_v_and_default(float min, float max, float def);
    std::string description() const;
};
