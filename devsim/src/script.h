// The device's small script language (user-defined components) and the formulas of expression
// components: a lexer, a parser that reports errors with line numbers, and an evaluator.
//
// Script syntax, one statement per line (or separated by ';'), comments with // and /* */:
//   input a, b                 receive slots
//   output y                   send slots
//   attr gain = 2              an attribute of the component with its initial value
//   ref t = "定时器-1.输出"     reads another component's attribute on every run
//   y = a * gain               assignment; an assigned name that is not declared is a local
//                              variable, 0 at first, that keeps its value between runs
//   if y > 10 then y = 10 else y = y + 1 end
//   while i < 4 do i = i + 1 end
// Expressions: numbers, true/false, names, + - * / %, comparisons, && || !, parentheses and
// the functions abs min max sqrt sin cos floor pow.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace devsim {

struct ExprNode;

// A compiled formula over numbered variables. Copyable (shares its immutable tree).
class Formula {
  public:
    Formula() = default;
    bool Valid() const { return root_ != nullptr; }
    double Eval(const double* vars) const;

  private:
    friend class ScriptParser;
    friend bool CompileFormula(const std::string&, int, Formula*, std::string*);
    std::shared_ptr<const ExprNode> root_;
};

// Compiles an expression whose inputs are named x1..xN (or 输入1..输入N) with N = inputs.
bool CompileFormula(const std::string& text, int inputs, Formula* out, std::string* error);

struct ScriptStmt;

// A compiled script. Variables are numbered: inputs first, then outputs, attrs, refs, locals.
class ScriptProgram {
  public:
    struct Decl {
        std::string name;
        std::string init;  // attr: initial value; ref: the referenced "component.attribute"
    };
    std::vector<std::string> inputs, outputs;
    std::vector<Decl> attrs, refs;
    size_t var_count = 0;

    size_t InputVar(size_t i) const { return i; }
    size_t OutputVar(size_t i) const { return inputs.size() + i; }
    size_t AttrVar(size_t i) const { return inputs.size() + outputs.size() + i; }
    size_t RefVar(size_t i) const { return inputs.size() + outputs.size() + attrs.size() + i; }

    // Runs the body once over vars (var_count entries). Loops are bounded; false when a run
    // exceeded the bound (the variables then hold what the run had reached).
    bool Run(double* vars) const;
    bool Valid() const { return body_ != nullptr; }

  private:
    friend class ScriptParser;
    std::shared_ptr<const std::vector<ScriptStmt>> body_;
};

// Compiles a script; on failure *error holds "第N行: ..." and *out is untouched. reserved
// names (the component's own attributes) cannot be declared.
bool CompileScript(const std::string& text, ScriptProgram* out, std::string* error,
                   const std::vector<std::string>& reserved = {});

}  // namespace devsim
