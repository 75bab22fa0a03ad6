#include "script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace devsim {

enum class Op {
    kNum,
    kVar,
    kNeg,
    kNot,
    kAdd,
    kSub,
    kMul,
    kDiv,
    kMod,
    kLt,
    kLe,
    kGt,
    kGe,
    kEq,
    kNe,
    kAnd,
    kOr,
    kCall
};
enum class Fn { kAbs, kMin, kMax, kSqrt, kSin, kCos, kFloor, kPow };

struct ExprNode {
    Op op = Op::kNum;
    double num = 0;
    size_t var = 0;
    Fn fn = Fn::kAbs;
    std::vector<std::unique_ptr<ExprNode>> kids;
};

struct ScriptStmt {
    enum Kind { kAssign, kIf, kWhile } kind = kAssign;
    size_t var = 0;
    std::unique_ptr<ExprNode> expr;
    std::vector<ScriptStmt> then_body, else_body;
};

namespace {

constexpr int kMaxLoopSteps = 100000;
constexpr int kMaxDepth = 64;
constexpr size_t kMaxDecls = 64;

double EvalNode(const ExprNode& n, const double* v) {
    switch (n.op) {
        case Op::kNum:
            return n.num;
        case Op::kVar:
            return v[n.var];
        case Op::kNeg:
            return -EvalNode(*n.kids[0], v);
        case Op::kNot:
            return EvalNode(*n.kids[0], v) == 0 ? 1 : 0;
        case Op::kAnd:
            return (EvalNode(*n.kids[0], v) != 0 && EvalNode(*n.kids[1], v) != 0) ? 1 : 0;
        case Op::kOr:
            return (EvalNode(*n.kids[0], v) != 0 || EvalNode(*n.kids[1], v) != 0) ? 1 : 0;
        case Op::kCall: {
            double a = EvalNode(*n.kids[0], v);
            double b = n.kids.size() > 1 ? EvalNode(*n.kids[1], v) : 0;
            switch (n.fn) {
                case Fn::kAbs:
                    return std::fabs(a);
                case Fn::kMin:
                    return std::fmin(a, b);
                case Fn::kMax:
                    return std::fmax(a, b);
                case Fn::kSqrt:
                    return a < 0 ? 0 : std::sqrt(a);
                case Fn::kSin:
                    return std::sin(a);
                case Fn::kCos:
                    return std::cos(a);
                case Fn::kFloor:
                    return std::floor(a);
                case Fn::kPow: {
                    double r = std::pow(a, b);
                    return std::isfinite(r) ? r : 0;
                }
            }
            return 0;
        }
        default:
            break;
    }
    double a = EvalNode(*n.kids[0], v), b = EvalNode(*n.kids[1], v);
    switch (n.op) {
        case Op::kAdd:
            return a + b;
        case Op::kSub:
            return a - b;
        case Op::kMul:
            return a * b;
        // Division by zero gives 0 rather than infinities that would spread through the dataflow.
        case Op::kDiv:
            return b == 0 ? 0 : a / b;
        case Op::kMod:
            return b == 0 ? 0 : std::fmod(a, b);
        case Op::kLt:
            return a < b;
        case Op::kLe:
            return a <= b;
        case Op::kGt:
            return a > b;
        case Op::kGe:
            return a >= b;
        case Op::kEq:
            return a == b;
        case Op::kNe:
            return a != b;
        default:
            return 0;
    }
}

bool RunBody(const std::vector<ScriptStmt>& body, double* v, int* steps) {
    for (const auto& s : body) {
        switch (s.kind) {
            case ScriptStmt::kAssign: {
                double r = EvalNode(*s.expr, v);
                v[s.var] = std::isfinite(r) ? r : 0;
                break;
            }
            case ScriptStmt::kIf:
                if (!RunBody(EvalNode(*s.expr, v) != 0 ? s.then_body : s.else_body, v, steps))
                    return false;
                break;
            case ScriptStmt::kWhile:
                while (EvalNode(*s.expr, v) != 0) {
                    if (++*steps > kMaxLoopSteps) return false;
                    if (!RunBody(s.then_body, v, steps)) return false;
                }
                break;
        }
    }
    return true;
}

struct Token {
    enum Kind { kEnd, kNum, kIdent, kStr, kSym, kNewline } kind = kEnd;
    std::string text;
    double num = 0;
    int line = 1;
};

struct CompileError {
    std::string message;
};

[[noreturn]] void Fail(int line, const std::string& what) {
    throw CompileError{"第" + std::to_string(line) + "行: " + what};
}

std::vector<Token> Lex(const std::string& s) {
    std::vector<Token> out;
    int line = 1;
    size_t i = 0;
    auto is_ident = [](unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; };
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\n') {
            out.push_back({Token::kNewline, "\n", 0, line});
            ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            int start = line;
            i += 2;
            while (i + 1 < s.size() && !(s[i] == '*' && s[i + 1] == '/')) {
                if (s[i] == '\n') ++line;
                ++i;
            }
            if (i + 1 >= s.size()) Fail(start, "注释没有结束 (缺少 */)");
            i += 2;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() &&
                                       std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            const char* begin = s.c_str() + i;
            char* end = nullptr;
            double v = std::strtod(begin, &end);
            size_t len = static_cast<size_t>(end - begin);
            out.push_back({Token::kNum, s.substr(i, len), v, line});
            i += len;
        } else if (is_ident(c)) {
            size_t j = i;
            while (j < s.size() && is_ident(static_cast<unsigned char>(s[j]))) ++j;
            out.push_back({Token::kIdent, s.substr(i, j - i), 0, line});
            i = j;
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < s.size() && s[j] != '"' && s[j] != '\n') ++j;
            if (j >= s.size() || s[j] != '"') Fail(line, "字符串没有结束 (缺少 \")");
            out.push_back({Token::kStr, s.substr(i + 1, j - i - 1), 0, line});
            i = j + 1;
        } else {
            static const char* kTwo[] = {"<=", ">=", "==", "!=", "&&", "||"};
            bool two = false;
            for (const char* t : kTwo) {
                if (s.compare(i, 2, t) == 0) {
                    out.push_back({Token::kSym, t, 0, line});
                    i += 2;
                    two = true;
                    break;
                }
            }
            if (two) continue;
            if (std::strchr("+-*/%<>()=,;!", c) && c) {
                out.push_back({Token::kSym, std::string(1, static_cast<char>(c)), 0, line});
                ++i;
            } else {
                char buf[64];
                if (c >= 0x20 && c < 0x7f)
                    std::snprintf(buf, sizeof buf, "无法识别的字符 '%c'", c);
                else
                    std::snprintf(buf, sizeof buf, "无法识别的字符 0x%02X", c);
                Fail(line, buf);
            }
        }
    }
    out.push_back({Token::kEnd, "", 0, line});
    return out;
}

