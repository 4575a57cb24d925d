#include "platform/eval/lexer.h"

#include <cerrno>
#include <cstdlib>

namespace kvel::eval {

namespace {

bool ident_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool ident_char(char c) { return ident_start(c) || (c >= '0' && c <= '9'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// ".T.", ".AND." ...: the word between two dots, upper case; empty when the
// text at i is not such a word.
std::string dotted_word(std::string_view s, size_t i, size_t* end) {
  size_t j = i + 1;
  std::string w;
  while (j < s.size() && ident_start(s[j]) && w.size() < 4) w += upper(s[j++]);
  if (j < s.size() && s[j] == '.' && !w.empty()) {
    *end = j + 1;
    return w;
  }
  return {};
}

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      Token t = next(out.empty() ? Tok::End : out.back().kind);
      Tok k = t.kind;
      out.push_back(std::move(t));
      if (k == Tok::End || k == Tok::Bad) break;
    }
    return out;
  }

 private:
  Token next(Tok prev) {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
      ++i_;
    Token t;
    t.pos = i_;
    if (i_ >= s_.size()) return t;
    char c = s_[i_];
    char n = i_ + 1 < s_.size() ? s_[i_ + 1] : '\0';
    if (digit(c) || (c == '.' && digit(n))) return number(t);
    if (ident_start(c) || (c == '&' && ident_start(n))) return name(t);
    if (c == '"' || c == '\'') return text(t, c);
    if (c == '[' && !indexable(prev)) return text(t, ']');
    if (c == '.') {
      size_t end = 0;
      std::string w = dotted_word(s_, i_, &end);
      Tok k = Tok::Bad;
      if (w == "T" || w == "Y")
        k = Tok::True;
      else if (w == "F" || w == "N")
        k = Tok::False;
      else if (w == "AND")
        k = Tok::And;
      else if (w == "OR")
        k = Tok::Or;
      else if (w == "NOT")
        k = Tok::Not;
      if (k != Tok::Bad) i_ = end;
      t.kind = k;
      return t;
    }
    auto two = [&](char a, char b) { return c == a && n == b; };
    auto take = [&](Tok k, size_t len) {
      t.kind = k;
      i_ += len;
      return t;
    };
    if (c == '&' && n == '(') return take(Tok::MacroParen, 2);
    if (c == '*' && n == '*') {
      if (i_ + 2 < s_.size() && s_[i_ + 2] == '=') return take(Tok::PowAssign, 3);
      return take(Tok::Power, 2);
    }
    if (two(':', '=')) return take(Tok::Assign, 2);
    if (two('+', '=')) return take(Tok::PlusAssign, 2);
    if (two('-', '=')) return take(Tok::MinusAssign, 2);
    if (two('*', '=')) return take(Tok::MulAssign, 2);
    if (two('/', '=')) return take(Tok::DivAssign, 2);
    if (two('%', '=')) return take(Tok::ModAssign, 2);
    if (two('^', '=')) return take(Tok::PowAssign, 2);
    if (two('+', '+')) return take(Tok::Inc, 2);
    if (two('-', '-')) return take(Tok::Dec, 2);
    if (two('-', '>')) return take(Tok::Arrow, 2);
    if (two('=', '=')) return take(Tok::EqEq, 2);
    if (two('!', '=') || two('<', '>')) return take(Tok::Ne, 2);
    if (two('<', '=')) return take(Tok::Le, 2);
    if (two('>', '=')) return take(Tok::Ge, 2);
    switch (c) {
      case '(':
        return take(Tok::LParen, 1);
      case ')':
        return take(Tok::RParen, 1);
      case '[':
        return take(Tok::LBracket, 1);
      case ']':
        return take(Tok::RBracket, 1);
      case '{':
        return take(Tok::LBrace, 1);
      case '}':
        return take(Tok::RBrace, 1);
      case ',':
        return take(Tok::Comma, 1);
      case '|':
        return take(Tok::Pipe, 1);
      case '@':
        return take(Tok::At, 1);
      case ':':
        return take(Tok::Colon, 1);
      case '+':
        return take(Tok::Plus, 1);
      case '-':
        return take(Tok::Minus, 1);
      case '*':
        return take(Tok::Star, 1);
      case '/':
        return take(Tok::Slash, 1);
      case '%':
        return take(Tok::Percent, 1);
      case '^':
        return take(Tok::Power, 1);
      case '=':
        return take(Tok::Eq, 1);
      case '#':
        return take(Tok::Ne, 1);
      case '<':
        return take(Tok::Lt, 1);
      case '>':
        return take(Tok::Gt, 1);
      case '$':
        return take(Tok::Dollar, 1);
      case '!':
        return take(Tok::Not, 1);
      default:
        break;
    }
    t.kind = Tok::Bad;
    return t;
  }

  // After these a "[" indexes; elsewhere it opens a text.
  static bool indexable(Tok prev) {
    return prev == Tok::Ident || prev == Tok::Macro || prev == Tok::RParen ||
           prev == Tok::RBracket || prev == Tok::RBrace || prev == Tok::String;
  }

  Token number(Token& t) {
    size_t start = i_;
    while (i_ < s_.size() && digit(s_[i_])) ++i_;
    t.digits = static_cast<int>(i_ - start);
    bool point = false;
    if (i_ < s_.size() && s_[i_] == '.' && i_ + 1 < s_.size() && digit(s_[i_ + 1])) {
      point = true;
      ++i_;
      size_t f = i_;
      while (i_ < s_.size() && digit(s_[i_])) ++i_;
      t.decimals = static_cast<int>(i_ - f);
    }
    std::string lit(s_.substr(start, i_ - start));
    t.kind = Tok::Number;
    if (!point) {
      errno = 0;
      char* end = nullptr;
      long long v = std::strtoll(lit.c_str(), &end, 10);
      if (errno == 0) {
        t.is_integer = true;
        t.integer = v;
        t.number = static_cast<double>(v);
        return t;
      }
    }
    t.number = std::strtod(lit.c_str(), nullptr);
    return t;
  }

  // A name, possibly with macro parts glued to it: abc, &v, &v., a&v.b, &v&w.
  Token name(Token& t) {
    std::vector<MacroPart> parts;
    bool macro = false;
    for (;;) {
      if (i_ < s_.size() && s_[i_] == '&' && i_ + 1 < s_.size() && ident_start(s_[i_ + 1])) {
        macro = true;
        ++i_;
        size_t b = i_;
        while (i_ < s_.size() && ident_char(s_[i_])) ++i_;
        parts.push_back({true, std::string(s_.substr(b, i_ - b))});
        if (i_ < s_.size() && s_[i_] == '.') ++i_;  // the optional terminator
      } else if (i_ < s_.size() && ident_char(s_[i_])) {
        size_t b = i_;
        while (i_ < s_.size() && ident_char(s_[i_])) ++i_;
        parts.push_back({false, std::string(s_.substr(b, i_ - b))});
      } else {
        break;
      }
    }
    if (!macro) {
      t.kind = Tok::Ident;
      t.text = std::move(parts[0].text);
      return t;
    }
    t.kind = Tok::Macro;
    t.parts = std::move(parts);
    return t;
  }

  Token text(Token& t, char close) {
    size_t b = ++i_;
    while (i_ < s_.size() && s_[i_] != close) ++i_;
    if (i_ >= s_.size()) {
      t.kind = Tok::Bad;
      return t;
    }
    t.kind = Tok::String;
    t.text = std::string(s_.substr(b, i_ - b));
    ++i_;
    return t;
  }

  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

std::vector<Token> tokenize(std::string_view src) { return Lexer(src).run(); }

}  // namespace kvel::eval
