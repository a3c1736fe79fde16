#include "model/settings/expr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "testutil/locale_guard.h"

namespace {

void check_values() {
    struct Case {
        const char *text;
        double value;
    };
    const Case cases[] = {
        {"1920/2", 960},
        {"(1080-20)*2", 2120},
        {"7 % 3", 1},
        {"2^3^2", 64},
        {"-2^2", 4},
        {"2^-1", 0.5},
        {"--3", 3},
        {"+-+3", -3},
        {"pi", 3.141592653589793},
        {"pi()", 3.141592653589793},
        {"e", 2.718281828459045},
        {"sqrt 16", 4},
        {"sqrt(16)", 4},
        {"sin 2^2", std::pow(std::sin(2.0), 2)},
        {"pow(2,10)", 1024},
        {"atan2(1,1)", 0.7853981633974483},
        {"log(100)", 2},
        {"log10(1000)", 3},
        {"ln(e)", 1},
        {"fac(5)", 120},
        {"fac(0)", 1},
        {"fac(5.9)", 120},
        {"ncr(5,2)", 10},
        {"ncr(5,3)", 10},
        {"npr(5,2)", 20},
        {"ncr(60,30)", 118264581564861424.0},
        {"1,5", 5},
        {"(1,2)*3", 6},
        {"1e3+1", 1001},
        {".5*4", 2},
        {"1.5", 1.5},
        {"abs(-3)+ceil(1.2)+floor(1.8)", 6},
        {" \t\r\n3 ", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int err = -7;
        EXPECT_DOUBLE_EQ(expr_interpret(c.text, &err), c.value);
        EXPECT_EQ(err, 0);
    }
}

TEST(Expr, Values) { check_values(); }

TEST(Expr, ValuesUnderACommaDecimalLocale) {
    LocaleGuard guard("de_DE.UTF-8");
    ASSERT_TRUE(guard.ok()) << "the de_DE.UTF-8 locale is missing (scripts/install-deps.sh makes it)";
    check_values();
}

TEST(Expr, SyntaxErrorsGiveThePosition) {
    struct Case {
        const char *text;
        int position;
    };
    const Case cases[] = {
        {"2 3", 3}, {"2+*3", 3}, {"abc", 3}, {"", 1},      {"PI", 2},      {"pow(2)", 6}, {"(1", 2},
        {"1)", 2},  {"2 $", 3},  {"é", 1},   {"pi(1)", 4}, {"pow 2,3", 5}, {"sqrt", 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int err = 0;
        EXPECT_TRUE(std::isnan(expr_interpret(c.text, &err)));
        EXPECT_EQ(err, c.position);
    }
}

TEST(Expr, DeepTextsFailInsteadOfExhaustingTheStack) {
    for (const std::string &text : {std::string(100000, '(') + "1" + std::string(100000, ')'),
                                    [] {
                                        std::string s = "1";
                                        for (int i = 0; i < 100000; i++) s += "+1";
                                        return s;
                                    }(),
                                    [] {
                                        std::string s;
                                        for (int i = 0; i < 50000; i++) s += "sqrt ";
                                        return s + "1";
                                    }()}) {
        int err = 0;
        expr_interpret(text.c_str(), &err);
        EXPECT_NE(err, 0) << text.substr(0, 20);
    }
    // A long run of signs is one negation, not a deep tree.
    int err = 1;
    EXPECT_EQ(expr_interpret((std::string(100001, '-') + "1").c_str(), &err), -1);
    EXPECT_EQ(err, 0);
    // Ordinary nesting still works.
    EXPECT_EQ(expr_interpret((std::string(100, '(') + "1" + std::string(100, ')')).c_str(), &err), 1);
    EXPECT_EQ(err, 0);
}

TEST(Expr, FoldingKeepsVariables) {
    double x = 2;
    const ExprVariable vars[] = {{"x", &x}};
    int err = 1;
    ExprNode *n = expr_compile("x*(3+4)", vars, 1, &err);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(n->parameters[1]->kind, uint32_t(EXPR_CONSTANT));  // 3+4 folded
    EXPECT_EQ(expr_evaluate_tree(n), 14);
    x = 3;
    EXPECT_EQ(expr_evaluate_tree(n), 21);
    expr_free(n);
}

TEST(ExprEvaluate, Evaluation) {
    ExprEvaluate e;
    EXPECT_TRUE(e.process_evaluate());  // empty
    EXPECT_EQ(e.resultEval, 0);

    struct Case {
        const char *text;
        bool ok;
        const char *error;
    };
    const Case cases[] = {
        {"1/0", false, "Fail to evaluate (divide by zero ?)"},
        {"fac(-1)", false, "Fail to evaluate (divide by zero ?)"},
        {"sqrt(-1)", false, "Fail to evaluate (divide by zero ?)"},
        {"ln(0)", false, "Fail to evaluate (divide by zero ?)"},
        {"fac(0/0)", false, "Fail to evaluate (divide by zero ?)"},
        {"ncr(0/0,1)", false, "Fail to evaluate (divide by zero ?)"},
        {"npr(3,sqrt(-1))", false, "Fail to evaluate (divide by zero ?)"},
        {"2 3", false, "Fail to evaluate at character 3"},
        {"1920/2", true, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        e.set_str(c.text);
        EXPECT_EQ(e.process_evaluate(), c.ok);
        EXPECT_EQ(e.have_error_evaluate(), !c.ok);
        EXPECT_EQ(e.get_error_str(), c.error);
        EXPECT_EQ(e.resultEval, c.ok ? 960 : 0);
    }
}

TEST(ExprEvaluate, RangedGetters) {
    struct Case {
        const char *text;
        int32_t min, max, def;
        int32_t value;
        const char *range_error;
    };
    const Case cases[] = {
        {"2.5", 0, 10, 7, 3, ""},
        {"-2.5", -10, 10, 7, -3, ""},
        {"-2.5", 0, 10, 7, 7, "Out of range value : -3 not in range 0 -> 10"},
        {"0.49999999999999994", 0, 10, 7, 0, ""},
        {"", 0, 10, 7, 7, ""},
        {"1/0", 0, 10, 7, 7, ""},
        {"1e20", 0, 10, 7, 7, "Out of range value : 2147483647 not in range 0 -> 10"},
        {"-1e20", INT32_MIN, INT32_MAX, 7, 7,
         "Out of range value : -2147483648 not in range -2147483648 -> 2147483647"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ExprEvaluate e;
        e.set_str(c.text);
        e.process_evaluate();
        EXPECT_EQ(e.get_int_in_range_and_max_v_and_default(c.min, c.max, c.def), c.value);
        EXPECT_EQ(e.have_error_range(), *c.range_error != 0);
        EXPECT_EQ(e.errorRange, c.range_error);
        if (!e.have_error_evaluate()) { EXPECT_EQ(e.get_error_str(), c.range_error); }
    }
    ExprEvaluate f;
    f.set_str("-6.5");
    f.process_evaluate();
    EXPECT_EQ(f.get_float_in_range_and_max_v_and_default(-90.0f, 0.0f, 1.0f), -6.5f);
    EXPECT_EQ(f.get_float_in_range_and_max_v_and_default(0.0f, 10.0f, 1.0f), 1.0f);
    EXPECT_EQ(f.errorRange, "Out of range value : -6.500000 not in range 0.000000 -> 10.000000");
    f.set_str("1e300");
    f.process_evaluate();
    EXPECT_EQ(f.get_float_in_range_and_max_v_and_default(0.0f, 10.0f, 1.0f), 1.0f);
    EXPECT_EQ(f.errorRange, "Out of range value : inf not in range 0.000000 -> 10.000000");
}

}  // namespace