bool IsKeyword(const std::string& w) {
    static const char* kWords[] = {"if",    "then",  "else",   "end", "do",
                                   "while", "input", "output", "ref", "attr"};
    for (const char* k : kWords)
        if (w == k) return true;
    return false;
}

}  // namespace

// Recursive-descent parser shared by formulas and scripts.
class ScriptParser {
  public:
    explicit ScriptParser(std::vector<Token> toks) : t_(std::move(toks)) {}

    // Variable lookup: formulas resolve x1..xN; scripts their declared and local names.
    std::map<std::string, size_t> vars;
    const std::vector<std::string>* reserved = nullptr;
    std::map<std::string, char>
        kinds;  // script: 'i' input, 'o' output, 'a' attr, 'r' ref, 'l' local

    const Token& Peek() const { return t_[pos_]; }
    const Token& Next() { return t_[pos_ < t_.size() - 1 ? pos_++ : pos_]; }
    bool IsSym(const char* s) const { return Peek().kind == Token::kSym && Peek().text == s; }
    bool IsWord(const char* s) const { return Peek().kind == Token::kIdent && Peek().text == s; }

    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Token::kEnd:
                return "文本结尾";
            case Token::kNewline:
                return "行尾";
            case Token::kStr:
                return "字符串 \"" + t.text + "\"";
            default:
                return "'" + t.text + "'";
        }
    }
    void Expect(const char* sym) {
        if (!IsSym(sym))
            Fail(Peek().line, std::string("缺少 '") + sym + "', 遇到 " + Describe(Peek()));
        Next();
    }
    void ExpectWord(const char* w, int opened_line) {
        if (!IsWord(w)) {
            std::string msg = std::string("缺少 ") + w + ", 遇到 " + Describe(Peek());
            if (opened_line) msg += " (第" + std::to_string(opened_line) + "行开始的语句)";
            Fail(Peek().line, msg);
        }
        Next();
    }

    std::unique_ptr<ExprNode> Expr(int depth = 0) {
        if (depth > kMaxDepth) Fail(Peek().line, "表达式嵌套太深");
        return Binary(0, depth);
    }

    std::unique_ptr<ExprNode> Binary(int level, int depth) {
        struct Level {
            const char* syms[4];
            Op ops[4];
        };
        static const Level kLevels[] = {
            {{"||", nullptr}, {Op::kOr}},
            {{"&&", nullptr}, {Op::kAnd}},
            {{"==", "!=", nullptr}, {Op::kEq, Op::kNe}},
            {{"<", "<=", ">", ">="}, {Op::kLt, Op::kLe, Op::kGt, Op::kGe}},
            {{"+", "-", nullptr}, {Op::kAdd, Op::kSub}},
            {{"*", "/", "%", nullptr}, {Op::kMul, Op::kDiv, Op::kMod}},
        };
        if (level == 6) return Unary(depth);
        auto left = Binary(level + 1, depth);
        for (;;) {
            int found = -1;
            for (int k = 0; k < 4 && kLevels[level].syms[k]; ++k)
                if (IsSym(kLevels[level].syms[k])) found = k;
            if (found < 0) return left;
            Next();
            auto node = std::make_unique<ExprNode>();
            node->op = kLevels[level].ops[found];
            node->kids.push_back(std::move(left));
            node->kids.push_back(Binary(level + 1, depth));
            left = std::move(node);
        }
    }

    std::unique_ptr<ExprNode> Unary(int depth) {
        if (depth > kMaxDepth) Fail(Peek().line, "表达式嵌套太深");
        if (IsSym("-") || IsSym("!")) {
            Op op = IsSym("-") ? Op::kNeg : Op::kNot;
            Next();
            auto node = std::make_unique<ExprNode>();
            node->op = op;
            node->kids.push_back(Unary(depth + 1));
            return node;
        }
        if (IsSym("+")) {
            Next();
            return Unary(depth + 1);
        }
        return Primary(depth);
    }

    std::unique_ptr<ExprNode> Primary(int depth) {
        const Token& t = Peek();
        auto node = std::make_unique<ExprNode>();
        if (t.kind == Token::kNum) {
            node->num = t.num;
            Next();
            return node;
        }
        if (IsSym("(")) {
            Next();
            auto inner = Expr(depth + 1);
            Expect(")");
            return inner;
        }
        if (t.kind == Token::kIdent) {
            std::string name = t.text;
            int line = t.line;
            if (name == "true" || name == "false") {
                node->num = name == "true";
                Next();
                return node;
            }
            if (IsKeyword(name)) Fail(line, "意外的关键字 " + name);
            Next();
            if (IsSym("(")) {
                static const std::pair<const char*, Fn> kFns[] = {
                    {"abs", Fn::kAbs},     {"min", Fn::kMin}, {"max", Fn::kMax},
                    {"sqrt", Fn::kSqrt},   {"sin", Fn::kSin}, {"cos", Fn::kCos},
                    {"floor", Fn::kFloor}, {"pow", Fn::kPow}};
                int arity = 0;
                for (const auto& [fname, fn] : kFns) {
                    if (name == fname) {
                        node->fn = fn;
                        arity = (fn == Fn::kMin || fn == Fn::kMax || fn == Fn::kPow) ? 2 : 1;
                    }
                }
                if (!arity) Fail(line, "未知的函数 " + name);
                node->op = Op::kCall;
                Next();
                node->kids.push_back(Expr(depth + 1));
                for (int k = 1; k < arity; ++k) {
                    Expect(",");
                    node->kids.push_back(Expr(depth + 1));
                }
                if (IsSym(",")) Fail(Peek().line, "函数 " + name + " 的参数太多");
                Expect(")");
                return node;
            }
            auto it = vars.find(name);
            if (it == vars.end()) Fail(line, "未定义的标识符 " + name);
            node->op = Op::kVar;
            node->var = it->second;
            return node;
        }
        Fail(t.line, "缺少表达式, 遇到 " + Describe(t));
    }

    // --- scripts -----------------------------------------------------------------------------

    void SkipSeparators() {
        while (Peek().kind == Token::kNewline || IsSym(";")) Next();
    }

    void EndOfStatement() {
        if (Peek().kind == Token::kNewline || IsSym(";") || Peek().kind == Token::kEnd ||
            IsWord("else") || IsWord("end"))
            return;
        Fail(Peek().line, "语句后多余的 " + Describe(Peek()));
    }

    std::string DeclName() {
        const Token& t = Peek();
        if (t.kind != Token::kIdent || IsKeyword(t.text) ||
            std::isdigit(static_cast<unsigned char>(t.text[0])) || t.text == "true" ||
            t.text == "false")
            Fail(t.line, "缺少名称, 遇到 " + Describe(t));
        if (kinds.count(t.text)) Fail(t.line, "重复声明 " + t.text);
        if (reserved && std::find(reserved->begin(), reserved->end(), t.text) != reserved->end())
            Fail(t.line, "名称 " + t.text + " 已是组件的属性");
        return Next().text;
    }

    void Declaration(ScriptProgram* p) {
        const Token kw = Next();
        // Every declaration becomes one record of the component's replies (at most 255).
        if (p->inputs.size() + p->outputs.size() + p->attrs.size() + p->refs.size() >= kMaxDecls)
            Fail(kw.line, "声明太多 (最多" + std::to_string(kMaxDecls) + "个)");
        if (kw.text == "input" || kw.text == "output") {
            do {
                if (p->inputs.size() + p->outputs.size() + p->attrs.size() + p->refs.size() >=
                    kMaxDecls)
                    Fail(kw.line, "声明太多 (最多" + std::to_string(kMaxDecls) + "个)");
                std::string name = DeclName();
                kinds[name] = kw.text == "input" ? 'i' : 'o';
                (kw.text == "input" ? p->inputs : p->outputs).push_back(name);
            } while (IsSym(",") && (Next(), true));
        } else if (kw.text == "attr") {
            std::string name = DeclName();
            std::string init = "0";
            if (IsSym("=")) {
                Next();
                bool neg = false;
                if (IsSym("-")) {
                    Next();
                    neg = true;
                }
                const Token& v = Peek();
                if (v.kind == Token::kNum)
                    init = (neg ? "-" : "") + v.text;
                else if (!neg && v.kind == Token::kIdent && (v.text == "true" || v.text == "false"))
                    init = v.text;
                else
                    Fail(v.line, "属性初值必须是数字, 遇到 " + Describe(v));
                Next();
            }
            kinds[name] = 'a';
            p->attrs.push_back({name, init});
        } else {  // ref
            std::string name = DeclName();
            Expect("=");
            const Token& v = Peek();
            if (v.kind != Token::kStr) Fail(v.line, "ref 需要一个 \"组件.属性\" 形式的字符串");
            std::string target = v.text;
            size_t dot = target.find_last_of(".:");
            if (dot == std::string::npos || dot == 0 || dot + 1 == target.size())
                Fail(v.line, "ref 的目标 \"" + target + "\" 不是 组件.属性 的形式");
            Next();
            kinds[name] = 'r';
            p->refs.push_back({name, target});
        }
    }

    std::vector<ScriptStmt> Block(std::initializer_list<const char*> enders, int opened_line,
                                  const char* opener) {
        std::vector<ScriptStmt> body;
        for (;;) {
            SkipSeparators();
            for (const char* e : enders)
                if (IsWord(e)) return body;
            if (Peek().kind == Token::kEnd) {
                if (!opened_line) return body;
                Fail(Peek().line, std::string("缺少 end (第") + std::to_string(opened_line) +
                                      "行的 " + opener + " 没有结束)");
            }
            body.push_back(Statement());
            EndOfStatement();
        }
    }

    ScriptStmt Statement() {
        const Token& t = Peek();
        int line = t.line;
        ScriptStmt s;
        if (t.kind != Token::kIdent) Fail(line, "缺少语句, 遇到 " + Describe(t));
        if (t.text == "input" || t.text == "output" || t.text == "attr" || t.text == "ref")
            Fail(line, "声明 " + t.text + " 只能出现在最外层");
        if (t.text == "if") {
            Next();
            s.kind = ScriptStmt::kIf;
            s.expr = Expr();
            ExpectWord("then", line);
            s.then_body = Block({"else", "end"}, line, "if");
            if (IsWord("else")) {
                Next();
                s.else_body = Block({"end"}, line, "if");
            }
            ExpectWord("end", line);
            return s;
        }
        if (t.text == "while") {
            Next();
            s.kind = ScriptStmt::kWhile;
            s.expr = Expr();
            ExpectWord("do", line);
            s.then_body = Block({"end"}, line, "while");
            ExpectWord("end", line);
            return s;
        }
        if (IsKeyword(t.text)) Fail(line, "意外的关键字 " + t.text);
        std::string name = t.text;
        Next();
        if (!IsSym("=")) Fail(Peek().line, "缺少 '=', 遇到 " + Describe(Peek()));
        Next();
        s.expr = Expr();
        auto k = kinds.find(name);
        if (k != kinds.end() && (k->second == 'i' || k->second == 'r'))
            Fail(line,
                 std::string("不能给") + (k->second == 'i' ? "输入 " : "引用 ") + name + " 赋值");
        if (k == kinds.end() || !vars.count(name)) Fail(line, "错误的名称 " + name);
        s.var = vars[name];
        return s;
    }

    void Script(ScriptProgram* p) {
        std::vector<ScriptStmt> body;
        // Declarations may appear anywhere at the outermost level, but a name must be declared
        // before it is used; variables are numbered once all declarations are known, so the
        // declarations are gathered in a first pass.
        size_t start = pos_;
        for (;;) {
            SkipSeparators();
            if (Peek().kind == Token::kEnd) break;
            if (IsWord("input") || IsWord("output") || IsWord("attr") || IsWord("ref")) {
                Declaration(p);
                EndOfStatement();
            } else {
                // statements are read in the second pass
                while (Peek().kind != Token::kNewline && !IsSym(";") && Peek().kind != Token::kEnd)
                    Next();
            }
        }
        size_t n = 0;
        for (auto& s : p->inputs) vars[s] = n++;
        for (auto& s : p->outputs) vars[s] = n++;
        for (auto& d : p->attrs) vars[d.name] = n++;
        for (auto& d : p->refs) vars[d.name] = n++;
        // Every other name that is assigned somewhere is a local variable: it starts at 0 and
        // keeps its value from one run to the next, so it may be read before its assignment.
        for (size_t i = start; i + 1 < t_.size(); ++i) {
            const Token& t = t_[i];
            if (t.kind != Token::kIdent || t_[i + 1].kind != Token::kSym || t_[i + 1].text != "=")
                continue;
            if (i > 0 && t_[i - 1].kind == Token::kIdent &&
                (t_[i - 1].text == "attr" || t_[i - 1].text == "ref"))
                continue;
            if (IsKeyword(t.text) || kinds.count(t.text) ||
                std::isdigit(static_cast<unsigned char>(t.text[0])) || t.text == "true" ||
                t.text == "false")
                continue;
            kinds[t.text] = 'l';
            vars[t.text] = n++;
        }
        pos_ = start;
        for (;;) {
            SkipSeparators();
            if (Peek().kind == Token::kEnd) break;
            if (IsWord("input") || IsWord("output") || IsWord("attr") || IsWord("ref")) {
                while (Peek().kind != Token::kNewline && !IsSym(";") && Peek().kind != Token::kEnd)
                    Next();
                continue;
            }
            if (IsWord("else") || IsWord("end") || IsWord("then") || IsWord("do"))
                Fail(Peek().line, "多余的 " + Peek().text);
            body.push_back(Statement());
            EndOfStatement();
        }
        p->var_count = vars.size();
        p->body_ = std::make_shared<const std::vector<ScriptStmt>>(std::move(body));
    }

  private:
    std::vector<Token> t_;
    size_t pos_ = 0;
};

