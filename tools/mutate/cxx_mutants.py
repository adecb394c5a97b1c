"""Mutant generation for C++ sources: a small tokenizer, a rough structural pass and the operators.

No C++ parser: the tokenizer drops comments and preprocessor lines, and a few heuristics tell a
template bracket from a comparison, a function body from a class body and an expression statement
from a declaration. A heuristic that guesses wrong costs one uncompilable mutant, never a wrong
verdict, so they lean towards generating too few rather than too many.
"""

from __future__ import annotations

import difflib
import hashlib
import json
import random
import re
from dataclasses import dataclass, field

# Operator names, in the order --help lists them.
OPERATORS = {
    "boundary": "< <-> <=, > <-> >= (comparisons only, never template brackets or shifts)",
    "equality": "== <-> !=",
    "arith": "+ <-> -, * <-> /, % -> /, += <-> -=, *= <-> /= (binary operators only)",
    "bitwise": "& <-> |, |= <-> &= (binary operators only)",
    "logical": "&& <-> ||",
    "incdec": "++ <-> -- (not in the step of a for loop: that only makes endless loops)",
    "literal": "integer literal +1, -1 and -> 0 (0 -> 1)",
    "bool_literal": "true <-> false",
    "swap_operands": "a - b -> b - a, a / b, a % b; a && b where the right side could fault",
    "negate_cond": "if/while/for/do condition and ternary condition c -> !(c)",
    "remove_unary": "!x -> x, -x -> x, ~x -> x",
    "remove_stmt": "an expression statement (call, assignment, increment) removed",
    "return_value": "return expr; -> return {};",
    "table_swap": "two adjacent entries of a const/constexpr table initializer swapped",
    "table_value": "one number inside a const/constexpr table changed",
    "string": "a string literal emptied, or one of its characters changed",
    "char_literal": "a character literal changed",
}

# Calls whose statements are left alone: they only log or check.
SKIPPED_CALLS = {
    "qDebug", "qInfo", "qWarning", "qCritical", "qFatal",
    "qCDebug", "qCInfo", "qCWarning", "qCCritical",
    "assert", "Q_ASSERT", "Q_ASSERT_X", "Q_UNUSED", "static_assert",
}
# fprintf(stderr, ...) and friends; std::cerr / std::clog statements.
# Qt macros that wrap run-time expressions; other Q_ macros declare things.
QT_EXPRESSION_MACROS = {"Q_EMIT", "Q_LIKELY", "Q_UNLIKELY"}
STDERR_CALLS = {"fprintf", "fputs", "vfprintf", "fputc"}
STDERR_STREAMS = {"cerr", "clog"}
# Parenthesised parts that hold no run-time expression.
UNEVALUATED = {"decltype", "alignof", "alignas", "sizeof", "noexcept", "__attribute__", "asm",
               "_Pragma", "typeid"}

TYPE_KEYWORDS = {
    "bool", "char", "char8_t", "char16_t", "char32_t", "wchar_t", "short", "int", "long",
    "signed", "unsigned", "float", "double", "void", "auto",
}
CAST_KEYWORDS = {"static_cast", "dynamic_cast", "reinterpret_cast", "const_cast"}
NON_VALUE_KEYWORDS = TYPE_KEYWORDS | CAST_KEYWORDS | {
    "return", "case", "throw", "co_return", "co_yield", "co_await", "else", "do", "new",
    "delete", "typename", "const", "volatile", "operator", "template", "class", "struct", "enum",
    "union", "static", "extern", "constexpr", "consteval", "constinit", "inline", "mutable",
    "virtual", "explicit", "friend", "using", "namespace", "typedef", "goto", "if", "while",
    "for", "switch", "noexcept", "decltype", "sizeof", "alignof", "alignas", "static_assert",
    "public", "private", "protected", "default", "break", "continue", "try", "catch",
    "requires", "concept", "export", "import", "module", "register", "thread_local", "and",
    "or", "not", "emit", "Q_EMIT",
}
STATEMENT_KEYWORDS = NON_VALUE_KEYWORDS - {"emit", "Q_EMIT"}
ASSIGNMENTS = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}
COMPARISONS = {"==", "!=", "<", ">", "<=", ">="}

PUNCTUATORS = sorted(
    """<=> <<= >>= ->* ... :: -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= .* ##
    { } [ ] ( ) ; : , . ? ~ ! + - * / % ^ & | = < > #""".split(),
    key=len,
    reverse=True,
)

_IDENT = re.compile(r"[A-Za-z_$][A-Za-z0-9_$]*")
_NUMBER = re.compile(r"\.?[0-9](?:[eEpP][+-]|'[0-9A-Za-z_]|[0-9A-Za-z_.])*")
_RAW_STRING = re.compile(r'(?:u8|u|U|L)?R"([^()\\\s]{0,16})\(')
_STRING = re.compile(r'(?:u8|u|U|L)?"')
_CHAR = re.compile(r"(?:u8|u|U|L)?'")
_SUFFIX = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
_INTEGER = re.compile(
    r"^(?:(0[xX])([0-9a-fA-F']+)|(0[bB])([01']+)|(0)([0-7']+)|([1-9][0-9']*|0))([uUlLzZ]*)$"
)


@dataclass
class Token:
    kind: str  # id, num, str, chr, op
    text: str
    start: int
    end: int
    space_before: bool
    space_after: bool = False
    body: tuple[int, int] | None = None  # string/char literal: offsets of the quoted text