double Formula::Eval(const double* vars) const {
    if (!root_) return 0;
    double r = EvalNode(*root_, vars);
    return std::isfinite(r) ? r : 0;
}

bool CompileFormula(const std::string& text, int inputs, Formula* out, std::string* error) {
    try {
        ScriptParser p(Lex(text));
        for (int i = 0; i < inputs; ++i) {
            const std::string n = std::to_string(i + 1);
            p.vars[std::string("x").append(n)] = static_cast<size_t>(i);
            p.vars[std::string("输入").append(n)] = static_cast<size_t>(i);
        }
        while (p.Peek().kind == Token::kNewline) p.Next();
        if (p.Peek().kind == Token::kEnd) throw CompileError{"表达式为空"};
        auto root = p.Expr();
        while (p.Peek().kind == Token::kNewline) p.Next();
        if (p.Peek().kind != Token::kEnd)
            Fail(p.Peek().line, "表达式后多余的 " + ScriptParser::Describe(p.Peek()));
        out->root_ = std::shared_ptr<const ExprNode>(std::move(root));
        return true;
    } catch (const CompileError& e) {
        if (error) *error = e.message;
        return false;
    }
}

bool ScriptProgram::Run(double* vars) const {
    if (!body_) return true;
    int steps = 0;
    return RunBody(*body_, vars, &steps);
}

bool CompileScript(const std::string& text, ScriptProgram* out, std::string* error,
                   const std::vector<std::string>& reserved) {
    try {
        ScriptParser parser(Lex(text));
        parser.reserved = &reserved;
        ScriptProgram p;
        parser.Script(&p);
        *out = std::move(p);
        return true;
    } catch (const CompileError& e) {
        if (error) *error = e.message;
        return false;
    }
}

}  // namespace devsim