def tokenize(src: str) -> list[Token]:
    """Splits C++ text into tokens; comments, whitespace and preprocessor lines are dropped."""
    tokens: list[Token] = []
    i, n = 0, len(src)
    line_start = True
    while i < n:
        c = src[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "\\" and src.startswith("\n", i + 1):
            i += 2
            continue
        if src.startswith("//", i):
            j = src.find("\n", i)
            i = n if j < 0 else j
            continue
        if src.startswith("/*", i):
            j = src.find("*/", i + 2)
            i = n if j < 0 else j + 2
            continue
        if c == "#" and line_start:
            i = _end_of_directive(src, i)
            continue
        line_start = False
        space = i == 0 or src[i - 1] in " \t\r\n\f\v"
        m = _RAW_STRING.match(src, i)
        if m:
            close = src.find(")" + m.group(1) + '"', m.end())
            end = n if close < 0 else close + len(m.group(1)) + 2
            body = (m.end(), close if close >= 0 else n)
            end = _suffix_end(src, end)
            tokens.append(Token("str", src[i:end], i, end, space, body=body))
            i = end
            continue
        m = _STRING.match(src, i) or _CHAR.match(src, i)
        if m:
            quote = src[m.end() - 1]
            j = m.end()
            while j < n and src[j] != quote and src[j] != "\n":
                j += 2 if src[j] == "\\" else 1
            body = (m.end(), min(j, n))
            end = _suffix_end(src, min(j + 1, n))
            tokens.append(Token("str" if quote == '"' else "chr", src[i:end], i, end, space,
                                body=body))
            i = end
            continue
        m = _NUMBER.match(src, i)
        if m:
            tokens.append(Token("num", m.group(), i, m.end(), space))
            i = m.end()
            continue
        m = _IDENT.match(src, i)
        if m:
            tokens.append(Token("id", m.group(), i, m.end(), space))
            i = m.end()
            continue
        for p in PUNCTUATORS:
            if src.startswith(p, i):
                tokens.append(Token("op", p, i, i + len(p), space))
                i += len(p)
                break
        else:
            tokens.append(Token("op", c, i, i + 1, space))
            i += 1
    for t in tokens:
        t.space_after = t.end >= n or src[t.end] in " \t\r\n\f\v"
    return tokens


def _end_of_directive(src: str, i: int) -> int:
    n = len(src)
    while True:
        j = src.find("\n", i)
        if j < 0:
            return n
        k = j - 1
        if k >= 0 and src[k] == "\r":
            k -= 1
        if k >= 0 and src[k] == "\\":
            i = j + 1
            continue
        return j


def _suffix_end(src: str, end: int) -> int:
    m = _SUFFIX.match(src, end)
    return m.end() if m else end


@dataclass
class Mutant:
    file: str
    start: int
    end: int
    original: str
    replacement: str
    operator: str
    line: int = 0
    column: int = 0
    id: str = ""
    key: str = ""
    anchor: str = field(default="", repr=False)

    def apply(self, text: str) -> str:
        return text[: self.start] + self.replacement + text[self.end :]

    def diff(self, text: str, context: int = 2) -> str:
        before = text.splitlines(keepends=True)
        after = self.apply(text).splitlines(keepends=True)
        lines = difflib.unified_diff(before, after, "a/" + self.file, "b/" + self.file, n=context)
        return "".join(l if l.endswith("\n") else l + "\n" for l in lines)

    def short(self, width: int = 48) -> str:
        return f"{_clip(self.original, width)} -> {_clip(self.replacement, width)}"


def _clip(s: str, width: int) -> str:
    s = re.sub(r"\s*\n\s*", " ", s.strip()) if s.strip() else s
    s = json.dumps(s, ensure_ascii=False)
    return s if len(s) <= width else s[: width - 4] + '..."'


def value_ending(t: Token | None) -> bool:
    """True when a token can end an operand, so that a following + - * & is binary."""
    if t is None:
        return False
    if t.kind in ("num", "str", "chr"):
        return True
    if t.kind == "id":
        return t.text not in NON_VALUE_KEYWORDS
    return t.text in (")", "]")


class Analysis:
    """Token stream of one file with the facts the operators need."""

    def __init__(self, src: str):
        self.src = src
        self.toks = tokenize(src)
        n = len(self.toks)
        self.match = [-1] * n
        self.excluded = [False] * n  # never mutated
        self.scope = ["decl"] * n  # decl, code (function bodies), init (initializers)
        self.in_table = [False] * n
        self.openers: set[int] = set()  # template '<'
        self.closers: set[int] = set()  # template '>'
        self.tmatch: dict[int, int] = {}  # template '<' <-> '>'
        self.in_template = [False] * n
        self.for_steps = [False] * n
        self.statements: list[tuple[int, int, str]] = []  # first, ';' index, context
        self.returns: list[tuple[int, int]] = []
        self.conditions: list[tuple[int, int]] = []  # first and last token of a condition
        self.tables: list[list[tuple[int, int]]] = []  # rows: first and last token
        self._match_brackets()
        self._templates()
        self._exclusions()
        self._walk_decls(0, n)
        self._array_declarators()

    # --- brackets and templates -------------------------------------------------------------

    def _match_brackets(self) -> None:
        pairs = {")": "(", "]": "[", "}": "{"}
        stack: list[int] = []
        for i, t in enumerate(self.toks):
            if t.kind != "op":
                continue
            if t.text in ("(", "[", "{"):
                stack.append(i)
            elif t.text in pairs:
                # Drop unmatched openers so one stray bracket does not shift the rest.
                while stack and self.toks[stack[-1]].text != pairs[t.text]:
                    stack.pop()
                if stack:
                    j = stack.pop()
                    self.match[i], self.match[j] = j, i

    def text(self, i: int) -> str:
        return self.toks[i].text if 0 <= i < len(self.toks) else ""

    def _templates(self) -> None:
        toks = self.toks
        for i, t in enumerate(toks):
            if t.text != "<" or t.kind != "op":
                continue
            prev = toks[i - 1] if i else None
            if prev is None:
                continue
            if prev.text == "operator":
                continue
            forced = prev.text == "template"
            if not forced and not (
                (prev.kind == "id" and (prev.text not in NON_VALUE_KEYWORDS
                                        or prev.text in CAST_KEYWORDS))
                or prev.text == "]"
            ):
                continue
            close = self._scan_template(i, forced)
            if close is not None:
                self.openers.add(i)
                self.closers.add(close)
                self.tmatch[i], self.tmatch[close] = close, i
                for k in range(i, close + 1):
                    self.in_template[k] = True

    def _scan_template(self, i: int, forced: bool) -> int | None:
        toks = self.toks
        depth = 1
        j = i + 1
        allowed_ops = {"::", ",", "*", "&", "...", "+", "-", "/", "%", "~", "!"}
        while j < len(toks):
            t = toks[j]
            if t.kind in ("id", "num", "chr"):
                j += 1
                continue
            if t.text in ("(", "["):
                if self.match[j] < 0:
                    return None
                j = self.match[j] + 1
                continue
            if t.text == "<":
                depth += 1
            elif t.text == ">":
                depth -= 1
            elif t.text == ">>":
                depth -= 2
            elif t.text == "&&" and forced:
                pass
            elif t.text == "=" and forced:
                # template <typename T = int>: defaults are part of the parameter list.
                pass
            elif t.text not in allowed_ops:
                return None
            if depth <= 0:
                return j
            j += 1
        return None

    # --- parts never mutated ----------------------------------------------------------------

    def _exclusions(self) -> None:
        toks = self.toks
        n = len(toks)
        for i, t in enumerate(toks):
            if t.text == "operator":
                # operator<=>, operator(), operator==: the symbol is a name here.
                j = i + 1
                while j < n and (toks[j].kind == "op" and toks[j].text != "("
                                 or toks[j].kind == "str"):
                    self.excluded[j] = True
                    j += 1
                if j < n and toks[j].text == "(" and j + 1 < n and toks[j + 1].text == ")" \
                        and j + 2 < n and toks[j + 2].text == "(":
                    self.excluded[j] = self.excluded[j + 1] = True
                continue
            if t.kind == "op" and t.text == "[" and self.text(i + 1) == "[":
                self._exclude_to(i, self.match[i])  # [[attributes]]
                continue
            if t.kind != "id":
                continue
            nxt = self.text(i + 1)
            if t.text in SKIPPED_CALLS or (t.text.startswith("Q_") and t.text.isupper()
                                           and t.text not in QT_EXPRESSION_MACROS):
                if t.text in ("static_assert", "assert", "Q_ASSERT", "Q_ASSERT_X", "Q_UNUSED") \
                        or t.text.startswith("Q_"):
                    if nxt == "(" and self.match[i + 1] > i:
                        self._exclude_to(i, self.match[i + 1])
                    else:
                        self.excluded[i] = True
                else:
                    self._exclude_to(i, self._statement_end(i))
                continue
            if t.text in STDERR_CALLS and nxt == "(" and self.text(i + 2) == "stderr":
                start = i - 2 if self.text(i - 1) == "::" else i
                self._exclude_to(start, self._statement_end(i))
                continue
            if t.text in STDERR_STREAMS and self.text(i - 1) == "::" and self.text(i - 2) == "std":
                self._exclude_to(i - 2, self._statement_end(i))
                continue
            if t.text in UNEVALUATED and nxt == "(":
                self._exclude_to(i, self.match[i + 1])
                continue
            if t.text == "extern" and i + 1 < n and toks[i + 1].kind == "str":
                self.excluded[i + 1] = True

    def _exclude_to(self, a: int, b: int) -> None:
        if b < a:
            b = a
        for k in range(a, min(b, len(self.toks) - 1) + 1):
            self.excluded[k] = True

    def _statement_end(self, i: int) -> int:
        """Index of the ';' that ends the statement holding token i (brackets skipped)."""
        j = i
        n = len(self.toks)
        while j < n:
            t = self.toks[j].text
            if t in ("(", "[", "{") and self.match[j] > j:
                j = self.match[j] + 1
                continue
            if t in (";", "}"):
                return j
            j += 1
        return n - 1

    def _array_declarators(self) -> None:
        """Leaves the size of a local array alone (char buffer[256]): changing it only
        moves a limit the tests cannot see, or fails to compile."""
        not_types = {"return", "case", "throw", "else", "do", "co_return", "delete", "new"}
        for i, t in enumerate(self.toks):
            if t.text != "[" or t.kind != "op" or self.scope[i] != "code" or i < 2:
                continue
            prev, before = self.toks[i - 1], self.toks[i - 2]
            if prev.kind != "id" or prev.text in NON_VALUE_KEYWORDS:
                continue
            if (before.kind == "id" and before.text not in not_types) or \
                    before.text in ("*", "&") or (i - 2) in self.closers:
                self._exclude_to(i, self.match[i])

    # --- structure ----------------------------------------------------------------------------

    def _mark(self, a: int, b: int, scope: str) -> None:
        for k in range(max(a, 0), min(b, len(self.toks))):
            self.scope[k] = scope

    def _walk_decls(self, i: int, end: int) -> None:
        """A namespace or class scope: declarations, function bodies, nested scopes."""
        toks = self.toks
        decl = i
        while i < end:
            t = toks[i]
            tx = t.text
            if t.kind == "op" and tx == ";":
                decl = i + 1
                i += 1
                continue
            if t.kind == "op" and tx == "{":
                close = self.match[i] if self.match[i] > i else end
                kind = self._classify_brace(decl, i)
                if kind in ("namespace", "class"):
                    self._walk_decls(i + 1, close)
                elif kind == "func":
                    self._mark(i, close + 1, "code")
                    self._walk_block(i + 1, close)
                else:
                    self._mark(i, close + 1, "init")
                    self._scan_expr(i + 1, close)
                    if kind == "init" and self._is_const_decl(decl, i):
                        self._table(i, close)
                i = close + 1
                if kind in ("namespace", "func"):
                    decl = i
                continue
            if t.kind == "op" and tx == "=" and not self._pure_specifier(i):
                stop = self._statement_end(i)
                self._mark(i + 1, stop, "init")
                j = i + 1
                while j < stop:
                    if toks[j].text == "{" and self.match[j] > j:
                        self._scan_expr(j + 1, self.match[j])
                        if self._is_const_decl(decl, j) and j == i + 1:
                            self._table(j, self.match[j])
                        j = self.match[j] + 1
                        continue
                    if toks[j].text in ("(", "[") and self.match[j] > j:
                        self._scan_expr(j + 1, self.match[j])
                        j = self.match[j] + 1
                        continue
                    j += 1
                i = stop
                continue
            if t.kind == "op" and tx == "(" and self.match[i] > i:
                close = self.match[i]
                self._default_arguments(i + 1, close)
                i = close + 1
                if self.text(i) == ":" :
                    i = self._member_initializers(i + 1, end)
                continue
            if t.kind == "op" and tx == "[" and self.match[i] > i:
                i = self.match[i] + 1
                continue
            if t.kind == "id" and tx.startswith("Q_") and self.text(i + 1) == "(" \
                    and self.match[i + 1] > i:
                i = self.match[i + 1] + 1
                decl = i  # Qt declaration macros often have no semicolon
                continue
            if t.kind == "op" and tx == ":" and decl >= i - 2 and self.text(i - 1) in (
                    "public", "private", "protected", "signals", "slots", "Q_SLOTS",
                    "Q_SIGNALS"):
                decl = i + 1  # an access specifier, not part of the next declaration
            i += 1

    def _pure_specifier(self, i: int) -> bool:
        prev = self.text(i - 1)
        return prev in (")", "const", "override", "final", "noexcept", "volatile", "&", "&&")

    def _default_arguments(self, a: int, b: int) -> None:
        j = a
        while j < b:
            t = self.toks[j]
            if t.text in ("(", "[", "{") and self.match[j] > j:
                j = self.match[j] + 1
                continue
            if t.text == "=":
                k = j + 1
                while k < b and self.toks[k].text != ",":
                    if self.toks[k].text in ("(", "[", "{") and self.match[k] > k:
                        k = self.match[k]
                    k += 1
                self._mark(j + 1, k, "init")
                j = k
                continue
            j += 1

    def _member_initializers(self, i: int, end: int) -> int:
        """Constructor initializer list after ')' ':'; returns the index of the body '{'."""
        toks = self.toks
        while i < end:
            t = toks[i]
            if t.text in ("(", "{") and self.match[i] > i:
                if t.text == "{" and self.text(i - 1) not in ("", ",") and \
                        toks[i - 1].kind == "op" and toks[i - 1].text not in (">",):
                    return i  # ') {' or similar: the body
                close = self.match[i]
                self._mark(i + 1, close, "init")
                self._scan_expr(i + 1, close)
                i = close + 1
                if self.text(i) == "{":
                    return i
                continue
            if t.text in (",", "::", "...", "<", ">") or t.kind == "id":
                i += 1
                continue
            return i
        return i

    def _classify_brace(self, decl: int, brace: int) -> str:
        words = []
        has_paren = has_assign = False
        for k in range(decl, brace):
            if self.in_template[k]:
                continue
            words.append(self.toks[k].text)
            if words[-1] == "(":
                has_paren = True
            elif words[-1] == "=":
                has_assign = True
        if "namespace" in words or (words[:1] == ["extern"] and len(words) <= 2):
            return "namespace"
        if "enum" in words:
            return "enum"
        if has_assign:
            return "init"
        prev = self.text(brace - 1)
        if has_paren and prev in (")", "const", "noexcept", "override", "final", "mutable",
                                  "volatile", "&", "&&", "}", "]") or (
                has_paren and self.text(brace - 2) == "->"):
            return "func"
        if has_paren and self.toks[brace - 1].kind == "id":
            return "func"  # trailing return type or try
        if {"class", "struct", "union"} & set(words):
            return "class"
        return "init"

    def _is_const_decl(self, decl: int, brace: int) -> bool:
        return any(not self.in_template[k] and self.toks[k].text in ("const", "constexpr")
                   for k in range(decl, brace))

    def _is_lambda_body(self, i: int) -> bool:
        prev = self.text(i - 1)
        if prev in (")", "]", "mutable", "noexcept", "constexpr"):
            return True
        return self.text(i - 2) == "->"

    def _scan_expr(self, a: int, b: int) -> None:
        """Finds lambda bodies inside an expression and walks their statements."""
        j = a
        while j < b:
            t = self.toks[j]
            if t.text == "{" and self.match[j] > j:
                close = self.match[j]
                if self._is_lambda_body(j):
                    self._mark(j, close + 1, "code")
                    self._walk_block(j + 1, close)
                else:
                    self._scan_expr(j + 1, close)
                j = close + 1
                continue
            if t.text in ("(", "[") and self.match[j] > j:
                self._scan_expr(j + 1, self.match[j])
                j = self.match[j] + 1
                continue
            j += 1

    def _walk_block(self, i: int, end: int) -> None:
        ctx = "plain"
        guard = 0
        while i < end:
            nxt, ctx = self._walk_statement(i, end, ctx)
            if nxt <= i:
                nxt = i + 1
            i = nxt
            guard += 1
            if guard > 1_000_000:
                break

    def _paren(self, i: int) -> int:
        """Index of the ')' matching the '(' at i, or -1."""
        if self.text(i) == "(" and self.match[i] > i:
            return self.match[i]
        return -1

    def _walk_statement(self, i: int, end: int, ctx: str) -> tuple[int, str]:
        toks = self.toks
        t = toks[i]
        tx = t.text
        if t.kind == "op":
            if tx == "{":
                close = self.match[i] if self.match[i] > i else end
                self._walk_block(i + 1, close)
                return close + 1, "plain"
            if tx in (";", "}"):
                return i + 1, "plain"
        if t.kind == "id":
            if tx == "if":
                j = i + 1
                if self.text(j) == "constexpr":
                    j += 1
                if self.text(j) == "!" and self.text(j + 1) == "consteval":
                    return self._walk_statement(j + 2, end, "body")[0], "plain"
                close = self._paren(j)
                if close < 0:
                    return self._generic(i, end, ctx)
                self._condition(j + 1, close, allow_init=True)
                self._scan_expr(j + 1, close)
                k = self._walk_statement(close + 1, end, "body")[0] if close + 1 < end else end
                if k < end and self.text(k) == "else":
                    k = self._walk_statement(k + 1, end, "body")[0]
                return k, "plain"
            if tx in ("while", "switch"):
                close = self._paren(i + 1)
                if close < 0:
                    return self._generic(i, end, ctx)
                if tx == "while":
                    self._condition(i + 2, close, allow_init=False)
                self._scan_expr(i + 2, close)
                return self._walk_statement(close + 1, end, "body")[0], "plain"
            if tx == "for":
                close = self._paren(i + 1)
                if close < 0:
                    return self._generic(i, end, ctx)
                semis = [k for k in self._top_level(i + 2, close) if toks[k].text == ";"]
                if len(semis) == 2:
                    self._condition(semis[0] + 1, semis[1], allow_init=False)
                    for k in range(semis[1] + 1, close):
                        self.for_steps[k] = True
                self._scan_expr(i + 2, close)
                return self._walk_statement(close + 1, end, "body")[0], "plain"
            if tx == "do":
                k = self._walk_statement(i + 1, end, "body")[0]
                if self.text(k) == "while":
                    close = self._paren(k + 1)
                    if close > 0:
                        self._condition(k + 2, close, allow_init=False)
                        self._scan_expr(k + 2, close)
                        k = close + 1
                        if self.text(k) == ";":
                            k += 1
                return k, "plain"
            if tx == "try":
                k = self._walk_statement(i + 1, end, "plain")[0]
                while self.text(k) == "catch":
                    close = self._paren(k + 1)
                    if close < 0:
                        break
                    k = self._walk_statement(close + 1, end, "plain")[0]
                return k, "plain"
            if tx == "case":
                j = i + 1
                while j < end and toks[j].text != ":":
                    j += 1
                return j + 1, "label"
            if tx == "default" and self.text(i + 1) == ":":
                return i + 2, "label"
            if tx not in NON_VALUE_KEYWORDS and self.text(i + 1) == ":":
                return i + 2, "label"
            if tx in ("return", "co_return"):
                semi = self._statement_end(i)
                self._scan_expr(i + 1, semi)
                if semi > i + 1 and self.text(semi) == ";":
                    self.returns.append((i, semi))
                return semi + 1, "plain"
            if tx in ("break", "continue", "goto"):
                return self._statement_end(i) + 1, "plain"
        return self._generic(i, end, ctx)

    def _generic(self, i: int, end: int, ctx: str) -> tuple[int, str]:
        toks = self.toks
        j = i
        while j < end:
            t = toks[j]
            if t.text in ("(", "[") and self.match[j] > j:
                self._scan_expr(j + 1, self.match[j])
                j = self.match[j] + 1
                continue
            if t.text == "{" and self.match[j] > j:
                close = self.match[j]
                if self._is_lambda_body(j):
                    self._walk_block(j + 1, close)
                else:
                    self._scan_expr(j + 1, close)
                    if self._is_const_decl(i, j):
                        self._table(j, close)
                j = close + 1
                continue
            if t.text == ";":
                self.statements.append((i, j, ctx))
                return j + 1, "plain"
            if t.text == "}":
                return j, "plain"
            j += 1
        return end, "plain"

    def _top_level(self, a: int, b: int):
        j = a
        while j < b:
            if self.toks[j].text in ("(", "[", "{") and self.match[j] > j:
                j = self.match[j] + 1
                continue
            yield j
            j += 1

    def _condition(self, a: int, b: int, allow_init: bool) -> None:
        if b <= a:
            return
        top = list(self._top_level(a, b))
        semis = [k for k in top if self.toks[k].text == ";"]
        if semis:
            if not allow_init:
                return
            a = semis[-1] + 1
            top = [k for k in top if k > a - 1]
        if b <= a:
            return
        if any(self.toks[k].text == "=" for k in top if a <= k < b):
            return  # a declaration: if (auto x = ...)
        if any(self.excluded[k] for k in range(a, b)):
            return
        self.conditions.append((a, b - 1))

    def _table(self, open_: int, close: int) -> None:
        rows = self._elements(open_, close)
        while len(rows) == 1 and self.text(rows[0][0]) == "{" and \
                self.match[rows[0][0]] == rows[0][1]:
            open_, close = rows[0]
            rows = self._elements(open_, close)
        if len(rows) < 2:
            return
        self.tables.append(rows)
        for a, b in rows:
            for k in range(a, b + 1):
                self.in_table[k] = True

    def _elements(self, open_: int, close: int) -> list[tuple[int, int]]:
        out = []
        start = open_ + 1
        for k in list(self._top_level(open_ + 1, close)) + [close]:
            if k == close or self.toks[k].text == ",":
                if k > start:
                    out.append((start, k - 1))
                start = k + 1
        return out


# --- operators -------------------------------------------------------------------------------

SIMPLE_SWAPS = {
    "<": ("boundary", "<="), "<=": ("boundary", "<"), ">": ("boundary", ">="),
    ">=": ("boundary", ">"), "==": ("equality", "!="), "!=": ("equality", "=="),
    "+": ("arith", "-"), "-": ("arith", "+"), "*": ("arith", "/"), "/": ("arith", "*"),
    "%": ("arith", "/"), "+=": ("arith", "-="), "-=": ("arith", "+="), "*=": ("arith", "/="),
    "/=": ("arith", "*="), "&": ("bitwise", "|"), "|": ("bitwise", "&"),
    "|=": ("bitwise", "&="), "&=": ("bitwise", "|="), "&&": ("logical", "||"),
    "||": ("logical", "&&"),
}
# Operators that read as a declarator when they touch one side (Foo* p, Foo& r, Foo&& r).
SPACING_SENSITIVE = {"*", "&", "&&"}


class _Builder:
    def __init__(self, path: str, a: Analysis):
        self.path = path
        self.a = a
        self.out: list[Mutant] = []

    def add(self, op: str, start: int, end: int, replacement: str) -> None:
        original = self.a.src[start:end]
        if original == replacement:
            return
        self.out.append(Mutant(self.path, start, end, original, replacement, op))

    def tok(self, i: int, op: str, replacement: str) -> None:
        t = self.a.toks[i]
        self.add(op, t.start, t.end, replacement)

    def span(self, i: int, j: int) -> tuple[int, int]:
        return self.a.toks[i].start, self.a.toks[j].end


def _mutable(a: Analysis, i: int) -> bool:
    return not a.excluded[i] and not a.in_template[i] and a.scope[i] in ("code", "init")


def _integer_variants(text: str) -> list[str]:
    m = _INTEGER.match(text)
    if not m:
        return []
    suffix = m.group(8)
    if m.group(1):
        prefix, digits, base = m.group(1), m.group(2), 16
    elif m.group(3):
        prefix, digits, base = m.group(3), m.group(4), 2
    elif m.group(5):
        prefix, digits, base = "0", m.group(6), 8
    else:
        prefix, digits, base = "", m.group(7), 10
    value = int(digits.replace("'", ""), base)
    upper = any(c in "ABCDEF" for c in digits)

    def fmt(v: int) -> str:
        if base == 16:
            s = format(v, "X" if upper else "x")
        elif base == 2:
            s = format(v, "b")
        elif base == 8:
            s = format(v, "o")
            if v == 0:
                return "0" + suffix
        else:
            s = str(v)
        return prefix + s + suffix

    values = [value + 1]
    if value > 0:
        values.append(value - 1)
    if value > 1:
        values.append(0)
    out = []
    for v in values:
        s = fmt(v)
        if s not in out and s != text:
            out.append(s)
    return out


def _table_number(text: str) -> str | None:
    variants = _integer_variants(text)
    if variants:
        return variants[0]
    m = re.match(r"^(\.?)([0-9])", text)
    if not m:
        return None
    d = m.group(2)
    nd = "1" if d == "0" else ("0" if d == "9" else str(int(d) + 1))
    k = m.start(2)
    return text[:k] + nd + text[k + 1 :]


def _changed_char(c: str) -> str:
    if c.isdigit():
        return "0" if c == "9" else chr(ord(c) + 1)
    if "a" <= c <= "z":
        return "a" if c == "z" else chr(ord(c) + 1)
    if "A" <= c <= "Z":
        return "A" if c == "Z" else chr(ord(c) + 1)
    if c == " ":
        return "_"
    return "X" if c != "X" else "Y"


_SIMPLE_ESCAPES = {"\\n": "\\r", "\\r": "\\n", "\\t": " ", "\\0": "\\1", "\\\\": "/",
                   "\\'": "`", '\\"': "'"}


def _string_mutants(b: _Builder, i: int) -> None:
    a = b.a
    t = a.toks[i]
    lo, hi = t.body
    body = a.src[lo:hi]
    raw = a.src[t.start:lo].endswith("(")
    if body:
        b.add("string", lo, hi, "")
    else:
        b.add("string", lo, hi, "X")
        return
    # Plain characters, not escapes, are candidates; the middle one is changed.
    plain = []
    k = 0
    while k < len(body):
        if body[k] == "\\" and not raw:
            k += 2
            continue
        plain.append(k)
        k += 1
    if plain:
        k = plain[len(plain) // 2]
        b.add("string", lo + k, lo + k + 1, _changed_char(body[k]))


def _char_mutants(b: _Builder, i: int) -> None:
    a = b.a
    t = a.toks[i]
    lo, hi = t.body
    body = a.src[lo:hi]
    if len(body) == 1:
        b.add("char_literal", lo, hi, _changed_char(body))
    elif body in _SIMPLE_ESCAPES:
        b.add("char_literal", lo, hi, _SIMPLE_ESCAPES[body])


def _binary(a: Analysis, i: int) -> bool:
    t = a.toks[i]
    prev = a.toks[i - 1] if i else None
    if not value_ending(prev):
        return False
    if t.text in SPACING_SENSITIVE and not (t.space_before and t.space_after):
        return False
    nxt = a.toks[i + 1] if i + 1 < len(a.toks) else None
    if nxt is None or nxt.text in (")", "]", "}", ";", ",", ">"):
        return False
    return True


# What may stand just before the left operand of a swapped operator, by the operator's
# precedence: anything that binds less tightly, so the operand is not part of a larger one.
_LEFT_BASE = {"(", "[", "{", ",", ";", "?", ":", "return", "co_return"} | ASSIGNMENTS
_LEFT_OK = {
    "||": _LEFT_BASE,
    "&&": _LEFT_BASE | {"||"},
    "-": _LEFT_BASE | {"||", "&&", "|", "^", "==", "!=", "<", ">", "<=", ">=", "<<", ">>"},
}
_LEFT_OK["/"] = _LEFT_OK["%"] = _LEFT_OK["-"] | {"+", "-"}
# What may follow the right operand: a ';' or an operator that binds less tightly.
_RIGHT_STOP = {")", "]", "}", ";", ",", "?", ":"}
_RIGHT_OK = {
    "||": _RIGHT_STOP | {"||"},
    "&&": _RIGHT_STOP | {"&&", "||"},
    "-": _RIGHT_STOP | {"||", "&&", "|", "^", "&", "==", "!=", "<", ">", "<=", ">=", "<<",
                        ">>", "+", "-"},
}
_RIGHT_OK["/"] = _RIGHT_OK["%"] = _RIGHT_OK["-"] | {"*", "/", "%"}


def _left_operand(a: Analysis, i: int) -> int | None:
    """First token of the simple operand (name, call, subscript, member chain, literal or
    parenthesised group) that ends just before token i, or None."""
    toks = a.toks
    j = i - 1
    while j >= 0 and toks[j].kind == "op" and toks[j].text in ("++", "--"):
        j -= 1
    while j >= 0:
        t = toks[j]
        if t.kind == "op" and t.text == "]":
            if a.match[j] < 0:
                return None
            j = a.match[j] - 1  # subscript: the operand goes on before it
            continue
        if t.kind == "op" and t.text == ")":
            o = a.match[j]
            if o <= 0:
                return None
            before = o - 1
            if value_ending(toks[before]) and toks[before].kind != "str" or before in a.closers:
                j = before  # a call: the callee belongs to the operand
                continue
            j = o  # a parenthesised group is the whole operand
            break
        if j in a.closers:
            j = a.tmatch[j] - 1  # template arguments of the name before them
            continue
        if t.kind in ("id", "num", "chr", "str"):
            if t.kind == "id" and t.text in NON_VALUE_KEYWORDS and t.text not in CAST_KEYWORDS:
                return None
            if a.text(j - 1) in (".", "->", "::"):
                j -= 2
                continue
            break
        return None
    if j <= 0:
        return None
    before = toks[j - 1]
    allowed = _LEFT_OK[toks[i].text]
    if before.text not in allowed or j - 1 in a.openers or j - 1 in a.closers:
        return None
    if before.text in ("+", "-", "&") and not _binary(a, j - 1):
        return None  # a unary sign or address-of holds the operand
    return j


def _postfix_end(a: Analysis, j: int, limit: int) -> int:
    """Extends an operand ending at token j by calls, subscripts, members and template
    arguments; returns its last token."""
    toks = a.toks
    while j + 1 < limit:
        nx = toks[j + 1]
        if nx.kind == "op" and nx.text in ("(", "[") and a.match[j + 1] > j:
            j = a.match[j + 1]
            continue
        if (j + 1) in a.openers:
            j = a.tmatch[j + 1]
            continue
        if nx.text in (".", "->", "::") and j + 2 < limit and toks[j + 2].kind == "id":
            j += 2
            continue
        if nx.text in ("++", "--"):
            j += 1
            continue
        break
    return j


def _right_operand(a: Analysis, i: int) -> int | None:
    """Last token of the simple operand that starts just after token i, or None."""
    toks = a.toks
    n = len(toks)
    j = i + 1
    if j >= n:
        return None
    t = toks[j]
    if t.kind == "op" and t.text == "(":
        if a.match[j] < 0:
            return None
        j = a.match[j]
    elif t.kind in ("num", "chr", "str"):
        pass
    elif not (t.kind == "id" and (t.text not in NON_VALUE_KEYWORDS or t.text in CAST_KEYWORDS)):
        return None
    return _postfix_end(a, j, n)


def _risky(a: Analysis, first: int, last: int) -> bool:
    return any(a.toks[k].text in ("->", "[", "(", "*") for k in range(first, last + 1))


def _statement_is_expression(a: Analysis, s: int, e: int) -> bool:
    """A call, assignment or increment, not a declaration. Tokens s..e-1, e is the ';'."""
    toks = a.toks
    if a.excluded[s]:
        return False
    i = s
    if toks[i].text in ("emit", "Q_EMIT"):
        i += 1
    if i >= e:
        return False
    t = toks[i]
    if t.kind == "op" and t.text in ("++", "--", "*"):
        return True
    if t.kind == "op" and t.text == "(":
        if a.text(i + 1) == "void" and a.text(i + 2) == ")":
            # (void)x; only silences a warning; (void)f(); is a call worth removing.
            return e - (i + 3) > 1
        return True
    if t.text == "::":
        i += 1
        t = toks[i]
    if t.kind != "id" or t.text in STATEMENT_KEYWORDS:
        return False
    j = i
    while a.text(j + 1) == "::" and j + 2 < e and toks[j + 2].kind == "id":
        j += 2
    if (j + 1) in a.openers:
        j = a.tmatch[j + 1]
    if j + 1 >= e:
        return False
    nxt = toks[j + 1]
    if nxt.kind == "id" or nxt.text in ("{", "*", "&", "&&", "<"):
        return False  # a declaration: Type name...
    called = False
    k = j + 1
    while k < e:
        tx = toks[k].text
        if tx in ("(", "[") and a.match[k] > k:
            called = called or tx == "("
            k = a.match[k] + 1
            continue
        if tx in (".", "->") and k + 1 < e and toks[k + 1].kind == "id":
            k += 2
            if k in a.openers:
                k = a.tmatch[k] + 1
            continue
        if tx in ("++", "--"):
            return k + 1 == e
        if tx in ASSIGNMENTS or tx == "<<":
            return True
        break
    return called and k == e


def generate(path: str, src: str, operators: set[str] | None = None) -> list[Mutant]:
    """Every mutant of one file, in source order, with ids and keys filled in."""
    a = Analysis(src)
    b = _Builder(path, a)
    toks = a.toks
    n = len(toks)
    for i, t in enumerate(toks):
        if not _mutable(a, i):
            continue
        tx = t.text
        if t.kind == "op":
            if tx in SIMPLE_SWAPS:
                if tx in ("<", ">") and (i in a.openers or i in a.closers):
                    continue
                if not _binary(a, i):
                    continue
                if tx in ("+", "-") and (toks[i - 1].kind == "str" or
                                         (i + 1 < n and toks[i + 1].kind == "str")):
                    continue
                op, repl = SIMPLE_SWAPS[tx]
                b.tok(i, op, repl)
                if tx in ("-", "/", "%", "&&", "||"):
                    first = _left_operand(a, i)
                    last = _right_operand(a, i)
                    if first is not None and last is not None:
                        if a.text(last + 1) not in _RIGHT_OK[tx] or last + 1 in a.openers:
                            continue
                        if tx in ("&&", "||") and not _risky(a, i + 1, last):
                            continue  # swapping plain conditions changes nothing
                        if toks[first].kind == "str" or toks[last].kind == "str":
                            continue
                        left = src[toks[first].start:toks[i - 1].end]
                        right = src[toks[i + 1].start:toks[last].end]
                        if left != right:
                            gap1 = src[toks[i - 1].end:t.start]
                            gap2 = src[t.end:toks[i + 1].start]
                            b.add("swap_operands", toks[first].start, toks[last].end,
                                  right + gap1 + tx + gap2 + left)
            elif tx in ("++", "--") and a.scope[i] == "code" and not a.for_steps[i]:
                b.tok(i, "incdec", "--" if tx == "++" else "++")
            elif tx in ("!", "~", "-") and not value_ending(toks[i - 1] if i else None):
                nxt = toks[i + 1] if i + 1 < n else None
                if nxt is not None and (nxt.kind in ("id", "num") or nxt.text == "("):
                    if nxt.kind == "id" and nxt.text in NON_VALUE_KEYWORDS and \
                            nxt.text not in CAST_KEYWORDS:
                        continue
                    b.add("remove_unary", t.start, nxt.start, "")
            elif tx == "?":
                start = _ternary_start(a, i)
                if start is not None:
                    x, y = toks[start].start, toks[i - 1].end
                    b.add("negate_cond", x, y, "!(" + src[x:y] + ")")
        elif t.kind == "num":
            if a.in_table[i]:
                repl = _table_number(tx)
                if repl:
                    b.tok(i, "table_value", repl)
            else:
                for repl in _integer_variants(tx):
                    b.tok(i, "literal", repl)
        elif t.kind == "id" and tx in ("true", "false"):
            b.tok(i, "bool_literal", "false" if tx == "true" else "true")
        elif t.kind == "str" and t.body:
            _string_mutants(b, i)
        elif t.kind == "chr" and t.body:
            _char_mutants(b, i)

    for first, last in a.conditions:
        if a.scope[first] != "code":
            continue
        if toks[first].text == "!" and _right_operand(a, first) == last:
            continue  # if (!x): remove_unary covers it
        x, y = b.span(first, last)
        b.add("negate_cond", x, y, "!(" + src[x:y] + ")")

    for s, e, ctx in a.statements:
        if a.scope[s] != "code" or not _statement_is_expression(a, s, e):
            continue
        if any(a.excluded[k] for k in range(s, e)):
            continue
        x, y = toks[s].start, toks[e].end
        if ctx == "plain" and a.text(s - 1) in ("{", ";", "}", ""):
            x, y = _whole_lines(src, x, y)
            b.add("remove_stmt", x, y, "")
        else:
            # The body of an if/else/loop or the statement after a label keeps a placeholder.
            b.add("remove_stmt", x, y, "{}")

    for r, semi in a.returns:
        if a.scope[r] != "code" or any(a.excluded[k] for k in range(r, semi)):
            continue
        expr = src[toks[r + 1].start:toks[semi - 1].end]
        if expr in ("{}", "0", "false", "true", "nullptr", '""', "*this", "std::nullopt"):
            continue
        b.add("return_value", toks[r + 1].start, toks[semi - 1].end, "{}")

    for rows in a.tables:
        for (a1, b1), (a2, b2) in zip(rows, rows[1:]):
            if a.excluded[a1] or a.excluded[a2]:
                continue
            x1, y1 = b.span(a1, b1)
            x2, y2 = b.span(a2, b2)
            r1, r2 = src[x1:y1], src[x2:y2]
            if r1 != r2:
                b.add("table_swap", x1, y2, r2 + src[y1:x2] + r1)

    mutants = _finish(path, src, b.out)
    if operators:
        mutants = [m for m in mutants if m.operator in operators]
    return mutants


def _ternary_start(a: Analysis, q: int) -> int | None:
    stops = {"(", "[", "{", ",", ";", "?", ":", "return", "co_return", "throw", "case",
             "<<"} | ASSIGNMENTS
    j = q - 1
    while j >= 0:
        t = a.toks[j]
        if t.text in (")", "]", "}") and t.kind == "op":
            o = a.match[j]
            if o < 0:
                return None
            j = o - 1
            continue
        if t.text in stops and t.kind in ("op", "id") and j not in a.closers:
            break
        j -= 1
    start = j + 1
    if start >= q:
        return None
    return start


def _whole_lines(src: str, x: int, y: int) -> tuple[int, int]:
    """Widens a removed statement to its whole line when nothing else is on it."""
    ls = src.rfind("\n", 0, x) + 1
    le = src.find("\n", y)
    le = len(src) if le < 0 else le
    if src[ls:x].strip() == "" and src[y:le].strip() == "":
        return ls, min(le + 1, len(src))
    return x, y


def _finish(path: str, src: str, raw: list[Mutant]) -> list[Mutant]:
    seen = set()
    out = []
    line_starts = [0]
    for k, c in enumerate(src):
        if c == "\n":
            line_starts.append(k + 1)
    import bisect

    counts: dict[str, int] = {}
    for m in sorted(raw, key=lambda m: (m.start, m.end, m.operator, m.replacement)):
        sig = (m.start, m.end, m.replacement)
        if sig in seen:
            continue
        seen.add(sig)
        # The reported position is that of the first changed character.
        pos = m.start
        while pos < m.end and src[pos] in " \t\r\n":
            pos += 1
        line = bisect.bisect_right(line_starts, pos) - 1
        m.line = line + 1
        m.column = pos - line_starts[line] + 1
        ls = line_starts[line]
        le = src.find("\n", ls)
        le = len(src) if le < 0 else le
        text = src[ls:le]
        indent = len(text) - len(text.lstrip())
        anchor = "\0".join([path, m.operator, text.strip(), str(m.column - 1 - indent),
                            m.original, m.replacement])
        dup = counts.get(anchor, 0)
        counts[anchor] = dup + 1
        m.anchor = anchor + "\0" + str(dup)
        m.id = "M" + hashlib.sha1(m.anchor.encode("utf-8", "surrogateescape")).hexdigest()[:8]
        m.key = stable_key(m)
        out.append(m)
    return out


def stable_key(m: Mutant) -> str:
    """Readable key: file, line, operator, original and replacement text."""
    return "%s:%d:%s:%s:%s" % (m.file, m.line, m.operator,
                               json.dumps(m.original, ensure_ascii=False),
                               json.dumps(m.replacement, ensure_ascii=False))


KEY_PATTERN = re.compile(
    r'^(?P<key>[^\s:]+:\d+:[a-z_]+:"(?:[^"\\]|\\.)*":"(?:[^"\\]|\\.)*")(?:\s+(?P<rest>.*))?$')
ID_PATTERN = re.compile(r"^(?P<key>M[0-9a-f]{8})(?:\s+(?P<rest>.*))?$")


def parse_equivalents(text: str) -> list[tuple[str, str]]:
    """Entries 'ID reason' or 'KEY reason' (reason may start with '#' or '--')."""
    out = []
    for number, line in enumerate(text.splitlines(), 1):
        s = line.strip()
        if not s or s.startswith("#"):
            continue
        m = ID_PATTERN.match(s) or KEY_PATTERN.match(s)
        if not m:
            raise ValueError(f"line {number}: expected a mutant id or key, got {s!r}")
        reason = (m.group("rest") or "").strip()
        reason = re.sub(r"^(#|--|:)\s*", "", reason)
        if not reason:
            raise ValueError(f"line {number}: {m.group('key')} needs a one-line reason")
        out.append((m.group("key"), reason))
    return out


def sample(mutants: list[Mutant], count: int, seed: int) -> list[Mutant]:
    """count mutants spread over files and, within a file, over operators; reproducible."""
    if count <= 0 or count >= len(mutants):
        return list(mutants)
    rng = random.Random(seed)
    by_file: dict[str, dict[str, list[Mutant]]] = {}
    for m in sorted(mutants, key=lambda m: m.id):
        by_file.setdefault(m.file, {}).setdefault(m.operator, []).append(m)
    files = sorted(by_file)
    rng.shuffle(files)
    queues = {}
    for f in files:
        ops = sorted(by_file[f])
        rng.shuffle(ops)
        for op in ops:
            rng.shuffle(by_file[f][op])
        queues[f] = [by_file[f][op] for op in ops]
    picked: list[Mutant] = []
    turn = {f: 0 for f in files}
    while len(picked) < count:
        progressed = False
        for f in files:
            groups = [g for g in queues[f] if g]
            queues[f] = groups
            if not groups:
                continue
            g = groups[turn[f] % len(groups)]
            turn[f] += 1
            picked.append(g.pop())
            progressed = True
            if len(picked) == count:
                break
        if not progressed:
            break
    return picked
